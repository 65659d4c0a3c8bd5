#pragma once
// Thin RAII layer over SQLite for the machine's stores (registry, metabase).
// A Database is one connection in WAL mode with a busy time-out, so several processes can
// share a store file; it is not thread-safe by itself: callers serialise with their own lock.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::sqlite {

class Statement;

class Database {
 public:
  // Opens (creating) the file; returns nullptr and fills error on failure.
  static std::unique_ptr<Database> open(const std::string& file, std::string& error);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  bool exec(const char* sql);
  Statement prepare(const char* sql);
  std::int64_t lastInsertId() const;
  int changes() const;
  const char* errorMessage() const;
  sqlite3* raw() const { return db_; }

 private:
  explicit Database(sqlite3* db) : db_(db) {}
  sqlite3* db_;
};

// A prepared statement; bind indexes start at 1, column indexes at 0.
class Statement {
 public:
  explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
  Statement(Statement&& other) noexcept : stmt_(other.stmt_) { other.stmt_ = nullptr; }
  Statement& operator=(Statement&&) = delete;
  Statement(const Statement&) = delete;
  ~Statement();

  bool valid() const { return stmt_ != nullptr; }
  Statement& bind(int index, std::int64_t value);
  Statement& bind(int index, std::string_view text);
  Statement& bindBlob(int index, const void* data, std::size_t size);
  Statement& bindNull(int index);

  // Steps once: true while a row is available.
  bool step();
  // Steps to completion; true when the statement ran without error.
  bool run();
  void reset();

  std::int64_t integer(int column) const;
  std::string text(int column) const;
  std::vector<std::uint8_t> blob(int column) const;
  bool isNull(int column) const;

 private:
  sqlite3_stmt* stmt_;
  int last_rc_ = SQLITE_OK;
};

// BEGIN IMMEDIATE ... COMMIT, rolled back unless commit() is called. Immediate, so that two
// writing processes queue on the busy handler instead of deadlocking on a lock upgrade.
class Transaction {
 public:
  explicit Transaction(Database& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  bool active() const { return active_; }
  bool commit();

 private:
  Database& db_;
  bool active_;
};

}  // namespace platform::sqlite
