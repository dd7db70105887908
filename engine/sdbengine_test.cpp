// Tests of the engine's errors, handles, connections and dictionary calls.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "sdbengineTesting.h"

using namespace sdbtest;

TEST(SdbErrors, LastErrorIsPerThreadAndSetLastErrorAnswersItsCode) {
  EXPECT_EQ(5054u, SdbSetLastError(5054, "Update permission not granted on this table."));
  std::thread([] {
    SdbSetLastError(7, "other thread");
    EXPECT_EQ(7u, LastCode());
  }).join();
  uint32_t code = 0;
  char text[600];
  uint16_t len = sizeof text;
  SDB_OK(SdbGetLastError(&code, text, &len));
  EXPECT_EQ(5054u, code);
  EXPECT_STREQ("Update permission not granted on this table.", text);
  EXPECT_EQ(44, len);

  char small[8];
  len = sizeof small;
  EXPECT_EQ(SDB_E_INSUFFICIENT_BUFFER, SdbGetLastError(&code, small, &len));
  EXPECT_STREQ("Update ", small);
  EXPECT_EQ(45, len);  // room needed, terminator included
}

TEST(SdbErrors, BadHandlesWrongKindsAndNullArgumentsAnswerCodes) {
  uint16_t b = 0;
  EXPECT_EQ(SDB_E_INVALID_HANDLE, SdbAtEOF(0, &b));
  EXPECT_EQ(SDB_E_INVALID_HANDLE, SdbGotoTop(0xDEADBEEF));
  EXPECT_NE(LastError().find("not a valid handle"), std::string::npos);
  EXPECT_EQ(SDB_E_NOT_CONNECTED, SdbDisconnect(12345));
  TempDir dir;
  SDBHANDLE conn = 0;
  SDB_OK(SdbConnect(dir.path.c_str(), &conn));
  EXPECT_EQ(SDB_E_WRONG_HANDLE_KIND, SdbGotoTop(conn));
  EXPECT_NE(LastError().find("is a connection"), std::string::npos);
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT, SdbIsConnectionAlive(conn, nullptr));
  uint16_t type = 0;
  SDB_OK(SdbGetHandleType(conn, &type));
  EXPECT_EQ(SDB_HANDLE_CONNECTION, type);
  SDB_OK(SdbDisconnect(conn));
  EXPECT_EQ(SDB_E_NOT_CONNECTED, SdbDisconnect(conn));
  EXPECT_EQ(SDB_E_INVALID_HANDLE, SdbIsConnectionAlive(conn, &b));
}

TEST(SdbConnection, ConnectStringPathsAndServerQuestions) {
  TempDir dir;
  std::string dd = dir.path + "/db.add";
  sdbstore::OpenOptions create;
  create.create = true;
  sdbstore::Database::Open(dd, create);

  SDBHANDLE conn = 0;
  std::string cs = "Data Source=" + dd +
                   ";FIPS=False;ServerType=REMOTE;SQLTimeout=5;"
                   "CommType=TCP_IP;IncrementUserCount=TRUE;Unknown Key=kept;";
  SDB_OK(SdbConnect101(cs.c_str(), &conn));
  char name[256];
  uint16_t len = sizeof name;
  SDB_OK(SdbGetServerName(conn, name, &len));
  EXPECT_EQ(dd, name);
  uint16_t type = 0, alive = 0;
  SDB_OK(SdbGetConnectionType(conn, &type));
  EXPECT_EQ(SDB_CONNECTION_LOCAL, type);
  SDB_OK(SdbIsConnectionAlive(conn, &alive));
  EXPECT_EQ(1, alive);
  SDB_OK(SdbSetSQLTimeout(conn, 3));
  SDB_OK(SdbDisconnect(conn));

  // Backslashes and a trailing separator are read as a local path.
  std::string windowsStyle = dir.path + "\\";
  SDB_OK(SdbConnect(windowsStyle.c_str(), &conn));
  SDB_OK(SdbDisconnect(conn));

  EXPECT_EQ(SDB_E_SERVER_NOT_FOUND,
            SdbConnect101("Data Source=\\\\srv:6262\\data\\db.add;ServerType=REMOTE;", &conn));
  EXPECT_NE(LastError().find("not found"), std::string::npos);
  EXPECT_EQ(0u, conn);
  EXPECT_EQ(SDB_E_CONNECT_STRING, SdbConnect101("Data Source", &conn));
  // A time-out in seconds whose milliseconds overflow an int (caught by the
  // sanitizer build) is taken as the longest one.
  SDB_OK(SdbConnect101(("Data Source=" + dd + ";SQLTimeout=2147483647").c_str(), &conn));
  SDB_OK(SdbDisconnect(conn));
  EXPECT_EQ(SDB_E_FILE_NOT_FOUND, SdbConnect((dir.path + "/missing.add").c_str(), &conn));
}

