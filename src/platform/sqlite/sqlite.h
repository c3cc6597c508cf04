// A thin RAII layer over SQLite for the module's small embedded databases.
//
// - A Database is opened in write-ahead-log mode with full synchronisation and a busy
//   time-out, so several processes can write to one file and a committed step survives a
//   crash or a power cut.
// - Data reaches SQL only through bound parameters of prepared statements; Exec is for
//   fixed statements (schema) only.
// - A Transaction is one write step: it begins immediately (taking the write lock up front,
//   so two writers wait for each other instead of dead-locking) and rolls back unless it
//   was committed.
//
// Nothing throws. Failures come back as an Err naming the operation, the file and SQLite's
// own message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/err.h"

struct sqlite3;
struct sqlite3_stmt;

namespace larkedi::sqlite {

/// Error number of this layer's failures (the module's component-failure number).
constexpr long kErrDatabase = kErrComponent;

class Statement;

class Database {
 public:
  Database() = default;
  ~Database();
  Database(Database&& other) noexcept;
  Database& operator=(Database&& other) noexcept;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  /// Opens (creating when missing) the database file, switches it to write-ahead logging
  /// and sets the busy time-out other writers are waited for.
  Err Open(const std::string& path, int busy_timeout_ms = 10000);
  void Close();
  bool is_open() const { return db_ != nullptr; }
  const std::string& path() const { return path_; }

  /// Runs fixed SQL without parameters (schema statements). Never pass data here.
  Err Exec(const std::string& sql);
  /// Compiles one statement; data is bound to its parameters afterwards.
  Err Prepare(std::string_view sql, Statement* statement);
  /// The journal mode in force ("wal" after Open).
  std::string JournalMode();
  int64_t LastInsertRowId() const;
  /// Rows changed by the last finished statement.
  int Changes() const;

 private:
  friend class Statement;
  friend class Transaction;
  Err Fail(const std::string& operation, int code) const;

  sqlite3* db_ = nullptr;
  std::string path_;
};

class Statement {
 public:
  Statement() = default;
  ~Statement();
  Statement(Statement&& other) noexcept;
  Statement& operator=(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  /// Parameters are numbered from 1, as in SQL's ?1, ?2, ...
  Err Bind(int index, std::string_view text);
  Err Bind(int index, int64_t value);
  Err BindNull(int index);

  /// Runs the statement one step: `row` is true when a result row is available, false when
  /// the statement is done.
  Err Step(bool* row);
  /// Runs the statement to its end (for statements without results).
  Err Run();
  /// Makes the statement ready to run again with new bindings.
  Err Reset();

  std::string ColumnText(int column) const;
  int64_t ColumnInt(int column) const;
  bool ColumnIsNull(int column) const;

 private:
  friend class Database;
  sqlite3_stmt* stmt_ = nullptr;
  const Database* db_ = nullptr;
};

/// One write step. Begin takes the write lock at once (BEGIN IMMEDIATE, waiting for other
/// writers up to the busy time-out); the destructor rolls back a step not committed.
class Transaction {
 public:
  explicit Transaction(Database& db) : db_(db) {}
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  Err Begin();
  Err Commit();
  void Rollback();

 private:
  Database& db_;
  bool active_ = false;
};

}  // namespace larkedi::sqlite
