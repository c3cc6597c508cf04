<?xml version="1.0" encoding="utf-8"?>
<!-- The order stack: every stacked design, its orders (one per trading partner) with the
     fields the dealer fills in before sending, and the catalogs no partner receives.
     Element ids are read by the page events: action name followed by the order ID. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="utf-8" indent="no"/>

  <xsl:variable name="upper">ABCDEFGHIJKLMNOPQRSTUVWXYZÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞ</xsl:variable>
  <xsl:variable name="lower">abcdefghijklmnopqrstuvwxyzàáâãäåæçèéêëìíîïðñòóôõöøùúûüýþ</xsl:variable>

  <xsl:template match="/">
    <div class="page orderstack">
      <h1><IDS Name="LBL OrderStack"/></h1>
      <xsl:choose>
        <xsl:when test="Orders/Design">
          <xsl:apply-templates select="Orders/Design"/>
        </xsl:when>
        <xsl:otherwise>
          <p class="empty"><IDS Name="OST ThereAreNoOrdersStacked"/></p>
        </xsl:otherwise>
      </xsl:choose>
    </div>
  </xsl:template>

  <xsl:template match="Design">
    <xsl:variable name="design" select="."/>
    <div class="design">
      <div class="design-head">
        <span class="job">
          <xsl:choose>
            <xsl:when test="normalize-space(JobInfo/Header/Name) != ''"><xsl:value-of select="JobInfo/Header/Name"/></xsl:when>
            <xsl:otherwise><xsl:value-of select="JobInfo/FileName"/></xsl:otherwise>
          </xsl:choose>
        </span>
        <span class="meta"><b><IDS Name="LBL Customer"/>:</b><xsl:text> </xsl:text>
          <xsl:choose>
            <xsl:when test="JobInfo/Profile[Type='Customer']/Name"><xsl:value-of select="JobInfo/Profile[Type='Customer']/Name"/></xsl:when>
            <xsl:otherwise><xsl:value-of select="JobInfo/Profile[Type='ShipTo']/Name"/></xsl:otherwise>
          </xsl:choose>
        </span>
        <span class="meta"><b><IDS Name="LBL Date"/>:</b><xsl:text> </xsl:text>
          <xsl:call-template name="date"><xsl:with-param name="value" select="JobInfo/Header/DateCreated"/></xsl:call-template>
        </span>
        <span class="meta"><b><IDS Name="LBL DesignFile"/>:</b><xsl:text> </xsl:text><span class="filename"><xsl:value-of select="JobInfo/FileName"/></span></span>
      </div>

      <xsl:apply-templates select="ORDERGROUP"/>

      <xsl:variable name="loose" select="Catalog[not(ID = $design/ORDERGROUP/CATALOGID)]"/>
      <xsl:if test="$loose">
        <div class="message warning">
          <strong><IDS Name="LBL CatalogsWithoutPartner"/></strong>
          <ul class="catalogs">
            <xsl:for-each select="$loose">
              <li><xsl:value-of select="Identification/Name"/>
                <xsl:apply-templates select="ERROR"/>
              </li>
            </xsl:for-each>
          </ul>
          <IDS Name="LBL AssignCatalogsInSettings"/>
        </div>
      </xsl:if>
    </div>
  </xsl:template>

  <xsl:template match="ORDERGROUP">
    <xsl:variable name="id" select="normalize-space(ID)"/>
    <xsl:variable name="group" select="."/>
    <xsl:variable name="status">
      <xsl:choose>
        <xsl:when test="number(VALIDSTATUS) &gt;= 2">2</xsl:when>
        <xsl:when test="number(VALIDSTATUS) = 1">1</xsl:when>
        <xsl:otherwise>0</xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <div class="ordergroup status-{$status}">
      <div class="group-head">
        <label class="check" for="ordercheck{$id}">
          <input type="checkbox" id="ordercheck{$id}">
            <xsl:if test="normalize-space(SENDIT) = '1'"><xsl:attribute name="checked">checked</xsl:attribute></xsl:if>
          </input>
          <IDS Name="LBL SendThisOrder"/>
        </label>
        <span class="partner-name"><xsl:value-of select="PARTNERNAME"/></span>
        <xsl:choose>
          <xsl:when test="$status = 2"><span class="badge error"><IDS Name="LBL ValidationError"/></span></xsl:when>
          <xsl:when test="$status = 1"><span class="badge warning"><IDS Name="LBL ValidationWarning"/></span></xsl:when>
          <xsl:when test="VALIDSTATUS"><span class="badge ok"><IDS Name="LBL ValidationOk"/></span></xsl:when>
        </xsl:choose>
        <xsl:if test="RFQ">
          <label class="check" for="ordermode{$id}">
            <input type="checkbox" id="ordermode{$id}">
              <xsl:if test="normalize-space(RFQ) = '1'"><xsl:attribute name="checked">checked</xsl:attribute></xsl:if>
            </input>
            <IDS Name="LBL RequestForQuote"/>
          </label>
        </xsl:if>
        <span>
          <a class="action" href="#" id="orderdetailslink{$id}"><IDS Name="LBL DetailsLink"/></a>
          <a class="action danger" href="#" id="orderremovelink{$id}"><IDS Name="LBL RemoveOrder"/></a>
        </span>
      </div>
      <ul class="catalogs">
        <xsl:for-each select="../Catalog[ID = $group/CATALOGID]">
          <li><b><IDS Name="LBL Catalog"/>:</b><xsl:text> </xsl:text><xsl:value-of select="Identification/Name"/>
            <xsl:apply-templates select="ERROR"/>
          </li>
        </xsl:for-each>
      </ul>
      <div class="fields">
        <div class="field">
          <label for="ponumber{$id}"><IDS Name="LBL PONumber"/></label>
          <input type="text" id="ponumber{$id}" value="{PONUMBER}"/>
        </div>
        <div class="field">
          <label for="contactname{$id}"><IDS Name="LBL ContactName"/></label>
          <input type="text" id="contactname{$id}" value="{CONTACTNAME}"/>
        </div>
        <div class="field">
          <label for="pocomment{$id}"><IDS Name="LBL Comment"/></label>
          <input type="text" id="pocomment{$id}" value="{COMMENT}"/>
        </div>
      </div>
      <div class="attachments">
        <b><IDS Name="LBL AttachedFiles"/>:</b><xsl:text> </xsl:text>
        <xsl:if test="not(File)"><span class="empty"><IDS Name="LBL NoAttachedFiles"/></span><xsl:text> </xsl:text></xsl:if>
        <a class="action" href="#" id="attachfile{$id}"><IDS Name="LBL AttachFile"/></a>
        <xsl:if test="File">
          <ul>
            <xsl:for-each select="File">
              <li><span class="filename"><xsl:value-of select="Name"/></span><xsl:text> </xsl:text>
                <a class="action danger" href="#" id="remattachfile{$id}" type="{translate(Name, $upper, $lower)}"><IDS Name="LBL RemoveFile"/></a>
              </li>
            </xsl:for-each>
          </ul>
        </xsl:if>
      </div>
    </div>
  </xsl:template>

  <!-- A validation message of a catalog, shown as plain text. -->
  <xsl:template match="ERROR">
    <xsl:variable name="kind">
      <xsl:choose>
        <xsl:when test="normalize-space(ACTION) = '2'">error</xsl:when>
        <xsl:otherwise>warning</xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <div class="message {$kind}">
      <span class="msgtext">
        <xsl:choose>
          <xsl:when test="normalize-space(MESSAGE) != ''"><xsl:value-of select="MESSAGE"/></xsl:when>
          <xsl:otherwise><xsl:value-of select="DESCRIPTION"/></xsl:otherwise>
        </xsl:choose>
      </span>
      <xsl:if test="normalize-space(CODE) != ''"> (<xsl:value-of select="CODE"/>)</xsl:if>
    </div>
  </xsl:template>

  <xsl:template name="date">
    <xsl:param name="value"/>
    <xsl:choose>
      <xsl:when test="contains($value, 'T')"><xsl:value-of select="substring-before($value, 'T')"/></xsl:when>
      <xsl:otherwise><xsl:value-of select="$value"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
