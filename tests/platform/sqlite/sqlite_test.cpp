// The SQLite layer: write-ahead logging, steps (one not committed leaves nothing) and a
// second writer that gives up. (Bound texts with quotes are the send journal's tests.)
#include "platform/sqlite/sqlite.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testing/temp_module.h"

namespace larkedi {
namespace {

long long Count(sqlite::Database& db) {
  sqlite::Statement count;
  bool row = false;
  if (db.Prepare("SELECT count(*) FROM t", &count) || count.Step(&row) || !row) return -1;
  return count.ColumnInt(0);
}

TEST(SqliteTest, WriteAheadLoggingAndAStepNotCommittedLeavesNothing) {
  const std::string dir = testing::MakeTempDir();
  sqlite::Database db;
  ASSERT_FALSE(db.Open(dir + "/test.db"));
  EXPECT_EQ(db.JournalMode(), "wal");
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
    ASSERT_FALSE(db.Exec("INSERT INTO t VALUES ('kept')"));
    ASSERT_FALSE(step.Commit());
  }
  db.Close();
  sqlite::Database reopened;
  ASSERT_FALSE(reopened.Open(dir + "/test.db"));
  EXPECT_EQ(Count(reopened), 1);
  reopened.Close();
  std::filesystem::remove_all(dir);
}

TEST(SqliteTest, ASecondWriterWaitsThenGivesUpWithAnError) {
  const std::string dir = testing::MakeTempDir();
  sqlite::Database first, second;
  ASSERT_FALSE(first.Open(dir + "/test.db"));
  ASSERT_FALSE(first.Exec("CREATE TABLE t (a TEXT)"));
  ASSERT_FALSE(second.Open(dir + "/test.db", 50));
  sqlite::Transaction holding(first);
  ASSERT_FALSE(holding.Begin());
  sqlite::Transaction waiting(second);
  EXPECT_TRUE(waiting.Begin());
  ASSERT_FALSE(holding.Commit());
  EXPECT_FALSE(waiting.Begin());  // free again
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace larkedi
