<?xml version="1.0" encoding="utf-8"?>
<!-- The trading partners of the settings document, each with its edit and remove buttons. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="utf-8" indent="no"/>

  <xsl:template match="/">
    <xsl:variable name="settings" select="SETTINGS"/>
    <div class="page partnerlist">
      <h1><IDS Name="LBL TradingPartners"/></h1>
      <xsl:choose>
        <xsl:when test="SETTINGS/PARTNER">
          <table class="grid">
            <thead>
              <tr>
                <th><IDS Name="LBL Name"/></th>
                <th><IDS Name="LBL PartnerCode"/></th>
                <th><IDS Name="LBL ManufacturerID"/></th>
                <th><IDS Name="LBL DealerID"/></th>
                <th><IDS Name="LBL Method"/></th>
                <th><IDS Name="LBL Catalogs"/></th>
                <th><IDS Name="LBL Actions"/></th>
              </tr>
            </thead>
            <tbody>
              <xsl:for-each select="SETTINGS/PARTNER">
                <xsl:variable name="id" select="normalize-space(ID)"/>
                <xsl:variable name="method" select="normalize-space(METHODID)"/>
                <tr>
                  <td><b><xsl:value-of select="NAME"/></b>
                    <xsl:if test="@freeedi = '1'"><xsl:text> </xsl:text><span class="badge neutral"><IDS Name="LBL FreeEdi"/></span></xsl:if>
                  </td>
                  <td><xsl:value-of select="CODE"/></td>
                  <td><xsl:value-of select="MANUFID"/></td>
                  <td><xsl:value-of select="DEALERID"/></td>
                  <td><xsl:value-of select="$settings/METHOD[normalize-space(ID) = $method]/NAME"/></td>
                  <td>
                    <xsl:for-each select="$settings/CATALOG[normalize-space(PARTNERID) = $id]">
                      <xsl:if test="position() &gt; 1">, </xsl:if>
                      <xsl:value-of select="CODE"/>
                    </xsl:for-each>
                  </td>
                  <td>
                    <button type="button" class="secondary" id="editpartner{$id}"><IDS Name="LBL Edit"/></button>
                    <button type="button" class="danger" id="removepartner{$id}"><IDS Name="LBL Remove"/></button>
                  </td>
                </tr>
              </xsl:for-each>
            </tbody>
          </table>
        </xsl:when>
        <xsl:otherwise><p class="empty"><IDS Name="LBL NoPartners"/></p></xsl:otherwise>
      </xsl:choose>
      <div class="actions">
        <button type="button" id="newpartner"><IDS Name="LBL NewPartner"/></button>
        <button type="button" class="secondary" id="displaysettings"><IDS Name="LBL BackToSettings"/></button>
      </div>
    </div>
  </xsl:template>
</xsl:stylesheet>
