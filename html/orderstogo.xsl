<?xml version="1.0" encoding="utf-8"?>
<!-- The send progress page: one row per order marked for sending. The sending code finds
     each row's parts by the order ID followed by a fixed suffix, widens the bar cell
     (width attribute, a percentage) and colours it red on failure. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="utf-8" indent="no"/>

  <xsl:template match="/">
    <div class="page sending">
      <h1><IDS Name="LBL SendingOrders"/></h1>
      <table class="progress-list">
        <thead>
          <tr>
            <th><IDS Name="LBL Order"/></th>
            <th><IDS Name="LBL Progress"/></th>
            <th><IDS Name="LBL Result"/></th>
          </tr>
        </thead>
        <tbody>
          <xsl:for-each select="Orders/Design/ORDERGROUP[normalize-space(SENDIT) = '1']">
            <xsl:variable name="id" select="normalize-space(ID)"/>
            <xsl:variable name="group" select="."/>
            <tr>
              <td class="order">
                <b><xsl:value-of select="PARTNERNAME"/></b>
                <div class="meta">
                  <xsl:choose>
                    <xsl:when test="normalize-space(../JobInfo/Header/Name) != ''"><xsl:value-of select="../JobInfo/Header/Name"/></xsl:when>
                    <xsl:otherwise><xsl:value-of select="../JobInfo/FileName"/></xsl:otherwise>
                  </xsl:choose>
                </div>
                <div class="meta"><IDS Name="LBL PONumber"/>: <xsl:value-of select="PONUMBER"/></div>
                <div class="meta">
                  <xsl:for-each select="../Catalog[ID = $group/CATALOGID]">
                    <xsl:if test="position() &gt; 1">, </xsl:if>
                    <xsl:value-of select="Identification/Name"/>
                  </xsl:for-each>
                </div>
              </td>
              <td class="bar-cell">
                <table class="progress" role="presentation">
                  <tr>
                    <td class="bar" id="{$id}OrderProgressLeft" width="0%" bgcolor="#2f7fd0"></td>
                    <td class="rest"></td>
                  </tr>
                </table>
                <span class="progress-step" id="{$id}ProgressSpan"><IDS Name="LBL Waiting"/></span>
              </td>
              <td>
                <span class="progress-word" id="{$id}OrderProgressText"></span>
                <span class="progress-result" id="{$id}OrderSpan"></span>
              </td>
            </tr>
          </xsl:for-each>
        </tbody>
      </table>
      <div class="actions">
        <button type="button" class="secondary" id="CancelButton"><IDS Name="BTN Cancel"/></button>
      </div>
    </div>
  </xsl:template>
</xsl:stylesheet>
