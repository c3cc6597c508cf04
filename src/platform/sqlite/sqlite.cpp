#include "platform/sqlite/sqlite.h"

#include <sqlite3.h>

#include <utility>

namespace larkedi::sqlite {

namespace {

Err MakeErr(const std::string& operation, const std::string& path, int code, sqlite3* db) {
  std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  return Err::Raise(kErrDatabase, "sqlite " + operation,
                    message + " (" + std::to_string(code) + ") in " + path);
}

}  // namespace

// ---- Database ----------------------------------------------------------------------------

Database::~Database() {
  Close();
}

Database::Database(Database&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), path_(std::move(other.path_)) {}

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    Close();
    db_ = std::exchange(other.db_, nullptr);
    path_ = std::move(other.path_);
  }
  return *this;
}

void Database::Close() {
  if (db_) {
    // Statements are finalised by their owners; close_v2 defers the close until they are.
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
}

Err Database::Fail(const std::string& operation, int code) const {
  return MakeErr(operation, path_, code, db_);
}

Err Database::Open(const std::string& path, int busy_timeout_ms) {
  Close();
  path_ = path;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(
      path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    Err err = MakeErr("open", path, rc, db);
    sqlite3_close_v2(db);
    return err;
  }
  db_ = db;
  sqlite3_extended_result_codes(db_, 1);
  // Set before anything touches the file: switching to WAL also waits for other openers.
  sqlite3_busy_timeout(db_, busy_timeout_ms);
  if (Err err = Exec("PRAGMA journal_mode=WAL")) {
    Close();
    return err;
  }
  if (JournalMode() != "wal") {
    Err err =
        Err::Raise(kErrDatabase, "sqlite open", "write-ahead logging is not available for " + path);
    Close();
    return err;
  }
  // Every committed step reaches the disk before the commit returns.
  if (Err err = Exec("PRAGMA synchronous=FULL")) {
    Close();
    return err;
  }
  return {};
}

Err Database::Exec(const std::string& sql) {
  if (!db_) return Err::Raise(kErrDatabase, "sqlite exec", "the database is not open");
  char* message = nullptr;
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    std::string text = message ? message : sqlite3_errstr(rc);
    sqlite3_free(message);
    return Err::Raise(kErrDatabase, "sqlite exec",
                      text + " (" + std::to_string(rc) + ") in " + path_);
  }
  return {};
}

Err Database::Prepare(std::string_view sql, Statement* statement) {
  if (!db_) return Err::Raise(kErrDatabase, "sqlite prepare", "the database is not open");
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
  if (rc != SQLITE_OK) return Fail("prepare", rc);
  Statement prepared;
  prepared.stmt_ = stmt;
  prepared.db_ = this;
  *statement = std::move(prepared);
  return {};
}

std::string Database::JournalMode() {
  Statement statement;
  bool row = false;
  if (Prepare("PRAGMA journal_mode", &statement) || statement.Step(&row) || !row) return "";
  return statement.ColumnText(0);
}

int64_t Database::LastInsertRowId() const {
  return db_ ? sqlite3_last_insert_rowid(db_) : 0;
}

int Database::Changes() const {
  return db_ ? sqlite3_changes(db_) : 0;
}

// ---- Statement ---------------------------------------------------------------------------

Statement::~Statement() {
  if (stmt_) sqlite3_finalize(stmt_);
}

Statement::Statement(Statement&& other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)), db_(std::exchange(other.db_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    if (stmt_) sqlite3_finalize(stmt_);
    stmt_ = std::exchange(other.stmt_, nullptr);
    db_ = std::exchange(other.db_, nullptr);
  }
  return *this;
}

namespace {
Err NotPrepared(const char* operation) {
  return Err::Raise(kErrDatabase, std::string("sqlite ") + operation,
                    "the statement is not prepared");
}
}  // namespace

Err Statement::Bind(int index, std::string_view text) {
  if (!stmt_) return NotPrepared("bind");
  int rc =
      sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return rc == SQLITE_OK ? Err{} : db_->Fail("bind", rc);
}

Err Statement::Bind(int index, int64_t value) {
  if (!stmt_) return NotPrepared("bind");
  int rc = sqlite3_bind_int64(stmt_, index, value);
  return rc == SQLITE_OK ? Err{} : db_->Fail("bind", rc);
}

Err Statement::BindNull(int index) {
  if (!stmt_) return NotPrepared("bind");
  int rc = sqlite3_bind_null(stmt_, index);
  return rc == SQLITE_OK ? Err{} : db_->Fail("bind", rc);
}

Err Statement::Step(bool* row) {
  *row = false;
  if (!stmt_) return NotPrepared("step");
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) {
    *row = true;
    return {};
  }
  if (rc == SQLITE_DONE) return {};
  Err err = db_->Fail("step", rc);
  sqlite3_reset(stmt_);
  return err;
}

Err Statement::Run() {
  bool row = true;
  while (row) {
    if (Err err = Step(&row)) return err;
  }
  return {};
}

Err Statement::Reset() {
  if (!stmt_) return NotPrepared("reset");
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  return {};
}

std::string Statement::ColumnText(int column) const {
  if (!stmt_) return "";
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  if (!text) return "";
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

int64_t Statement::ColumnInt(int column) const {
  return stmt_ ? sqlite3_column_int64(stmt_, column) : 0;
}

bool Statement::ColumnIsNull(int column) const {
  return !stmt_ || sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

// ---- Transaction -------------------------------------------------------------------------

Transaction::~Transaction() {
  Rollback();
}

Err Transaction::Begin() {
  if (active_) return Err::Raise(kErrDatabase, "sqlite begin", "a step is already open");
  if (Err err = db_.Exec("BEGIN IMMEDIATE")) return err;
  active_ = true;
  return {};
}

Err Transaction::Commit() {
  if (!active_) return Err::Raise(kErrDatabase, "sqlite commit", "no step is open");
  if (Err err = db_.Exec("COMMIT")) {
    Rollback();
    return err;
  }
  active_ = false;
  return {};
}

void Transaction::Rollback() {
  if (!active_) return;
  active_ = false;
  if (db_.db_ && !sqlite3_get_autocommit(db_.db_)) db_.Exec("ROLLBACK");
}

}  // namespace larkedi::sqlite