TEST(SdbConnection, VersionDatesAndServerTime) {
  uint32_t major = 0, minor = 0;
  char letter = 0, desc[128];
  uint16_t len = sizeof desc;
  SDB_OK(SdbGetVersion(&major, &minor, &letter, desc, &len));
  EXPECT_EQ(11u, major);
  EXPECT_EQ(' ', letter);

  char text[16];
  len = sizeof text;
  SDB_OK(SdbConvertJulianToString(2415019, text, &len));
  EXPECT_STREQ("18991230", text);
  double julian = 0;
  SDB_OK(SdbConvertStringToJulian("20240229", 8, &julian));
  EXPECT_EQ(2460370, julian);
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT, SdbConvertStringToJulian("20230229", 8, &julian));

  len = sizeof text;
  SDB_OK(SdbGetDateFormat(text, &len));
  EXPECT_STREQ("MM/DD/CCYY", text);
  SDB_OK(SdbConvertDateToJulian(0, "12/30/1899", 10, &julian));
  EXPECT_EQ(2415019, julian);
  EXPECT_EQ(SDB_E_INVALID_ARGUMENT, SdbSetDateFormat("QQ/XX"));

  TempDir dir;
  SDBHANDLE conn = 0;
  SDB_OK(SdbConnect(dir.path.c_str(), &conn));
  SDB_OK(SdbSetDateFormat60(conn, "DD.MM.CCYY"));
  SDB_OK(SdbConvertDateToJulian(conn, "30.12.1899", 10, &julian));
  EXPECT_EQ(2415019, julian);
  char date[69], time[69];
  uint16_t dateLen = sizeof date, timeLen = sizeof time;
  uint32_t ms = 0;
  SDB_OK(SdbGetServerTime(conn, date, &dateLen, &ms, time, &timeLen));
  SDB_OK(SdbConvertDateToJulian(conn, date, dateLen, &julian));
  EXPECT_GT(julian, 2460000);
  EXPECT_LT(ms, 86400000u);
  SdbDisconnect(conn);
}

class SdbDictionary : public EngineTest {};

