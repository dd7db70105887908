// Test support for the sdbengine tests: a temporary folder with a data
// dictionary, a connection to it, and short forms of common calls.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "sdbengine.h"
#include "sdbstore.h"

namespace sdbtest {

/// The calling thread's last engine error as "code: text".
inline std::string LastError() {
  uint32_t code = 0;
  char text[600];
  uint16_t len = sizeof text;
  SdbGetLastError(&code, text, &len);
  return std::to_string(code) + ": " + text;
}

inline uint32_t LastCode() {
  uint32_t code = 0;
  SdbGetLastError(&code, nullptr, nullptr);
  return code;
}

#define SDB_OK(call) ASSERT_EQ(0u, (call)) << sdbtest::LastError()
#define SDB_EXPECT_OK(call) EXPECT_EQ(0u, (call)) << sdbtest::LastError()

inline std::u16string U16(std::string_view s) {
  return sdbstore::Utf8ToUtf16(s);
}

/// A folder that exists for the life of the object.
struct TempDir {
  std::string path;
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "sdbengineXXXXXX").string();
    path = mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

/// A fresh dictionary db.add in a temporary folder, connected.
class EngineTest : public ::testing::Test {
 public:
  TempDir dir;
  std::string dd;
  SDBHANDLE conn = 0;

  void SetUp() override {
    dd = dir.path + "/db.add";
    sdbstore::OpenOptions create;
    create.create = true;
    sdbstore::Database::Open(dd, create);
    SDB_OK(SdbConnect(dd.c_str(), &conn));
  }
  void TearDown() override {
    if (conn) SdbDisconnect(conn);
  }

  /// Runs SQL (several statements allowed) on a connection; answers the code.
  static uint32_t Exec(SDBHANDLE c, const std::string& sql) {
    SDBHANDLE stmt = 0;
    uint32_t rc = SdbCreateSQLStatement(c, &stmt);
    if (rc) return rc;
    rc = SdbExecuteSQLDirectW(stmt, U16(sql).c_str(), nullptr);
    uint32_t code = 0;
    std::string text;
    if (rc) {
      code = rc;
      text = LastError();
    }
    SdbCloseSQLStatement(stmt);
    if (rc) SdbSetLastError(code, text.c_str());
    return rc;
  }
  uint32_t Exec(const std::string& sql) { return Exec(conn, sql); }

  SDBHANDLE Open(const std::string& table, uint32_t options = 0, SDBHANDLE c = 0) {
    SDBHANDLE h = 0;
    uint32_t rc =
        SdbOpenTable90(c ? c : conn, table.c_str(), nullptr, 0, 1, 1, 2, options, nullptr, &h);
    EXPECT_EQ(0u, rc) << LastError();
    return h;
  }

  /// A field as text, trailing blanks removed ("<error>" on failure).
  static std::string Get(SDBHANDLE h, const char* field) {
    char buf[4096];
    uint32_t len = sizeof buf;
    if (SdbGetField(h, field, buf, &len, SDB_RTRIM)) return "<error " + LastError() + ">";
    return std::string(buf, len);
  }

  static uint32_t Set(SDBHANDLE h, const char* field, const std::string& value) {
    return SdbSetField(h, field, value.c_str(), static_cast<uint32_t>(value.size()));
  }

  static uint32_t RecNo(SDBHANDLE h) {
    uint32_t n = 0;
    EXPECT_EQ(0u, SdbGetRecordNum(h, SDB_IGNOREFILTERS, &n)) << LastError();
    return n;
  }

  static bool AtEof(SDBHANDLE h) {
    uint16_t b = 0;
    EXPECT_EQ(0u, SdbAtEOF(h, &b));
    return b;
  }
  static bool AtBof(SDBHANDLE h) {
    uint16_t b = 0;
    EXPECT_EQ(0u, SdbAtBOF(h, &b));
    return b;
  }
  static uint32_t Count(SDBHANDLE h) {
    uint32_t n = 0;
    EXPECT_EQ(0u, SdbGetRecordCount(h, SDB_IGNOREFILTERS, &n)) << LastError();
    return n;
  }
};

}  // namespace sdbtest
