// The sdbsql tool: creating a dictionary from a script, printing rows, failing clearly.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "sdbstore.h"

namespace fs = std::filesystem;

namespace {

struct Result {
  int status = -1;
  std::string out;
};

Result Shell(const std::string& cmd) {
  Result r;
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, p)) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

class SdbsqlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tool = std::string(TESSALY_BINARY_DIR) + "/engine/tools/sdbsql";
    if (!fs::exists(tool)) GTEST_SKIP() << "sdbsql is not built: " << tool;
    char tmpl[] = "/tmp/sdbsql_testXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    dict = dir + "/db.add";
  }
  void TearDown() override {
    if (!dir.empty()) fs::remove_all(dir);
  }
  std::string tool, dir, dict;
};

}  // namespace

TEST_F(SdbsqlTest, CreatesADictionaryFromAScriptAndPrintsRows) {
  std::ofstream(dir + "/setup.sql")
      << "CREATE TABLE CD_Currency (CODE CHAR(3), NAME CICHAR(20), INUSE LOGICAL,\n"
         "  RATE NUMERIC(10,4), SINCE DATE);\n"
         "CREATE UNIQUE INDEX SHORT ON CD_Currency (CODE);\n"
         "INSERT INTO CD_Currency VALUES ('EUR', 'Euro; the one', TRUE, 1.5, "
         "'2024-02-29');\n"
         "INSERT INTO CD_Currency (CODE) VALUES ('USD');\n";
  Result r = Shell(tool + " --create --file " + dir + "/setup.sql " + dict);
  ASSERT_EQ(r.status, 0) << r.out;
  r = Shell(tool + " --header " + dict + " \"SELECT * FROM CD_Currency ORDER BY CODE\"");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "CODE|NAME|INUSE|RATE|SINCE\n"
            "EUR|Euro; the one|T|1.5000|2024-02-29\n"
            "USD||||\n");
  r = Shell("echo \"SELECT count(*) FROM CD_Currency WHERE NAME = 'EURO; THE ONE'\" | " + tool +
            " " + dict);
  EXPECT_EQ(r.out, "1\n");
  // The shell reads what the tool wrote.
  r = Shell("sqlite3 " + dict + " \"SELECT CODE, RATE FROM CD_Currency ORDER BY CODE\"");
  EXPECT_EQ(r.out, "EUR|1.5\nUSD|\n");
}

TEST_F(SdbsqlTest, FailuresExitWithTheEngineText) {
  Result r = Shell(tool + " " + dict + " \"SELECT 1\"");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("does not exist"), std::string::npos) << r.out;
  r = Shell(tool + " --create " + dict +
            " \"CREATE TABLE T (A INTEGER)\" \"INSERT INTO T VALUES (1)\" "
            "\"INSERT INTO Nope VALUES (1)\" \"INSERT INTO T VALUES (2)\"");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("statement 3 failed"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("NativeError = 1;"), std::string::npos) << r.out;
  r = Shell(tool + " " + dict + " \"SELECT A FROM T\"");
  EXPECT_EQ(r.out, "1\n") << "statements before the failure stay done, none after it run";
  r = Shell(tool);
  EXPECT_EQ(r.status, 2);
}
