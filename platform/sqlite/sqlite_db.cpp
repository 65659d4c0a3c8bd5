#include "platform/sqlite/sqlite_db.h"

#include <sys/stat.h>

namespace platform::sqlite {

namespace {
// Long enough for a burst of writers from several processes (the registry test has two
// processes writing 1000 values each); short enough that a stuck peer is noticed.
constexpr int kBusyTimeoutMs = 30000;
}  // namespace

std::unique_ptr<Database> Database::open(const std::string& file, std::string& error) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &db,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    error = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // The machine's stores hold its secrets (the reload token): for their owner only. SQLite
  // gives the journal files the mode of the database; those made before are set here too.
  for (const char* suffix : {"", "-wal", "-shm"}) ::chmod((file + suffix).c_str(), S_IRUSR | S_IWUSR);
  std::unique_ptr<Database> result(new Database(db));
  // WAL lets readers go on while one process writes; NORMAL sync is durable enough for a
  // settings store and keeps a burst of small writes fast.
  if (!result->exec("PRAGMA journal_mode=WAL") || !result->exec("PRAGMA synchronous=NORMAL") ||
      !result->exec("PRAGMA foreign_keys=ON")) {
    error = result->errorMessage();
    return nullptr;
  }
  return result;
}

Database::~Database() { sqlite3_close(db_); }

bool Database::exec(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

Statement Database::prepare(const char* sql) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) return Statement(nullptr);
  return Statement(stmt);
}

std::int64_t Database::lastInsertId() const { return sqlite3_last_insert_rowid(db_); }
int Database::changes() const { return sqlite3_changes(db_); }
const char* Database::errorMessage() const { return sqlite3_errmsg(db_); }

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::bind(int index, std::int64_t value) {
  sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

Statement& Statement::bind(int index, std::string_view text) {
  sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::bindBlob(int index, const void* data, std::size_t size) {
  // A zero-length blob must stay a blob, not NULL: an empty REG_BINARY is a value.
  static const char kEmpty = 0;
  sqlite3_bind_blob(stmt_, index, size ? data : &kEmpty, static_cast<int>(size), SQLITE_TRANSIENT);
  return *this;
}

Statement& Statement::bindNull(int index) {
  sqlite3_bind_null(stmt_, index);
  return *this;
}

bool Statement::step() {
  if (!stmt_) return false;
  last_rc_ = sqlite3_step(stmt_);
  return last_rc_ == SQLITE_ROW;
}

bool Statement::run() {
  if (!stmt_) return false;
  do {
    last_rc_ = sqlite3_step(stmt_);
  } while (last_rc_ == SQLITE_ROW);
  return last_rc_ == SQLITE_DONE;
}

void Statement::reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::int64_t Statement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Statement::text(int column) const {
  const auto* p = sqlite3_column_text(stmt_, column);
  int n = sqlite3_column_bytes(stmt_, column);
  return p ? std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string();
}

std::vector<std::uint8_t> Statement::blob(int column) const {
  const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
  int n = sqlite3_column_bytes(stmt_, column);
  return p ? std::vector<std::uint8_t>(p, p + n) : std::vector<std::uint8_t>();
}

bool Statement::isNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Transaction::Transaction(Database& db) : db_(db), active_(db.exec("BEGIN IMMEDIATE")) {}

Transaction::~Transaction() {
  if (active_) db_.exec("ROLLBACK");
}

bool Transaction::commit() {
  if (!active_) return false;
  active_ = false;
  if (db_.exec("COMMIT")) return true;
  db_.exec("ROLLBACK");
  return false;
}

}  // namespace platform::sqlite
