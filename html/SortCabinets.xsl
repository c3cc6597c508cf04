<?xml version="1.0" encoding="UTF-8"?>
<!--
  Cabinet sorting: puts the items of every catalog in the order of their SortOrder key
  (numeric, ascending). Items with the same key keep the order they had; items without a
  numeric key go after the others. Everything else of the design is copied unchanged.
  The result is rooted at the Design element: a design handed in alone stays as it is, the
  only design of a Project becomes the root. A Project holding several designs is kept
  whole, so that no design is lost.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="UTF-8" indent="no"/>

  <xsl:template match="/">
    <xsl:choose>
      <xsl:when test="Project and count(Project/Design) = 1">
        <xsl:apply-templates select="Project/Design"/>
      </xsl:when>
      <xsl:otherwise>
        <xsl:apply-templates select="node()"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <xsl:template match="@*|node()">
    <xsl:copy>
      <xsl:apply-templates select="@*|node()"/>
    </xsl:copy>
  </xsl:template>

  <xsl:template match="Catalog">
    <xsl:copy>
      <xsl:apply-templates select="@*"/>
      <xsl:apply-templates select="node()" mode="catalog"/>
    </xsl:copy>
  </xsl:template>

  <xsl:template match="node()" mode="catalog">
    <xsl:apply-templates select="."/>
  </xsl:template>

  <!-- The items take the place of the first one, all of them in key order. -->
  <xsl:template match="Item" mode="catalog">
    <xsl:if test="not(preceding-sibling::Item)">
      <xsl:for-each select="../Item">
        <xsl:sort select="string(number(SortOrder) = number(SortOrder))" order="descending"/>
        <xsl:sort select="number(SortOrder)" data-type="number" order="ascending"/>
        <xsl:sort select="count(preceding-sibling::Item)" data-type="number" order="ascending"/>
        <xsl:apply-templates select="."/>
      </xsl:for-each>
    </xsl:if>
  </xsl:template>
</xsl:stylesheet>
