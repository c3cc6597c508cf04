#include "sending/send_journal.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <utility>

#include "platform/env.h"
#include "platform/sqlite/sqlite.h"
#include "support/module.h"

namespace larkedi {

namespace {

constexpr const char* kSource = "SendJournal";

// States as stored; the numbers never change once written.
constexpr int64_t kInDoubt = 1;
constexpr int64_t kAccepted = 2;
constexpr int64_t kRefused = 3;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS sends ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " design_file TEXT NOT NULL,"
    " order_id TEXT NOT NULL,"
    " partner_id TEXT NOT NULL,"
    " partner_code TEXT NOT NULL,"
    " catalogs TEXT NOT NULL,"
    " global_ids TEXT NOT NULL,"
    " po_number TEXT NOT NULL,"
    " handed_over INTEGER NOT NULL,"
    " state INTEGER NOT NULL,"
    " sequence TEXT NOT NULL DEFAULT '',"
    " reason TEXT NOT NULL DEFAULT '',"
    " answered INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS sends_order ON sends(design_file, partner_id);"
    "CREATE INDEX IF NOT EXISTS sends_time ON sends(handed_over);";

constexpr const char* kColumns =
    "SELECT id, design_file, order_id, partner_id, partner_code, catalogs, global_ids,"
    " po_number, handed_over, state, sequence, reason, answered FROM sends";

// Lists are kept one item a line.
std::string JoinLines(const std::vector<std::string>& items) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out += '\n';
    out += items[i];
  }
  return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> items;
  if (text.empty()) return items;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find('\n', start);
    items.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return items;
}

SendState StateOf(int64_t stored) {
  switch (stored) {
    case kAccepted:
      return SendState::Accepted;
    case kRefused:
      return SendState::Refused;
    default:
      return SendState::InDoubt;
  }
}

JournalEntry ReadEntry(const sqlite::Statement& row) {
  JournalEntry entry;
  entry.id = row.ColumnInt(0);
  entry.order.design_file = row.ColumnText(1);
  entry.order.order_id = row.ColumnText(2);
  entry.order.partner_id = row.ColumnText(3);
  entry.order.partner_code = row.ColumnText(4);
  entry.order.catalogs = SplitLines(row.ColumnText(5));
  entry.order.global_ids = SplitLines(row.ColumnText(6));
  entry.order.po_number = row.ColumnText(7);
  entry.order.time = row.ColumnInt(8);
  entry.state = StateOf(row.ColumnInt(9));
  entry.sequence = row.ColumnText(10);
  entry.reason = row.ColumnText(11);
  entry.answered = row.ColumnInt(12);
  return entry;
}

Err ReadAll(sqlite::Statement& statement, std::vector<JournalEntry>* entries) {
  while (true) {
    bool row = false;
    if (Err err = statement.Step(&row)) return err;
    if (!row) return {};
    entries->push_back(ReadEntry(statement));
  }
}

// A LIKE pattern that finds `text` literally ('\' escapes the wildcards).
std::string ContainsPattern(const std::string& text) {
  std::string pattern = "%";
  for (char c : text) {
    if (c == '%' || c == '_' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern + "%";
}

}  // namespace

const char* SendStateText(SendState state) {
  switch (state) {
    case SendState::NotRecorded:
      return "not recorded";
    case SendState::InDoubt:
      return "in doubt";
    case SendState::Accepted:
      return "sent";
    case SendState::Refused:
      return "refused";
  }
  return "";
}

std::string HistoryLine(const JournalEntry& entry) {
  const std::time_t when = static_cast<std::time_t>(entry.order.time);
  std::tm utc{};
  char stamp[32] = "";
  if (gmtime_r(&when, &utc)) std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%SZ", &utc);
  std::string catalogs;
  for (const auto& name : entry.order.catalogs) {
    if (!catalogs.empty()) catalogs += ", ";
    catalogs += name;
  }
  std::string line = std::string(stamp) + "  " + entry.order.partner_code + "  " +
                     entry.order.design_file + "  order " + entry.order.order_id + "  PO " +
                     entry.order.po_number + "  " + catalogs + "  " + SendStateText(entry.state);
  if (entry.state == SendState::Accepted) line += " " + entry.sequence;
  if (entry.state == SendState::Refused) line += ": " + entry.reason;
  return line;
}

bool ParseHistoryDate(const std::string& text, int64_t* seconds) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char sep = 0;
  int used = 0;
  const int fields = std::sscanf(text.c_str(), "%4d-%2d-%2d%n%c%2d:%2d:%2d", &year, &month, &day,
                                 &used, &sep, &hour, &minute, &second);
  const bool date_only = fields == 3 && static_cast<std::size_t>(used) == text.size();
  const bool with_time = fields == 7 && (sep == 'T' || sep == ' ') &&
                         text.size() == static_cast<std::size_t>(used) + 9;
  if (!date_only && !with_time) return false;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
    return false;
  }
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  const std::time_t t = timegm(&tm);
  if (tm.tm_mday != day) return false;  // 31 April and the like roll over
  *seconds = static_cast<int64_t>(t);
  return true;
}

SendJournal::SendJournal(std::string module_folder)
    : path_(JoinPath(module_folder, ModuleName() + "-journal.db")) {}

SendJournal::~SendJournal() = default;

Err SendJournal::Open() {
  return EnsureOpen();
}

Err SendJournal::EnsureOpen() {
  if (db_ && db_->is_open()) return {};
  // Two processes opening a new journal at the same moment can find it between its creation
  // and its switch to the write-ahead log, which SQLite answers as busy at once instead of
  // waiting: the open is tried again for a while before it counts as failed.
  Err err;
  for (int attempt = 0; attempt < 40; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    auto db = std::make_unique<sqlite::Database>();
    if ((err = db->Open(path_))) continue;
    sqlite::Transaction step(*db);
    if ((err = step.Begin()) || (err = db->Exec(kSchema)) || (err = step.Commit())) continue;
    db_ = std::move(db);
    return {};
  }
  return err;
}

