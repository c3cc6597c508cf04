<?xml version="1.0" encoding="utf-8"?>
<!-- One order in full. Over the order stack (root Orders) the order is the ORDERGROUP whose
     ID is the parameter OrderID: the job, bill-to and ship-to, the purchase-order fields and
     every catalog of the order with its items. Over the order detail a dealer server
     returns (any other root) the document is shown as it comes: its simple fields as
     pairs, its repeated records as tables. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="utf-8" indent="no"/>
  <xsl:param name="OrderID"/>

  <xsl:template match="/">
    <div class="page detail">
      <xsl:choose>
        <xsl:when test="Orders">
          <xsl:variable name="group" select="Orders/Design/ORDERGROUP[normalize-space(ID) = normalize-space($OrderID)][1]"/>
          <xsl:choose>
            <xsl:when test="$group"><xsl:apply-templates select="$group" mode="order"/></xsl:when>
            <xsl:otherwise>
              <h1><IDS Name="LBL OrderDetails"/></h1>
              <p class="empty"><IDS Name="LBL OrderNotFound"/></p>
            </xsl:otherwise>
          </xsl:choose>
        </xsl:when>
        <xsl:otherwise>
          <h1><IDS Name="LBL OrderDetails"/></h1>
          <xsl:apply-templates select="*" mode="generic"/>
        </xsl:otherwise>
      </xsl:choose>
    </div>
  </xsl:template>

  <!-- ===== An order of the stack ===== -->
  <xsl:template match="ORDERGROUP" mode="order">
    <xsl:variable name="group" select="."/>
    <xsl:variable name="design" select=".."/>
    <xsl:variable name="header" select="../JobInfo/Header"/>
    <h1><IDS Name="LBL OrderDetails"/>: <xsl:value-of select="PARTNERNAME"/></h1>

    <div class="columns">
      <div class="panel">
        <h2><IDS Name="LBL Job"/></h2>
        <dl class="pairs">
          <dt><IDS Name="LBL JobName"/></dt><dd><xsl:value-of select="$header/Name"/></dd>
          <dt><IDS Name="LBL QuoteNumber"/></dt><dd><xsl:value-of select="$header/Number"/></dd>
          <dt><IDS Name="LBL DesignFile"/></dt><dd class="filename"><xsl:value-of select="../JobInfo/FileName"/></dd>
          <dt><IDS Name="LBL Date"/></dt><dd><xsl:call-template name="date"><xsl:with-param name="value" select="$header/DateCreated"/></xsl:call-template></dd>
          <dt><IDS Name="LBL DateRequired"/></dt><dd><xsl:call-template name="date"><xsl:with-param name="value" select="$header/DateRequired"/></xsl:call-template></dd>
          <xsl:if test="normalize-space($header/RoomType) != ''">
            <dt><IDS Name="LBL Room"/></dt><dd><xsl:value-of select="$header/RoomType"/></dd>
          </xsl:if>
          <xsl:if test="normalize-space($header/Comment) != ''">
            <dt><IDS Name="LBL JobComment"/></dt><dd><xsl:value-of select="$header/Comment"/></dd>
          </xsl:if>
        </dl>
      </div>
      <div class="panel">
        <h2><IDS Name="LBL PurchaseOrder"/></h2>
        <dl class="pairs">
          <dt><IDS Name="LBL Partner"/></dt><dd><xsl:value-of select="PARTNERNAME"/></dd>
          <dt><IDS Name="LBL PONumber"/></dt><dd><xsl:value-of select="PONUMBER"/></dd>
          <dt><IDS Name="LBL ContactName"/></dt><dd><xsl:value-of select="CONTACTNAME"/></dd>
          <dt><IDS Name="LBL Comment"/></dt><dd><xsl:value-of select="COMMENT"/></dd>
          <dt><IDS Name="LBL SendThisOrder"/></dt>
          <dd><xsl:choose><xsl:when test="normalize-space(SENDIT) = '1'"><IDS Name="LBL Yes"/></xsl:when><xsl:otherwise><IDS Name="LBL No"/></xsl:otherwise></xsl:choose></dd>
          <xsl:if test="RFQ">
            <dt><IDS Name="LBL RequestForQuote"/></dt>
            <dd><xsl:choose><xsl:when test="normalize-space(RFQ) = '1'"><IDS Name="LBL Yes"/></xsl:when><xsl:otherwise><IDS Name="LBL No"/></xsl:otherwise></xsl:choose></dd>
          </xsl:if>
          <xsl:if test="File">
            <dt><IDS Name="LBL AttachedFiles"/></dt>
            <dd><xsl:for-each select="File"><div class="filename"><xsl:value-of select="Name"/></div></xsl:for-each></dd>
          </xsl:if>
        </dl>
      </div>
    </div>

    <div class="columns">
      <xsl:apply-templates select="../JobInfo/Profile[Type='BillTo']" mode="profile"/>
      <xsl:apply-templates select="../JobInfo/Profile[Type='ShipTo']" mode="profile"/>
    </div>

    <xsl:for-each select="../Catalog[ID = $group/CATALOGID]">
      <xsl:apply-templates select="." mode="catalog"/>
    </xsl:for-each>
  </xsl:template>

  <xsl:template match="Profile" mode="profile">
    <div class="panel">
      <h2>
        <xsl:choose>
          <xsl:when test="Type = 'BillTo'"><IDS Name="LBL BillTo"/></xsl:when>
          <xsl:otherwise><IDS Name="LBL ShipTo"/></xsl:otherwise>
        </xsl:choose>
      </h2>
      <div><b><xsl:value-of select="Name"/></b>
        <xsl:if test="normalize-space(Code) != ''"> (<xsl:value-of select="Code"/>)</xsl:if></div>
      <xsl:for-each select="Location">
        <div><xsl:value-of select="Address"/></div>
        <div><xsl:value-of select="City"/><xsl:if test="normalize-space(State) != ''">, <xsl:value-of select="State"/></xsl:if>
          <xsl:text> </xsl:text><xsl:value-of select="Zip"/></div>
        <div><xsl:value-of select="Country"/></div>
      </xsl:for-each>
      <xsl:for-each select="Contact">
        <div class="meta"><xsl:value-of select="Name"/>
          <xsl:if test="normalize-space(Phone/Number) != ''"> · <xsl:value-of select="Phone/Number"/></xsl:if>
          <xsl:if test="normalize-space(Email) != ''"> · <xsl:value-of select="Email"/></xsl:if>
        </div>
      </xsl:for-each>
    </div>
  </xsl:template>

  <xsl:template match="Catalog" mode="catalog">
    <h2><IDS Name="LBL Catalog"/>: <xsl:value-of select="Identification/Name"/></h2>
    <div class="catalog-head">
      <xsl:if test="normalize-space(DoorStyle) != ''"><span class="meta"><b><IDS Name="LBL DoorStyle"/>:</b><xsl:text> </xsl:text><xsl:value-of select="DoorStyle"/></span></xsl:if>
      <xsl:if test="normalize-space(Finish) != ''"><span class="meta"><b><IDS Name="LBL Finish"/>:</b><xsl:text> </xsl:text><xsl:value-of select="Finish"/></span></xsl:if>
      <span class="meta"><b><IDS Name="LBL Items"/>:</b><xsl:text> </xsl:text><xsl:value-of select="count(Item)"/></span>
    </div>
    <xsl:for-each select="ERROR">
      <div>
        <xsl:attribute name="class">message <xsl:choose><xsl:when test="normalize-space(ACTION) = '2'">error</xsl:when><xsl:otherwise>warning</xsl:otherwise></xsl:choose></xsl:attribute>
        <span class="msgtext"><xsl:choose><xsl:when test="normalize-space(MESSAGE) != ''"><xsl:value-of select="MESSAGE"/></xsl:when><xsl:otherwise><xsl:value-of select="DESCRIPTION"/></xsl:otherwise></xsl:choose></span>
      </div>
    </xsl:for-each>
    <table class="grid">
      <thead>
        <tr>
          <th class="num"><IDS Name="LBL Line"/></th>
          <th><IDS Name="LBL Code"/></th>
          <th><IDS Name="LBL Description"/></th>
          <th class="num"><IDS Name="LBL Quantity"/></th>
          <th class="num"><IDS Name="LBL Width"/></th>
          <th class="num"><IDS Name="LBL Height"/></th>
          <th class="num"><IDS Name="LBL Depth"/></th>
          <th><IDS Name="LBL Hinge"/></th>
          <th class="num"><IDS Name="LBL UnitPrice"/></th>
          <th class="num"><IDS Name="LBL Amount"/></th>
        </tr>
      </thead>
      <tbody>
        <xsl:for-each select="Item">
          <tr>
            <xsl:if test="translate(Instance, 'ATTACHMENT', 'attachment') = 'attachment' or translate(Instance, 'ATTACHEMNT', 'attachemnt') = 'attachement'">
              <xsl:attribute name="class">attachment</xsl:attribute>
            </xsl:if>
            <td class="num"><xsl:value-of select="LineItemNumber"/></td>
            <td class="code"><xsl:value-of select="Code"/></td>
            <td><xsl:value-of select="Description"/></td>
            <td class="num"><xsl:value-of select="Quantity"/></td>
            <td class="num"><xsl:value-of select="Width"/></td>
            <td class="num"><xsl:value-of select="Height"/></td>
            <td class="num"><xsl:value-of select="Depth"/></td>
            <td><xsl:value-of select="Hinge"/></td>
            <td class="num"><xsl:value-of select="UnitPrice"/></td>
            <td class="num">
              <xsl:if test="string(number(UnitPrice)) != 'NaN' and string(number(Quantity)) != 'NaN'">
                <xsl:value-of select="format-number(number(UnitPrice) * number(Quantity), '0.00')"/>
              </xsl:if>
            </td>
          </tr>
        </xsl:for-each>
      </tbody>
    </table>
  </xsl:template>

  <!-- ===== Any other document: shown as it comes ===== -->
  <xsl:template match="*" mode="generic">
    <xsl:variable name="leaves" select="*[not(*)]"/>
    <xsl:if test="$leaves">
      <dl class="pairs">
        <xsl:for-each select="$leaves">
          <dt><xsl:value-of select="name()"/></dt><dd><xsl:value-of select="."/></dd>
        </xsl:for-each>
      </dl>
    </xsl:if>
    <xsl:for-each select="*[*]">
      <xsl:variable name="name" select="name()"/>
      <xsl:choose>
        <!-- Records: the first of several siblings of one name whose children are simple. -->
        <xsl:when test="not(*/*) and (preceding-sibling::*[name() = $name] or following-sibling::*[name() = $name])">
          <xsl:if test="not(preceding-sibling::*[name() = $name])">
            <xsl:variable name="rows" select="../*[name() = $name]"/>
            <h2><xsl:value-of select="$name"/></h2>
            <table class="grid">
              <thead><tr><xsl:for-each select="*"><th><xsl:value-of select="name()"/></th></xsl:for-each></tr></thead>
              <tbody>
                <xsl:for-each select="$rows">
                  <xsl:variable name="row" select="."/>
                  <tr>
                    <xsl:for-each select="$rows[1]/*">
                      <xsl:variable name="column" select="name()"/>
                      <td><xsl:value-of select="$row/*[name() = $column]"/></td>
                    </xsl:for-each>
                  </tr>
                </xsl:for-each>
              </tbody>
            </table>
          </xsl:if>
        </xsl:when>
        <xsl:otherwise>
          <div class="panel">
            <h2><xsl:value-of select="$name"/></h2>
            <xsl:apply-templates select="." mode="generic"/>
          </div>
        </xsl:otherwise>
      </xsl:choose>
    </xsl:for-each>
  </xsl:template>

  <xsl:template name="date">
    <xsl:param name="value"/>
    <xsl:choose>
      <xsl:when test="contains($value, 'T')"><xsl:value-of select="substring-before($value, 'T')"/></xsl:when>
      <xsl:otherwise><xsl:value-of select="$value"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
