<?xml version="1.0" encoding="UTF-8"?>
<!--
  Default purchase-order conversion. Turns the order document prepared for one trading
  partner (root Design: header, the order's catalogs, attached files) into a purchase order:

  PURCHASEORDER
    POHEADER      order number, transaction code, global ID, dates, job, bill-to and ship-to
    PODETAILS     one per catalog: CATALOG (the catalog's name) and the partner identification
    POLINES       ITEM per ordered item: CATNAME (its catalog's name), LINENUMBER, then the
                  item's own elements as the design carries them
    ATTACHMENTS   FILE per embedded file: TYPE, NAME, FILEDATA

  When the order is sent catalog by catalog, CURCATALOG names the catalog being sent and
  the sender keeps only that catalog's PODETAILS and ITEM elements.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" encoding="UTF-8" indent="yes"/>

  <xsl:template match="/">
    <xsl:apply-templates select="Design[1]"/>
  </xsl:template>

  <xsl:template match="Design">
    <xsl:variable name="header" select="JobInfo/Header"/>
    <PURCHASEORDER>
      <POHEADER>
        <PONUMBER><xsl:value-of select="$header/Number"/></PONUMBER>
        <TRANSACTIONCODE><xsl:value-of select="$header/TransactionCode"/></TRANSACTIONCODE>
        <GLOBALID><xsl:value-of select="$header/GlobalID"/></GLOBALID>
        <DATESENT><xsl:value-of select="$header/DateSent"/></DATESENT>
        <DATEBIAS><xsl:value-of select="$header/DateBias"/></DATEBIAS>
        <DATECREATED><xsl:value-of select="$header/DateCreated"/></DATECREATED>
        <DATEREQUIRED><xsl:value-of select="$header/DateRequired"/></DATEREQUIRED>
        <DATEDELIVERY><xsl:value-of select="$header/DateDelivery"/></DATEDELIVERY>
        <JOBNAME><xsl:value-of select="$header/Name"/></JOBNAME>
        <REFERENCE><xsl:value-of select="$header/Reference"/></REFERENCE>
        <CURRENCY><xsl:value-of select="$header/Currency"/></CURRENCY>
        <COMMENT><xsl:value-of select="$header/Comment"/></COMMENT>
        <CURCATALOG><xsl:value-of select="CurCatalog"/></CURCATALOG>
        <FILENAME><xsl:value-of select="JobInfo/FileName"/></FILENAME>
        <xsl:apply-templates select="JobInfo/Profile[Type='BillTo'][1]" mode="party">
          <xsl:with-param name="tag" select="'BILLTO'"/>
        </xsl:apply-templates>
        <xsl:apply-templates select="JobInfo/Profile[Type='ShipTo'][1]" mode="party">
          <xsl:with-param name="tag" select="'SHIPTO'"/>
        </xsl:apply-templates>
      </POHEADER>
      <xsl:for-each select="Catalog">
        <PODETAILS>
          <CATALOG><xsl:value-of select="Identification/Name"/></CATALOG>
          <MANUFID><xsl:value-of select="Identification/ManufID"/></MANUFID>
          <DEALERID><xsl:value-of select="Identification/DealerID"/></DEALERID>
          <BRANCHID><xsl:value-of select="Identification/BranchID"/></BRANCHID>
          <PASSWORD><xsl:value-of select="Identification/Password"/></PASSWORD>
          <GLOBALID><xsl:value-of select="Identification/GlobalID"/></GLOBALID>
          <LINECOUNT><xsl:value-of select="count(Item[not(Class='885')])"/></LINECOUNT>
        </PODETAILS>
      </xsl:for-each>
      <POLINES>
        <xsl:for-each select="Catalog/Item[not(Class='885')]">
          <ITEM>
            <CATNAME><xsl:value-of select="../Identification/Name"/></CATNAME>
            <LINENUMBER><xsl:value-of select="LineItemNumber"/></LINENUMBER>
            <xsl:copy-of select="*[not(self::LineItemNumber)]"/>
          </ITEM>
        </xsl:for-each>
      </POLINES>
      <ATTACHMENTS>
        <xsl:for-each select="File">
          <FILE>
            <TYPE><xsl:value-of select="Type"/></TYPE>
            <NAME><xsl:value-of select="Name"/></NAME>
            <FILEDATA><xsl:value-of select="FileData"/></FILEDATA>
          </FILE>
        </xsl:for-each>
      </ATTACHMENTS>
    </PURCHASEORDER>
  </xsl:template>

  <xsl:template match="Profile" mode="party">
    <xsl:param name="tag"/>
    <xsl:element name="{$tag}">
      <CODE><xsl:value-of select="Code"/></CODE>
      <NAME><xsl:value-of select="Name"/></NAME>
      <ACCOUNTCODE><xsl:value-of select="AccountCode"/></ACCOUNTCODE>
      <ADDRESS><xsl:value-of select="Location/Address"/></ADDRESS>
      <CITY><xsl:value-of select="Location/City"/></CITY>
      <STATE><xsl:value-of select="Location/State"/></STATE>
      <COUNTRY><xsl:value-of select="Location/Country"/></COUNTRY>
      <ZIP><xsl:value-of select="Location/Zip"/></ZIP>
      <CONTACT>
        <xsl:value-of select="(Contact[Type='Designer']/Name)[normalize-space()][1]"/>
      </CONTACT>
    </xsl:element>
  </xsl:template>
</xsl:stylesheet>
