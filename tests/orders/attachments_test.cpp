// The File elements of an order group: what attaching writes and which file a removal
// takes, as the order stack keeps them.
#include <gtest/gtest.h>

#include "host/frm_edi.h"
#include "orders/order_stack.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

class AttachmentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(edi_.Orders.docOrders.loadXML(
        "<Orders><Design><FileName>A.xme</FileName><ORDERGROUP><ID>3</ID></ORDERGROUP></Design>"
        "<Design><FileName>B.xme</FileName><ORDERGROUP><ID>4</ID></ORDERGROUP></Design>"
        "</Orders>"));
  }
  std::string Text(const std::string& xpath) {
    return edi_.Orders.docOrders.selectSingleNode(xpath).text();
  }
  int Count(const std::string& xpath) {
    return static_cast<int>(edi_.Orders.docOrders.selectNodes(xpath).length());
  }

  testing::TempModule module_;
  frmEDI edi_;
};

TEST_F(AttachmentsTest, TheTypeIsTheLastThreeCharactersOfTheName) {
  ASSERT_FALSE(edi_.Orders.AddAttachment(3, "/files/plan.pdf"));
  ASSERT_FALSE(edi_.Orders.AddAttachment(3, "/files/Dessin.ÉTÉ"));
  ASSERT_FALSE(edi_.Orders.AddAttachment(3, "ab"));
  EXPECT_EQ(Text("//ORDERGROUP[ID=3]/File[1]/Type"), "pdf");
  EXPECT_EQ(Text("//ORDERGROUP[ID=3]/File[1]/Name"), "/files/plan.pdf");
  EXPECT_EQ(Text("//ORDERGROUP[ID=3]/File[2]/Type"), "ÉTÉ");  // characters, not bytes
  EXPECT_EQ(Text("//ORDERGROUP[ID=3]/File[3]/Type"), "ab");
  EXPECT_TRUE(edi_.Orders.bOrdersChanged);
}

TEST_F(AttachmentsTest, NamesADocumentCannotHoldAndUnknownGroupsChangeNothing) {
  EXPECT_TRUE(edi_.Orders.AddAttachment(3, "/files/bell\x07.pdf"));
  EXPECT_TRUE(edi_.Orders.AddAttachment(3, "/files/\xff\xfe.pdf"));  // not UTF-8
  EXPECT_TRUE(edi_.Orders.AddAttachment(3, ""));
  EXPECT_TRUE(edi_.Orders.AddAttachment(9, "/files/plan.pdf"));
  bool removed = true;
  EXPECT_TRUE(edi_.Orders.RemoveAttachment(9, "/files/plan.pdf", removed));
  EXPECT_FALSE(removed);
  EXPECT_EQ(Count("//File"), 0);
  EXPECT_FALSE(edi_.Orders.bOrdersChanged);
}

TEST_F(AttachmentsTest, RemovalMatchesThePageLowerCasedNameAndTakesOneFile) {
  // The page lower-cases A-Z and the Latin-1 capitals; everything else stays as it is.
  EXPECT_EQ(FoldAttachmentCase("/Ab/ÀÉÞ×ßΣ.PDF"), "/ab/àéþ×ßΣ.pdf");
  ASSERT_FALSE(edi_.Orders.AddAttachment(4, "/Été/Plan.PDF"));
  ASSERT_FALSE(edi_.Orders.AddAttachment(4, "/Été/plan.pdf"));
  ASSERT_FALSE(edi_.Orders.AddAttachment(4, "/Été/other.pdf"));
  bool removed = false;
  ASSERT_FALSE(edi_.Orders.RemoveAttachment(4, "/été/plan.pdf", removed));
  EXPECT_TRUE(removed);
  EXPECT_EQ(Count("//ORDERGROUP[ID=4]/File"), 2);
  EXPECT_EQ(Text("//ORDERGROUP[ID=4]/File[1]/Name"), "/Été/plan.pdf");
  ASSERT_FALSE(edi_.Orders.RemoveAttachment(4, "/été/none.pdf", removed));
  EXPECT_FALSE(removed);
  EXPECT_EQ(Count("//File"), 2);
}

}  // namespace
}  // namespace larkedi
