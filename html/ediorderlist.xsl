<?xml version="1.0" encoding="utf-8"?>
<!-- The list of orders a partner's dealer server returns (root DATA). The module adds the
     month texts (PREVMONTHDISPLAY, CURRMONTHDISPLAY, NEXTMONTHDISPLAY) and IMAGEPATH,
     CALLBACKPAGE and DETAILPAGE; everything else is the server's: its order records (the
     elements whose children are all simple) become the rows of the table, their fields
     the columns, and PAGE / PAGECOUNT, when the server sends them, the page links.
     Ids: "statusprevmonth", "statusnextmonth", "statuspage" + page number,
     "statusorder" + row number, whose name attribute holds the order's GUID, and
     "statussort" + column number, whose name attribute holds the column's field. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="utf-8" indent="no"/>

  <xsl:variable name="added" select="'|IMAGEPATH|CALLBACKPAGE|DETAILPAGE|NEXTMONTHDISPLAY|CURRMONTHDISPLAY|PREVMONTHDISPLAY|PAGE|PAGECOUNT|'"/>

  <xsl:template match="/">
    <div class="page ediorderlist">
      <h1><IDS Name="LBL SentOrders"/></h1>
      <xsl:apply-templates select="DATA"/>
    </div>
  </xsl:template>

  <xsl:template match="DATA">
    <xsl:variable name="rows" select=".//*[* and not(*/*) and not(self::DATA)]"/>
    <div class="monthnav">
      <a href="#" class="button secondary" id="statusprevmonth">
        <xsl:attribute name="title"><IDS Name="LBL PreviousMonth"/></xsl:attribute>
        « <xsl:value-of select="PREVMONTHDISPLAY"/>
      </a>
      <span class="current"><xsl:value-of select="CURRMONTHDISPLAY"/></span>
      <a href="#" class="button secondary" id="statusnextmonth">
        <xsl:attribute name="title"><IDS Name="LBL NextMonth"/></xsl:attribute>
        <xsl:value-of select="NEXTMONTHDISPLAY"/> »
      </a>
    </div>
    <xsl:variable name="messages" select="*[not(*) and normalize-space(.) != '' and not(contains($added, concat('|', name(), '|')))]"/>
    <xsl:if test="$messages">
      <dl class="pairs">
        <xsl:for-each select="$messages">
          <dt><xsl:value-of select="name()"/></dt><dd><xsl:value-of select="."/></dd>
        </xsl:for-each>
      </dl>
    </xsl:if>
    <!-- The first record names the columns. Taken once here: a variable is copied each time
         it is read, so reading $rows inside the loop over the rows costs the whole list
         per row. -->
    <xsl:variable name="columns" select="$rows[1]/*[name() != 'GUID']"/>
    <xsl:variable name="actions" select="boolean($rows[1]/GUID)"/>
    <xsl:choose>
      <xsl:when test="$rows">
        <table class="grid">
          <thead>
            <tr>
              <xsl:for-each select="$columns"><th><a href="#" id="statussort{position()}" name="{name()}"><xsl:value-of select="name()"/></a></th></xsl:for-each>
              <xsl:if test="$actions"><th><IDS Name="LBL Actions"/></th></xsl:if>
            </tr>
          </thead>
          <tbody>
            <xsl:for-each select="$rows">
              <xsl:variable name="row" select="."/>
              <tr>
                <xsl:for-each select="$columns">
                  <xsl:variable name="column" select="name()"/>
                  <td><xsl:value-of select="$row/*[name() = $column]"/></td>
                </xsl:for-each>
                <xsl:if test="$actions">
                  <td><a href="#" class="action" id="statusorder{position()}" name="{normalize-space(GUID)}"><IDS Name="LBL DetailsLink"/></a></td>
                </xsl:if>
              </tr>
            </xsl:for-each>
          </tbody>
        </table>
      </xsl:when>
      <xsl:otherwise><p class="empty"><IDS Name="LBL NoOrdersThisMonth"/></p></xsl:otherwise>
    </xsl:choose>
    <xsl:if test="number(PAGECOUNT) &gt; 1">
      <div class="pages">
        <b><IDS Name="LBL Page"/>:</b><xsl:text> </xsl:text>
        <xsl:call-template name="pages">
          <xsl:with-param name="n" select="1"/>
          <xsl:with-param name="last" select="number(PAGECOUNT)"/>
          <xsl:with-param name="current" select="number(PAGE)"/>
        </xsl:call-template>
      </div>
    </xsl:if>
  </xsl:template>

  <xsl:template name="pages">
    <xsl:param name="n"/>
    <xsl:param name="last"/>
    <xsl:param name="current"/>
    <xsl:choose>
      <xsl:when test="$n = $current"><span class="current-page"><xsl:value-of select="$n"/></span></xsl:when>
      <xsl:otherwise><a href="#" id="statuspage{$n}"><xsl:value-of select="$n"/></a></xsl:otherwise>
    </xsl:choose>
    <xsl:if test="$n &lt; $last and $n &lt; 500">
      <xsl:call-template name="pages">
        <xsl:with-param name="n" select="$n + 1"/>
        <xsl:with-param name="last" select="$last"/>
        <xsl:with-param name="current" select="$current"/>
      </xsl:call-template>
    </xsl:if>
  </xsl:template>
</xsl:stylesheet>