TEST_F(SdbDictionary, ListsTablesObjectsAndProperties) {
  SDB_OK(
      Exec("CREATE TABLE CD_Currency (ID INTEGER, SHORT CHAR(3));"
           "CREATE TABLE CD_ExchangeRates (ID INTEGER, RATE DOUBLE);"
           "CREATE INDEX SHORT ON CD_Currency (SHORT);"
           "EXECUTE PROCEDURE sp_ModifyTableProperty('CD_Currency', 213, 'SHORT');"));
  std::vector<std::string> names;
  char name[260];
  uint16_t len = sizeof name;
  SDBHANDLE find = 0;
  uint32_t rc = SdbFindFirstTable(conn, "", name, &len, &find);
  while (rc == 0) {
    names.emplace_back(name, len);
    len = sizeof name;
    rc = SdbFindNextTable(conn, find, name, &len);
  }
  EXPECT_EQ(SDB_E_NO_MORE_TABLES, rc);
  SDB_OK(SdbFindClose(conn, find));
  EXPECT_EQ((std::vector<std::string>{"CD_Currency", "CD_ExchangeRates"}), names);

  char link[260];
  uint16_t linkLen = sizeof link;
  len = sizeof name;
  SDB_OK(SdbFindFirstTable62(conn, "", link, &linkLen, name, &len, &find));
  EXPECT_STREQ("", link);
  EXPECT_STREQ("CD_Currency", name);
  SDB_OK(SdbFindClose(conn, find));

  len = sizeof name;
  SDB_OK(SdbDDGetTableProperty(conn, "CD_Currency", SDB_DD_DEFAULT_INDEX, name, &len));
  EXPECT_STREQ("SHORT", name);
  len = sizeof name;
  EXPECT_EQ(SDB_E_PROPERTY_NOT_SET,
            SdbDDGetTableProperty(conn, "CD_ExchangeRates", SDB_DD_DEFAULT_INDEX, name, &len));
  len = sizeof name;
  EXPECT_EQ(SDB_E_TABLE_NOT_IN_DD,
            SdbDDGetTableProperty(conn, "NoSuchTable", SDB_DD_DEFAULT_INDEX, name, &len));
  uint16_t version = 99, vlen = 2;
  SDB_OK(SdbDDGetDatabaseProperty(conn, SDB_DD_VERSION_MINOR, &version, &vlen));
  len = 0;
  uint32_t userRc =
      SdbDDGetUserProperty(conn, nullptr, SDB_DD_USER_GROUP_MEMBERSHIP, nullptr, &len);
  EXPECT_TRUE(userRc == SDB_E_PROPERTY_NOT_SET || userRc == SDB_E_INSUFFICIENT_BUFFER) << userRc;

  len = sizeof name;
  rc = SdbDDFindFirstObject(conn, SDB_DD_PROCEDURE_OBJECT, nullptr, name, &len, &find);
  EXPECT_EQ(SDB_E_NO_MORE_OBJECTS, rc) << LastError();
  len = sizeof name;
  SDB_OK(SdbDDFindFirstObject(conn, SDB_DD_TABLE_OBJECT, nullptr, name, &len, &find));
  len = sizeof name;
  SDB_OK(SdbDDFindNextObject(conn, find, name, &len));
  len = sizeof name;
  EXPECT_EQ(SDB_E_NO_MORE_OBJECTS, SdbDDFindNextObject(conn, find, name, &len));
  SDB_OK(SdbDDFindClose(conn, find));

  SDB_OK(SdbDDRenameObject(conn, "CD_ExchangeRates", "CD_Rates", SDB_DD_TABLE_OBJECT, 0));
  SDBHANDLE t = Open("CD_Rates");
  SDB_OK(SdbCloseTable(t));
  EXPECT_EQ(SDB_E_TABLE_NOT_IN_DD,
            SdbOpenTable90(conn, "CD_ExchangeRates", nullptr, 0, 1, 1, 2, 0, nullptr, &t));
  uint16_t links = 7;
  SDB_OK(SdbGetNumActiveLinks(conn, &links));
  EXPECT_EQ(0, links);
}

// A renamed table keeps its indexes and its default index: it opens under
// the new name with all of them.
TEST_F(SdbDictionary, ARenamedTableOpensWithItsIndexes) {
  SDB_OK(
      Exec("CREATE TABLE CD_Currency (ID INTEGER, SHORT CHAR(3));"
           "CREATE INDEX SHORT ON CD_Currency (SHORT);"
           "CREATE INDEX BYID ON CD_Currency (ID);"
           "EXECUTE PROCEDURE sp_ModifyTableProperty('CD_Currency', 213, 'SHORT');"
           "INSERT INTO CD_Currency VALUES (2, 'USD'), (1, 'EUR');"));
  SDB_OK(SdbDDRenameObject(conn, "CD_Currency", "CD_Money", SDB_DD_TABLE_OBJECT, 0));
  char name[64];
  uint16_t len = sizeof name;
  SDB_OK(SdbDDGetTableProperty(conn, "CD_Money", SDB_DD_DEFAULT_INDEX, name, &len));
  EXPECT_STREQ("SHORT", name);
  SDBHANDLE t = Open("CD_Money");
  uint16_t count = 0;
  SDB_OK(SdbGetNumIndexes(t, &count));
  EXPECT_EQ(2, count);
  SDBHANDLE index = 0;
  SDB_OK(SdbGetIndexHandle(t, "SHORT", &index));
  SDB_OK(SdbGotoTop(index));
  EXPECT_EQ("EUR", Get(t, "SHORT"));  // in the index's order
  SDB_OK(SdbGetIndexHandle(t, "BYID", &index));
  SDB_OK(SdbCloseTable(t));
}

