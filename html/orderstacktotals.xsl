<?xml version="1.0" encoding="utf-8"?>
<!-- The bottom strip under the order stack: how many designs and orders are stacked, how
     many are marked for sending, and the send button. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="utf-8" indent="no"/>

  <xsl:template match="/">
    <xsl:variable name="designs" select="count(Orders/Design)"/>
    <xsl:variable name="orders" select="count(Orders/Design/ORDERGROUP)"/>
    <xsl:variable name="marked" select="count(Orders/Design/ORDERGROUP[normalize-space(SENDIT) = '1'])"/>
    <div class="totals">
      <span class="count"><IDS Name="LBL Designs"/>: <b id="totaldesigns"><xsl:value-of select="$designs"/></b></span>
      <span class="count"><IDS Name="LBL Orders"/>: <b id="totalorders"><xsl:value-of select="$orders"/></b></span>
      <span class="count"><IDS Name="LBL OrdersToSend"/>: <b id="totalmarked"><xsl:value-of select="$marked"/></b></span>
      <span class="spacer"> </span>
      <button type="button" id="sendorders">
        <xsl:if test="$marked = 0"><xsl:attribute name="disabled">disabled</xsl:attribute></xsl:if>
        <IDS Name="LBL SendOrders"/>
      </button>
    </div>
  </xsl:template>
</xsl:stylesheet>
