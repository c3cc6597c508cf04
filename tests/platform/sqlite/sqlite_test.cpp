// The SQLite layer: write-ahead logging, bound parameters, one step per transaction and
// waiting for another writer.
#include "platform/sqlite/sqlite.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testing/temp_module.h"

namespace larkedi {
namespace {

class SqliteTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testing::MakeTempDir(); }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Db() const { return dir_ + "/test.db"; }

  static long long Count(sqlite::Database& db) {
    sqlite::Statement count;
    bool row = false;
    if (db.Prepare("SELECT count(*) FROM t", &count) || count.Step(&row) || !row) return -1;
    return count.ColumnInt(0);
  }

  std::string dir_;
};

TEST_F(SqliteTest, OpensInWriteAheadModeAndKeepsBoundTextExactly) {
  const std::string hostile = "x'); DROP TABLE t; --\n\"quoted\" 100% _under_ \xC3\xA9t\xC3\xA9";
  {
    sqlite::Database db;
    ASSERT_FALSE(db.Open(Db()));
    EXPECT_EQ(db.JournalMode(), "wal");
    ASSERT_FALSE(db.Exec("CREATE TABLE t (a TEXT, b INTEGER)"));
    sqlite::Statement insert;
    ASSERT_FALSE(db.Prepare("INSERT INTO t VALUES (?1, ?2)", &insert));
    ASSERT_FALSE(insert.Bind(1, hostile));
    ASSERT_FALSE(insert.Bind(2, int64_t{1} << 40));
    ASSERT_FALSE(insert.Run());
    ASSERT_FALSE(insert.Reset());
    ASSERT_FALSE(insert.BindNull(1));
    ASSERT_FALSE(insert.Bind(2, int64_t{-7}));
    ASSERT_FALSE(insert.Run());
  }
  EXPECT_TRUE(std::filesystem::exists(Db()));
  sqlite::Database again;
  ASSERT_FALSE(again.Open(Db()));
  sqlite::Statement select;
  ASSERT_FALSE(again.Prepare("SELECT a, b FROM t ORDER BY rowid", &select));
  bool row = false;
  ASSERT_FALSE(select.Step(&row));
  ASSERT_TRUE(row);
  EXPECT_EQ(select.ColumnText(0), hostile);
  EXPECT_EQ(select.ColumnInt(1), int64_t{1} << 40);
  ASSERT_FALSE(select.Step(&row));
  ASSERT_TRUE(row);
  EXPECT_TRUE(select.ColumnIsNull(0));
  EXPECT_EQ(select.ColumnInt(1), -7);
  ASSERT_FALSE(select.Step(&row));
  EXPECT_FALSE(row);
}

TEST_F(SqliteTest, AStepNotCommittedLeavesNothingAndACommittedOneStays) {
  sqlite::Database db;
  ASSERT_FALSE(db.Open(Db()));
  ASSERT_FALSE(db.Exec("CREATE TABLE t (a TEXT)"));
  {
    sqlite::Transaction step(db);
    ASSERT_FALSE(step.Begin());
    ASSERT_FALSE(db.Exec("INSERT INTO t VALUES ('lost')"));
  }  // no commit
  EXPECT_EQ(Count(db), 0);
  {
    sqlite::Transaction step(db);
    ASSERT_FALSE(step.Begin());
    EXPECT_TRUE(step.Begin());  // one step at a time
    ASSERT_FALSE(db.Exec("INSERT INTO t VALUES ('kept')"));
    ASSERT_FALSE(step.Commit());
    EXPECT_TRUE(step.Commit());  // nothing open any more
  }
  db.Close();
  sqlite::Database reopened;
  ASSERT_FALSE(reopened.Open(Db()));
  EXPECT_EQ(Count(reopened), 1);
}

TEST_F(SqliteTest, ASecondWriterWaitsThenGivesUpWithAnError) {
  sqlite::Database first;
  ASSERT_FALSE(first.Open(Db()));
  ASSERT_FALSE(first.Exec("CREATE TABLE t (a TEXT)"));
  sqlite::Database second;
  ASSERT_FALSE(second.Open(Db(), 50));
  sqlite::Transaction holding(first);
  ASSERT_FALSE(holding.Begin());
  sqlite::Transaction waiting(second);
  Err err = waiting.Begin();
  ASSERT_TRUE(err);
  EXPECT_NE(err.Description.find("test.db"), std::string::npos) << err.Description;
  ASSERT_FALSE(holding.Commit());
  EXPECT_FALSE(waiting.Begin());  // free again
}

TEST_F(SqliteTest, FailuresNameTheFileAndTheReason) {
  sqlite::Database db;
  Err open = db.Open(dir_ + "/missing/folder/x.db");
  ASSERT_TRUE(open);
  EXPECT_NE(open.Description.find("missing/folder/x.db"), std::string::npos);
  EXPECT_FALSE(db.is_open());
  EXPECT_TRUE(db.Exec("SELECT 1"));

  ASSERT_FALSE(db.Open(Db()));
  sqlite::Statement bad;
  Err prepare = db.Prepare("SELEC nonsense", &bad);
  ASSERT_TRUE(prepare);
  EXPECT_NE(prepare.Description.find("syntax"), std::string::npos) << prepare.Description;
  bool row = false;
  EXPECT_TRUE(bad.Step(&row));  // never prepared

  ASSERT_FALSE(db.Exec("CREATE TABLE u (a TEXT NOT NULL)"));
  sqlite::Statement insert;
  ASSERT_FALSE(db.Prepare("INSERT INTO u VALUES (?1)", &insert));
  ASSERT_FALSE(insert.BindNull(1));
  EXPECT_TRUE(insert.Run());  // constraint
}

}  // namespace
}  // namespace larkedi