TEST(SdbFreeTables, FolderConnectionOpensAndListsTableFiles) {
  TempDir dir;
  SDBHANDLE conn = 0;
  SDB_OK(SdbConnect(dir.path.c_str(), &conn));
  SDB_OK(EngineTest::Exec(conn,
                          "CREATE TABLE Cust (NAME CHAR(20));"
                          "INSERT INTO Cust (NAME) VALUES ('Ann');"));
  EXPECT_TRUE(std::filesystem::exists(dir.path + "/Cust.adt"));
  SDBHANDLE t = 0;
  SDB_OK(SdbOpenTable90(conn, "cust", nullptr, SDB_TABLE_ADT, 1, 1, 2, 0, nullptr, &t));
  SDB_OK(SdbGotoTop(t));
  EXPECT_EQ("Ann", EngineTest::Get(t, "NAME"));
  EXPECT_EQ(SDB_E_NOT_SUPPORTED,
            SdbOpenTable90(conn, "cust", nullptr, SDB_TABLE_CDX, 1, 1, 2, 0, nullptr, &t));
  char name[260];
  uint16_t len = sizeof name;
  SDBHANDLE find = 0;
  SDB_OK(SdbFindFirstTable(conn, (dir.path + "\\*.adt").c_str(), name, &len, &find));
  EXPECT_STREQ("Cust.adt", name);
  len = sizeof name;
  EXPECT_EQ(SDB_E_NO_MORE_TABLES, SdbFindNextTable(conn, find, name, &len));
  SdbFindClose(conn, find);
  len = sizeof name;
  EXPECT_EQ(SDB_E_NOT_SUPPORTED,
            SdbDDGetTableProperty(conn, "Cust", SDB_DD_DEFAULT_INDEX, name, &len));
  SDBHANDLE stmt = 0, cursor = 0;
  SDB_OK(SdbCreateSQLStatement(conn, &stmt));
  SDB_OK(SdbExecuteSQLDirectW(stmt, u"SELECT NAME FROM Cust", &cursor));
  SDB_OK(SdbGotoTop(cursor));
  EXPECT_EQ("Ann", EngineTest::Get(cursor, "NAME"));
  SDB_OK(SdbDisconnect(conn));
  EXPECT_EQ(SDB_E_INVALID_HANDLE, SdbGotoTop(t));  // closed with its connection
  EXPECT_EQ(SDB_E_INVALID_HANDLE, SdbGotoTop(cursor));
  EXPECT_EQ(SDB_E_STATEMENT_CLOSED, SdbCloseSQLStatement(stmt));
}

TEST_F(SdbDictionary, UnknownTableAnswers5132AndFolderRetryOpensFreeTable) {
  SDBHANDLE t = 0;
  EXPECT_EQ(SDB_E_TABLE_NOT_IN_DD,
            SdbOpenTable90(conn, "Nowhere", nullptr, 0, 1, 1, 2, 0, nullptr, &t));
  EXPECT_NE(LastError().find("Nowhere"), std::string::npos);
  SDBHANDLE folder = 0;
  SDB_OK(SdbConnect(dir.path.c_str(), &folder));
  SDB_OK(Exec(folder, "CREATE TABLE Loose (N INTEGER);"));
  SdbDisconnect(folder);
  std::string path = dir.path + "\\Loose";
  SDB_OK(SdbOpenTable90(conn, path.c_str(), nullptr, 3, 1, 1, 2, 0, nullptr, &t));
  uint16_t fields = 0;
  SDB_OK(SdbGetNumFields(t, &fields));
  EXPECT_EQ(1, fields);
}

