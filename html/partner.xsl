<?xml version="1.0" encoding="utf-8"?>
<!-- One trading partner's page. The input is the partner's element, or the whole settings
     document: then the partner is the one whose ID is "whichpartner", and with "msgwarning"
     set to 1 every partner is shown under a warning that some new partners are not saved
     yet. The list of methods needs the settings document; over the partner element alone
     it holds the partner's current method only. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="utf-8" indent="no"/>
  <xsl:param name="whichpartner"/>
  <xsl:param name="msgwarning"/>

  <xsl:variable name="methods" select="/SETTINGS/METHOD | /PARTNER/ancestor::SETTINGS/METHOD"/>

  <xsl:template match="/">
    <div class="page partnerpage">
      <h1><IDS Name="LBL TradingPartner"/></h1>
      <xsl:choose>
        <xsl:when test="normalize-space($msgwarning) = '1'">
          <div class="message warning"><IDS Name="LBL UnsavedPartnersWarning"/></div>
          <xsl:apply-templates select="SETTINGS/PARTNER"/>
        </xsl:when>
        <xsl:when test="PARTNER">
          <xsl:apply-templates select="PARTNER"/>
        </xsl:when>
        <xsl:when test="SETTINGS/PARTNER[normalize-space(ID) = normalize-space($whichpartner)]">
          <xsl:apply-templates select="SETTINGS/PARTNER[normalize-space(ID) = normalize-space($whichpartner)][1]"/>
        </xsl:when>
        <xsl:otherwise><p class="empty"><IDS Name="LBL PartnerNotFound"/></p></xsl:otherwise>
      </xsl:choose>
      <div class="actions">
        <button type="button" class="secondary" id="newpartner"><IDS Name="LBL NewPartner"/></button>
        <button type="button" class="secondary" id="exitpartner"><IDS Name="LBL Close"/></button>
      </div>
    </div>
  </xsl:template>

  <xsl:template match="PARTNER">
    <xsl:variable name="id" select="normalize-space(ID)"/>
    <xsl:variable name="method" select="normalize-space(METHODID)"/>
    <!-- Option ids carry the method ID as their only digits; the partner ID is spelt in
         letters so that the options of several partners stay distinct. -->
    <xsl:variable name="tag" select="translate($id, '0123456789', 'abcdefghij')"/>
    <div class="partner">
      <h2><xsl:value-of select="NAME"/>
        <xsl:if test="@freeedi = '1'"><xsl:text> </xsl:text><span class="badge neutral"><IDS Name="LBL FreeEdi"/></span></xsl:if>
      </h2>
      <div class="meta"><IDS Name="LBL PartnerCode"/>: <xsl:value-of select="CODE"/></div>
      <div class="fields">
        <div class="field">
          <label for="NAME{$id}"><IDS Name="LBL Name"/></label>
          <input type="text" id="NAME{$id}" value="{NAME}"/>
        </div>
        <div class="field">
          <label for="MANUFID{$id}"><IDS Name="LBL ManufacturerID"/></label>
          <input type="text" id="MANUFID{$id}" value="{MANUFID}"/>
        </div>
        <div class="field">
          <label for="DEALERID{$id}"><IDS Name="LBL DealerID"/></label>
          <input type="text" id="DEALERID{$id}" value="{DEALERID}"/>
        </div>
      </div>
      <div class="fields">
        <div class="field">
          <label for="METHODIDLIST{$id}"><IDS Name="LBL Method"/></label>
          <select id="METHODIDLIST{$id}">
            <xsl:choose>
              <xsl:when test="$methods">
                <xsl:for-each select="$methods">
                  <option id="method{$tag}x{normalize-space(ID)}" value="{normalize-space(ID)}">
                    <xsl:if test="normalize-space(ID) = $method"><xsl:attribute name="selected">selected</xsl:attribute></xsl:if>
                    <xsl:value-of select="NAME"/>
                  </option>
                </xsl:for-each>
              </xsl:when>
              <xsl:otherwise>
                <option id="method{$tag}x{$method}" value="{$method}" selected="selected"><xsl:value-of select="$method"/></option>
              </xsl:otherwise>
            </xsl:choose>
          </select>
        </div>
        <div class="field">
          <span class="label"><b><IDS Name="LBL KitFile"/></b></span>
          <label class="check" for="KITFILEID{$id}">
            <input type="checkbox" id="KITFILEID{$id}">
              <xsl:if test="normalize-space(KITFILEID) = '1'"><xsl:attribute name="checked">checked</xsl:attribute></xsl:if>
            </input>
            <span id="kitfiletextid{$id}">
              <xsl:choose>
                <xsl:when test="normalize-space(KITFILEID) = '1'"><IDS Name="LBL Included"/></xsl:when>
                <xsl:otherwise><IDS Name="LBL NotIncluded"/></xsl:otherwise>
              </xsl:choose>
            </span>
          </label>
        </div>
      </div>
      <button type="button" id="savepartner{$id}"><IDS Name="LBL Save"/></button>
      <button type="button" class="secondary" id="configmethod{$id}">
        <xsl:if test="$methods[normalize-space(ID) = $method][@legacy = '1' and OBJECTNAME = 'ORDR']">
          <xsl:attribute name="disabled">disabled</xsl:attribute>
        </xsl:if>
        <IDS Name="LBL ConfigureMethod"/>
      </button>
    </div>
  </xsl:template>
</xsl:stylesheet>