Err SendJournal::HandOver(const JournalOrder& order, int64_t* entry_id) {
  *entry_id = 0;
  if (order.design_file.empty() || order.partner_id.empty()) {
    return Err::Raise(kErrGeneral, kSource, "An order needs its design file and partner ID.");
  }
  if (Err err = EnsureOpen()) return err;
  const int64_t when = order.time ? order.time : Env::Default()->Now();
  sqlite::Transaction step(*db_);
  if (Err err = step.Begin()) return err;
  sqlite::Statement insert;
  if (Err err = db_->Prepare(
          "INSERT INTO sends (design_file, order_id, partner_id, partner_code, catalogs,"
          " global_ids, po_number, handed_over, state) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
          &insert)) {
    return err;
  }
  Err err;
  if ((err = insert.Bind(1, order.design_file)) || (err = insert.Bind(2, order.order_id)) ||
      (err = insert.Bind(3, order.partner_id)) || (err = insert.Bind(4, order.partner_code)) ||
      (err = insert.Bind(5, JoinLines(order.catalogs))) ||
      (err = insert.Bind(6, JoinLines(order.global_ids))) ||
      (err = insert.Bind(7, order.po_number)) || (err = insert.Bind(8, when)) ||
      (err = insert.Bind(9, kInDoubt)) || (err = insert.Run())) {
    return err;
  }
  const int64_t id = db_->LastInsertRowId();
  if ((err = step.Commit())) return err;
  *entry_id = id;
  return {};
}

Err SendJournal::RecordAccepted(int64_t entry_id, const std::string& sequence) {
  return Answer(entry_id, SendState::Accepted, sequence, "");
}

Err SendJournal::RecordRefused(int64_t entry_id, const std::string& reason) {
  return Answer(entry_id, SendState::Refused, "", reason);
}

Err SendJournal::Answer(int64_t entry_id, SendState state, const std::string& sequence,
                        const std::string& reason) {
  if (Err err = EnsureOpen()) return err;
  sqlite::Transaction step(*db_);
  if (Err err = step.Begin()) return err;
  sqlite::Statement update;
  if (Err err =
          db_->Prepare("UPDATE sends SET state = ?1, sequence = ?2, reason = ?3, answered = ?4"
                       " WHERE id = ?5 AND state = ?6",
                       &update)) {
    return err;
  }
  Err err;
  if ((err = update.Bind(1, state == SendState::Accepted ? kAccepted : kRefused)) ||
      (err = update.Bind(2, sequence)) || (err = update.Bind(3, reason)) ||
      (err = update.Bind(4, Env::Default()->Now())) || (err = update.Bind(5, entry_id)) ||
      (err = update.Bind(6, kInDoubt)) || (err = update.Run())) {
    return err;
  }
  if (db_->Changes() != 1) {
    return Err::Raise(kErrGeneral, kSource,
                      "Journal entry " + std::to_string(entry_id) + " is not awaiting an answer.");
  }
  return step.Commit();
}

Err SendJournal::OrderState(const std::string& design_file, const std::string& partner_id,
                            SendState* state, std::vector<JournalEntry>* entries) {
  *state = SendState::NotRecorded;
  if (Err err = EnsureOpen()) return err;
  sqlite::Statement select;
  if (Err err = db_->Prepare(
          std::string(kColumns) + " WHERE design_file = ?1 AND partner_id = ?2 ORDER BY id",
          &select)) {
    return err;
  }
  std::vector<JournalEntry> found;
  Err err;
  if ((err = select.Bind(1, design_file)) || (err = select.Bind(2, partner_id)) ||
      (err = ReadAll(select, &found))) {
    return err;
  }
  if (!found.empty()) {
    *state = found.back().state;
    for (const auto& entry : found) {
      if (entry.state == SendState::InDoubt) *state = SendState::InDoubt;
    }
  }
  if (entries) *entries = std::move(found);
  return {};
}

Err SendJournal::History(const HistoryFilter& filter, std::vector<JournalEntry>* entries) {
  entries->clear();
  if (Err err = EnsureOpen()) return err;
  // Every filter is always in the statement; an empty one matches everything.
  std::string sql =
      std::string(kColumns) +
      " WHERE (?1 = '' OR partner_code = ?1 COLLATE NOCASE)"
      " AND handed_over >= ?2"
      " AND (?3 = '' OR design_file LIKE ?4 ESCAPE '\\' OR order_id LIKE ?4 ESCAPE '\\'"
      " OR partner_code LIKE ?4 ESCAPE '\\' OR po_number LIKE ?4 ESCAPE '\\'"
      " OR catalogs LIKE ?4 ESCAPE '\\' OR global_ids LIKE ?4 ESCAPE '\\'"
      " OR sequence LIKE ?4 ESCAPE '\\' OR reason LIKE ?4 ESCAPE '\\')"
      " ORDER BY handed_over DESC, id DESC LIMIT ?5";
  sqlite::Statement select;
  if (Err err = db_->Prepare(sql, &select)) return err;
  Err err;
  if ((err = select.Bind(1, filter.partner_code)) || (err = select.Bind(2, filter.since)) ||
      (err = select.Bind(3, filter.search)) ||
      (err = select.Bind(4, ContainsPattern(filter.search))) ||
      (err = select.Bind(5, static_cast<int64_t>(filter.limit > 0 ? filter.limit : -1)))) {
    return err;
  }
  return ReadAll(select, entries);
}

}  // namespace larkedi