TEST_F(SdbDictionary, UsersGroupsAndRights) {
  SDB_OK(
      Exec("CREATE TABLE R (A INTEGER, B CHAR(5));"
           "EXECUTE PROCEDURE sp_CreateUser('clerk', 'secret');"
           "EXECUTE PROCEDURE sp_CreateGroup('staff');"
           "EXECUTE PROCEDURE sp_AddUserToGroup('clerk', 'staff');"
           "GRANT SELECT, INSERT ON R TO staff;"));
  SDBHANDLE c = 0;
  std::string bad = "Data Source=" + dd + ";User ID=clerk;Password=\"wrong\";";
  EXPECT_EQ(SDB_E_PERMISSION, SdbConnect101(bad.c_str(), &c));
  std::string good = "Data Source=" + dd + ";User ID=clerk;Password=\"secret\";";
  SDB_OK(SdbConnect101(good.c_str(), &c));

  char groups[64];
  uint16_t len = 0;
  EXPECT_EQ(SDB_E_INSUFFICIENT_BUFFER,
            SdbDDGetUserProperty(c, nullptr, SDB_DD_USER_GROUP_MEMBERSHIP, nullptr, &len));
  EXPECT_EQ(6, len);  // "staff" and its terminator
  SDB_OK(SdbDDGetUserProperty(c, nullptr, SDB_DD_USER_GROUP_MEMBERSHIP, groups, &len));
  EXPECT_STREQ("staff", groups);

  SDBHANDLE t = 0;
  SDB_OK(SdbOpenTable90(c, "R", nullptr, 0, 1, 1, SDB_CHECKRIGHTS, 0, nullptr, &t));
  uint32_t options = 0;
  SDB_OK(SdbGetTableOpenOptions(t, &options));
  EXPECT_EQ(SDB_RIGHT_INSERT, options & (SDB_RIGHT_INSERT | SDB_RIGHT_UPDATE));
  uint8_t perms = 0;
  SDB_OK(SdbGetColumnPermissions(t, "B", &perms));
  EXPECT_EQ(SDB_PERMISSION_READ | SDB_PERMISSION_INSERT, perms);
  SDB_OK(SdbAppendRecord(t));
  SDB_OK(Set(t, "A", "1"));
  SDB_OK(SdbWriteRecord(t));
  EXPECT_EQ(SDB_E_PERMISSION, Set(t, "A", "2"));  // no update right
  EXPECT_EQ(SDB_E_PERMISSION, SdbDeleteRecord(t));

  SDBHANDLE free = 0;
  SDB_OK(SdbOpenTable90(c, "R", nullptr, 0, 1, 1, SDB_IGNORERIGHTS, 0, nullptr, &free));
  SDB_OK(SdbGetTableOpenOptions(free, &options));
  EXPECT_EQ(SDB_RIGHT_INSERT | SDB_RIGHT_UPDATE, options & (SDB_RIGHT_INSERT | SDB_RIGHT_UPDATE));
  SDB_OK(SdbDisconnect(c));
}

TEST(SdbConnection, AnEmptyDictionaryFileIsRefusedAndLeftAlone) {
  TempDir dir;
  std::string dd = dir.path + "/db.add";
  std::ofstream(dd).close();  // a truncated copy: zero bytes
  SDBHANDLE conn = 0;
  EXPECT_EQ(5030u, SdbConnect(dd.c_str(), &conn));
  EXPECT_NE(LastError().find("is empty"), std::string::npos) << LastError();
  EXPECT_EQ(0u, conn);
  EXPECT_EQ(0u, std::filesystem::file_size(dd));
  EXPECT_EQ(5030u, SdbConnect101(("Data Source=" + dd + ";").c_str(), &conn));
  EXPECT_EQ(0u, std::filesystem::file_size(dd));
  // Creating a dictionary (sdbsql --create) may still start from the file.
  sdbstore::OpenOptions create;
  create.create = true;
  sdbstore::Database::Open(dd, create);
  SDB_OK(SdbConnect(dd.c_str(), &conn));
  SDB_OK(SdbDisconnect(conn));
}

