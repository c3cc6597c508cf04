<?xml version="1.0" encoding="utf-8"?>
<!-- The settings page over the settings document: folders, cabinet sort order, catalogs and
     the partner each one goes to, and the display options form. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="utf-8" indent="no"/>

  <xsl:template match="/">
    <xsl:apply-templates select="SETTINGS"/>
  </xsl:template>

  <xsl:template match="SETTINGS">
    <xsl:variable name="settings" select="."/>
    <div class="page settings">
      <h1><IDS Name="LBL Settings"/></h1>

      <div class="panel">
        <h2><IDS Name="LBL Folders"/></h2>
        <div class="field">
          <span class="label"><b><IDS Name="LBL SpoolFolder"/></b></span>
          <div>
            <span class="path" id="spoolpath"><xsl:value-of select="SPOOLPATH"/></span>
            <button type="button" class="secondary" id="setspoolpathbutton"><IDS Name="LBL ChangeFolder"/></button>
          </div>
        </div>
        <div class="field">
          <span class="label"><b><IDS Name="LBL ArchiveFolder"/></b></span>
          <div>
            <span class="path" id="archivepath"><xsl:value-of select="ARCHIVEPATH"/></span>
            <button type="button" class="secondary" id="setarchivepathbutton"><IDS Name="LBL ChangeFolder"/></button>
          </div>
        </div>
      </div>

      <div class="panel">
        <h2><label for="sortlist"><IDS Name="LBL CabinetSortOrder"/></label></h2>
        <xsl:variable name="sort" select="normalize-space(SORTORDER)"/>
        <select id="sortlist">
          <xsl:call-template name="sortoption"><xsl:with-param name="code">NS</xsl:with-param><xsl:with-param name="current" select="$sort"/></xsl:call-template>
          <xsl:call-template name="sortoption"><xsl:with-param name="code">BWT</xsl:with-param><xsl:with-param name="current" select="$sort"/></xsl:call-template>
          <xsl:call-template name="sortoption"><xsl:with-param name="code">BTW</xsl:with-param><xsl:with-param name="current" select="$sort"/></xsl:call-template>
          <xsl:call-template name="sortoption"><xsl:with-param name="code">WBT</xsl:with-param><xsl:with-param name="current" select="$sort"/></xsl:call-template>
          <xsl:call-template name="sortoption"><xsl:with-param name="code">WTB</xsl:with-param><xsl:with-param name="current" select="$sort"/></xsl:call-template>
          <xsl:call-template name="sortoption"><xsl:with-param name="code">TBW</xsl:with-param><xsl:with-param name="current" select="$sort"/></xsl:call-template>
          <xsl:call-template name="sortoption"><xsl:with-param name="code">TWB</xsl:with-param><xsl:with-param name="current" select="$sort"/></xsl:call-template>
        </select>
      </div>

      <div class="panel">
        <h2><IDS Name="LBL Catalogs"/></h2>
        <xsl:choose>
          <xsl:when test="CATALOG">
            <table class="grid">
              <thead>
                <tr>
                  <th><IDS Name="LBL Catalog"/></th>
                  <th><IDS Name="LBL Partner"/></th>
                  <th><IDS Name="LBL Actions"/></th>
                </tr>
              </thead>
              <tbody>
                <xsl:for-each select="CATALOG">
                  <xsl:variable name="id" select="normalize-space(ID)"/>
                  <xsl:variable name="partnerid" select="normalize-space(PARTNERID)"/>
                  <xsl:variable name="assigned" select="$settings/PARTNER[normalize-space(ID) = $partnerid]"/>
                  <tr>
                    <td><label for="partnerassign{$id}"><xsl:value-of select="CODE"/></label>
                      <xsl:if test="not($assigned)">
                        <div class="message warning"><IDS Name="LBL CatalogNotAssigned"/></div>
                      </xsl:if>
                    </td>
                    <td>
                      <select id="partnerassign{$id}">
                        <xsl:if test="not($assigned)">
                          <option value="{$partnerid}" selected="selected"><IDS Name="LBL NoPartner"/></option>
                        </xsl:if>
                        <xsl:for-each select="$settings/PARTNER">
                          <option value="{normalize-space(ID)}">
                            <xsl:if test="normalize-space(ID) = $partnerid"><xsl:attribute name="selected">selected</xsl:attribute></xsl:if>
                            <xsl:value-of select="NAME"/>
                          </option>
                        </xsl:for-each>
                      </select>
                    </td>
                    <td>
                      <button type="button" class="secondary" id="editcatalog{$id}"><IDS Name="LBL Rename"/></button>
                      <button type="button" class="danger" id="removecatalog{$id}"><IDS Name="LBL Remove"/></button>
                    </td>
                  </tr>
                </xsl:for-each>
              </tbody>
            </table>
          </xsl:when>
          <xsl:otherwise><p class="empty"><IDS Name="LBL NoCatalogs"/></p></xsl:otherwise>
        </xsl:choose>
        <button type="button" id="newcatalog"><IDS Name="LBL NewCatalog"/></button>
        <button type="button" class="secondary" id="editpartnerlist"><IDS Name="LBL TradingPartners"/></button>
      </div>

      <div class="panel">
        <h2><IDS Name="LBL DisplayOptions"/></h2>
        <form id="display" action="#" onsubmit="return false">
          <div class="fields">
            <div class="field">
              <label for="SORT"><IDS Name="LBL StatusListSort"/></label>
              <input type="text" id="SORT" name="SORT" value="{DISPLAY/SORT}"/>
            </div>
          </div>
          <button type="button" id="savebutton" disabled="disabled"><IDS Name="LBL Save"/></button>
        </form>
      </div>
    </div>
  </xsl:template>

  <xsl:template name="sortoption">
    <xsl:param name="code"/>
    <xsl:param name="current"/>
    <option value="{$code}">
      <xsl:if test="$code = $current or ($code = 'NS' and $current = '')"><xsl:attribute name="selected">selected</xsl:attribute></xsl:if>
      <xsl:choose>
        <xsl:when test="$code = 'NS'"><IDS Name="LBL SortNone"/></xsl:when>
        <xsl:when test="$code = 'BWT'"><IDS Name="LBL SortBWT"/></xsl:when>
        <xsl:when test="$code = 'BTW'"><IDS Name="LBL SortBTW"/></xsl:when>
        <xsl:when test="$code = 'WBT'"><IDS Name="LBL SortWBT"/></xsl:when>
        <xsl:when test="$code = 'WTB'"><IDS Name="LBL SortWTB"/></xsl:when>
        <xsl:when test="$code = 'TBW'"><IDS Name="LBL SortTBW"/></xsl:when>
        <xsl:otherwise><IDS Name="LBL SortTWB"/></xsl:otherwise>
      </xsl:choose>
    </option>
  </xsl:template>
</xsl:stylesheet>
