<?xml version="1.0" encoding="utf-8"?>
<!-- The order status page: the partners whose dealer web site can show the orders sent,
     each with a password field, the button that opens the site ("statusbutton" + ID) and
     the button that lists the orders sent, month by month ("statuslist" + ID). -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="utf-8" indent="no"/>

  <xsl:template match="/">
    <div class="page status">
      <h1><IDS Name="LBL OrderStatus"/></h1>
      <p><IDS Name="LBL OrderStatusIntro"/></p>
      <xsl:choose>
        <xsl:when test="SETTINGS/PARTNER">
          <table class="grid">
            <thead>
              <tr>
                <th><IDS Name="LBL Partner"/></th>
                <th><IDS Name="LBL DealerID"/></th>
                <th><IDS Name="LBL Password"/></th>
                <th><IDS Name="LBL Actions"/></th>
              </tr>
            </thead>
            <tbody>
              <xsl:for-each select="SETTINGS/PARTNER">
                <xsl:variable name="id" select="normalize-space(ID)"/>
                <tr>
                  <td><b><xsl:value-of select="NAME"/></b></td>
                  <td><xsl:value-of select="DEALERID"/></td>
                  <td>
                    <label for="partnerpassword{$id}" class="visually-hidden"><IDS Name="LBL Password"/></label>
                    <input type="password" id="partnerpassword{$id}" autocomplete="off"/>
                  </td>
                  <td>
                    <button type="button" id="statusbutton{$id}"><IDS Name="LBL OpenDealerSite"/></button>
                    <xsl:text> </xsl:text>
                    <button type="button" class="secondary" id="statuslist{$id}"><IDS Name="LBL SentOrders"/></button>
                  </td>
                </tr>
              </xsl:for-each>
            </tbody>
          </table>
        </xsl:when>
        <xsl:otherwise><p class="empty"><IDS Name="LBL NoPartnersToFollow"/></p></xsl:otherwise>
      </xsl:choose>
    </div>
  </xsl:template>
</xsl:stylesheet>