// In a child process: the dictionary `dd` in `folder`, once the user may no
// longer write either, still reads, and every write answers 5046.
[[noreturn]] static void CheckReadOnlyDictionary(const std::string& folder, const std::string& dd) {
  ::chmod(dd.c_str(), 0444);
  ::chmod(folder.c_str(), 0555);
  if (::geteuid() == 0 && ::setuid(65534) != 0) _exit(3);
  SDBHANDLE conn = 0, t = 0;
  if (SdbConnect(dd.c_str(), &conn)) {
    std::fprintf(stderr, "connect: %s\n", LastError().c_str());
    _exit(1);
  }
  if (SdbOpenTable90(conn, "T", nullptr, 0, 1, 1, 2, 0, nullptr, &t) || SdbGotoTop(t) ||
      EngineTest::Get(t, "A") != "7") {
    std::fprintf(stderr, "read: %s\n", LastError().c_str());
    _exit(1);
  }
  uint32_t rc = SdbAppendRecord(t);
  if (!rc) rc = EngineTest::Set(t, "A", "8");
  if (!rc) rc = SdbWriteRecord(t);
  std::string text = LastError();
  if (rc != SDB_E_READ_ONLY || text.find("can only be read") == std::string::npos) {
    std::fprintf(stderr, "write: %u %s\n", rc, text.c_str());
    _exit(1);
  }
  if (EngineTest::Exec(conn, "UPDATE T SET A = 9") != SDB_E_READ_ONLY) _exit(1);
  std::fprintf(stderr, "read-only as expected\n");
  _exit(0);
}

TEST(SdbConnection, ADictionaryThatMayOnlyBeReadIsOpenedReadOnly) {
  TempDir dir;
  std::string dd = dir.path + "/db.add";
  {
    sdbstore::OpenOptions create;
    create.create = true;
    sdbstore::Database::Open(dd, create);
    SDBHANDLE conn = 0;
    SDB_OK(SdbConnect(dd.c_str(), &conn));
    SDB_OK(EngineTest::Exec(conn, "CREATE TABLE T (A INTEGER); INSERT INTO T VALUES (7);"));
    SDB_OK(SdbDisconnect(conn));
  }
  // The user loses the right to write the file and its folder; root, whom
  // permissions do not stop, becomes an unprivileged user for the check (in
  // the child only).
  EXPECT_EXIT(CheckReadOnlyDictionary(dir.path, dd), ::testing::ExitedWithCode(0),
              "read-only as expected");
}

TEST(SdbErrors, ATextOfAFailedStatementOnAWideTableFitsTheCallersRoom) {
  TempDir dir;
  std::string dd = dir.path + "/db.add";
  sdbstore::OpenOptions create;
  create.create = true;
  sdbstore::Database::Open(dd, create);
  SDBHANDLE conn = 0;
  SDB_OK(SdbConnect(dd.c_str(), &conn));
  std::string columns, values, index;
  for (int i = 1; i <= 25; ++i) {
    std::string name = "ARatherLongColumnName" + std::to_string(i);
    columns += (i > 1 ? ", " : "") + name + " CHAR(20)";
    index += (i > 1 ? ", " : "") + name;
    values += (i > 1 ? ", " : "") + std::string("'value number ") + std::to_string(i) + "'";
  }
  SDB_OK(EngineTest::Exec(conn, "CREATE TABLE W (" + columns +
                                    "); CREATE UNIQUE INDEX ALLCOLS ON W (" + index +
                                    "); INSERT INTO W VALUES (" + values + ");"));
  EXPECT_EQ(SDB_E_SQL, EngineTest::Exec(conn, "INSERT INTO W VALUES (" + values + ")"));
  char text[600];
  uint16_t len = sizeof text;
  uint32_t code = 0;
  EXPECT_EQ(0u, SdbGetLastError(&code, text, &len)) << len;
  EXPECT_NE(std::string(text).find("NativeError = 19;"), std::string::npos) << text;
  // The same through a table write, whose text names index and records.
  SDBHANDLE t = 0;
  SDB_OK(SdbOpenTable90(conn, "W", nullptr, 0, 1, 1, 2, 0, nullptr, &t));
  SDB_OK(SdbAppendRecord(t));
  for (int i = 1; i <= 25; ++i)
    SDB_OK(EngineTest::Set(t, ("ARatherLongColumnName" + std::to_string(i)).c_str(),
                           "value number " + std::to_string(i)));
  EXPECT_EQ(SDB_E_SQL, SdbWriteRecord(t));
  len = sizeof text;
  EXPECT_EQ(0u, SdbGetLastError(&code, text, &len)) << len;
  EXPECT_NE(std::string(text).find("holds the key in record 1"), std::string::npos) << text;
  SDB_OK(SdbDisconnect(conn));
}
