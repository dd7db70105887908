// The connection string and data source of TSdbConnection, and the
// encryption options.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "sdbcnnct.h"
#include "sdbtesting.h"

namespace {

TEST(ConnectString, OnlyAPathGivesTheDataSourceAndTheFipsPiece) {
  TSdbConnection con;
  con.SetConnectPath("/data/tables");
  EXPECT_EQ("Data Source=/data/tables;FIPS=False;", con.ConnectString());
}

TEST(ConnectString, EveryPieceInItsOrder) {
  TSdbConnection con;
  con.SetConnectPath("/data/db/db.add");
  con.SetUsername("adm");
  con.SetPassword("x;y");
  auto& enc = con.EncryptionOptions();
  enc.SetFIPSMode(true);
  enc.SetDataDictionaryPassword("dd");
  enc.SetDataEncryptionType(etSdbAES256);
  enc.SetTLSCertificate("/etc/cert.pem");
  enc.SetTLSCommonName("host");
  enc.SetTLSCipherSuite({tlsRC4MD5, tlsAES128SHA, tlsAES256SHA});
  con.SetCommunicationType(ctSdbTCPIP);
  con.SetCompression(ccSdbCompressInternet);
  con.SetSQLTimeout(30);
  con.SetMiddleTierConnection(true);
  con.SetStoredProcedureConnection(true);
  con.SetSdbServerTypes({stSDB_AIS, stSDB_REMOTE, stSDB_LOCAL});
  con.SetDateFormat("CCYY-MM-DD");
  con.SetExtraConnectString("Custom=1");
  EXPECT_EQ(
      "Data Source=/data/db/db.add;User ID=adm;Password=\"x;y\";FIPS=True;DDPassword=dd;"
      "EncryptionType=AES256;TLSCertificate=/etc/cert.pem;TLSCommonName=host;"
      "TLSCiphers=AES128-SHA:AES256-SHA:RC4-MD5;CommType=TCP_IP;Compression=INTERNET;"
      "SQLTimeout=30;IncrementUserCount=TRUE;StoredProcedureConnection=TRUE;"
      "ServerType=LOCAL|REMOTE|INTERNET;DateFormat=CCYY-MM-DD;Custom=1",
      con.ConnectString());
}

TEST(ConnectString, EachEnumeratedValueHasItsText) {
  TSdbConnection con;
  con.SetConnectPath("p");
  const std::pair<TSdbCommunicationType, const char*> comm[] = {{ctSdbUDPIP, "CommType=UDP_IP;"},
                                                                {ctSdbIPX, "CommType=IPX;"},
                                                                {ctSdbTCPIP, "CommType=TCP_IP;"},
                                                                {ctSdbTLS, "CommType=TLS;"}};
  for (auto& [value, text] : comm) {
    con.SetCommunicationType(value);
    EXPECT_EQ(std::string("Data Source=p;FIPS=False;") + text, con.ConnectString());
  }
  con.SetCommunicationType(ctSdbDefault);
  const std::pair<TSdbCompressionTypes, const char*> compression[] = {
      {ccSdbCompressInternet, "Compression=INTERNET;"},
      {ccSdbCompressAlways, "Compression=ALWAYS;"},
      {ccSdbCompressNever, "Compression=NEVER;"}};
  for (auto& [value, text] : compression) {
    con.SetCompression(value);
    EXPECT_EQ(std::string("Data Source=p;FIPS=False;") + text, con.ConnectString());
  }
  con.SetCompression(ccSdbCompressionNotSet);
  const std::pair<TSdbEncryptionType, const char*> encryption[] = {
      {etSdbAES128, "EncryptionType=AES128;"},
      {etSdbAES256, "EncryptionType=AES256;"},
      {etSdbRC4, "EncryptionType=RC4;"}};
  for (auto& [value, text] : encryption) {
    con.EncryptionOptions().SetDataEncryptionType(value);
    EXPECT_EQ(std::string("Data Source=p;FIPS=False;") + text, con.ConnectString());
  }
  con.EncryptionOptions().SetDataEncryptionType(etSdbDefault);
  con.EncryptionOptions().SetTLSCipherSuite({tlsAES256SHA});
  EXPECT_EQ("Data Source=p;FIPS=False;TLSCiphers=AES256-SHA;", con.ConnectString());
}

TEST(ConnectString, UserAndPasswordOnlyForADictionaryWithAUser) {
  TSdbConnection con;
  con.SetConnectPath("/data/tables");
  con.SetUsername("adm");
  con.SetPassword("secret");
  EXPECT_EQ("Data Source=/data/tables;FIPS=False;", con.ConnectString());
  con.SetConnectPath("/data/db.ADD");
  EXPECT_EQ("Data Source=/data/db.ADD;User ID=adm;Password=\"secret\";FIPS=False;",
            con.ConnectString());
  con.SetPassword("");
  EXPECT_EQ("Data Source=/data/db.ADD;User ID=adm;FIPS=False;", con.ConnectString());
  con.SetUsername("");
  con.SetPassword("secret");  // a password without a user is not sent
  EXPECT_EQ("Data Source=/data/db.ADD;FIPS=False;", con.ConnectString());
}

TEST(ConnectString, ASharePathOfARemoteServerGetsThePort) {
  TSdbConnection con;
  con.SetSdbServerTypes({stSDB_REMOTE});
  con.SetConnectPath("\\\\srv\\data\\db.add");
  EXPECT_EQ("\\\\srv:6262\\data\\db.add", con.GetConnectionWithDDPath());
  EXPECT_EQ("Data Source=\\\\srv:6262\\data\\db.add;FIPS=False;ServerType=REMOTE;",
            con.ConnectString());
  con.SetConnectPath("\\\\srv:2001\\data\\db.add");  // a port of its own gets one more
  EXPECT_EQ("\\\\srv:2001:6262\\data\\db.add", con.GetConnectionWithDDPath());
  con.SetConnectPath("\\\\srv");  // only a server: the port at the end
  EXPECT_EQ("\\\\srv:6262", con.GetConnectionWithDDPath());
  con.SetSdbServerTypes({stSDB_LOCAL});
  con.SetConnectPath("\\\\srv\\data\\db.add");
  EXPECT_EQ("\\\\srv\\data\\db.add", con.GetConnectionWithDDPath());
  con.SetSdbServerTypes({stSDB_REMOTE});
  con.SetConnectPath("/srv/data/db.add");
  EXPECT_EQ("/srv/data/db.add", con.GetConnectionWithDDPath());
}

TEST(ConnectString, TheDataSourceIsCutTo255Characters) {
  TSdbConnection con;
  std::string longPath = "/" + std::string(300, 'a');
  con.SetConnectPath(longPath);
  EXPECT_EQ("Data Source=" + longPath.substr(0, 255) + ";FIPS=False;", con.ConnectString());
  // Characters, not bytes: a two-byte character is never split.
  std::string wide = "/";
  for (int i = 0; i < 300; ++i) wide += "\xC3\xA9";  // é
  con.SetConnectPath(wide);
  std::string expected = "/";
  for (int i = 0; i < 254; ++i) expected += "\xC3\xA9";
  EXPECT_EQ("Data Source=" + expected + ";FIPS=False;", con.ConnectString());
}

TEST(ConnectString, AValueThatWouldChangeTheStructureIsRefusedByName) {
  auto refused = [](TSdbConnection& con, const std::string& text) {
    try {
      con.ConnectString();
      ADD_FAILURE() << "accepted: " << text;
    } catch (const SdbConnectionError& e) {
      EXPECT_EQ(text, e.Message());
    }
  };
  TSdbConnection con;
  con.SetConnectPath("/data/db.add");
  con.SetUsername("adm;ServerType=LOCAL");
  refused(con, "TSdbConnection.Username must not contain \";\"");
  con.SetUsername("adm");
  con.SetPassword("x\";ServerType=LOCAL");
  refused(con, "TSdbConnection.Password must not contain a double quote");
  con.SetPassword("x");
  con.EncryptionOptions().SetDataDictionaryPassword("a;b");
  refused(con, "TSdbEncryptionOptions.DataDictionaryPassword must not contain \";\"");
  con.EncryptionOptions().SetDataDictionaryPassword("");
  con.EncryptionOptions().SetTLSCertificate("a;b");
  refused(con, "TSdbEncryptionOptions.TLSCertificate must not contain \";\"");
  con.EncryptionOptions().SetTLSCertificate("");
  con.EncryptionOptions().SetTLSCommonName("a;b");
  refused(con, "TSdbEncryptionOptions.TLSCommonName must not contain \";\"");
  con.EncryptionOptions().SetTLSCommonName("");
  con.SetConnectPath("/da;ta/db.add");
  refused(con, "TSdbConnection.ConnectPath must not contain \";\"");
  con.SetConnectPath("/data/db.add");
  con.SetExtraConnectString("ServerType=LOCAL;");  // raw on purpose
  EXPECT_EQ("Data Source=/data/db.add;User ID=adm;Password=\"x\";FIPS=False;ServerType=LOCAL;",
            con.ConnectString());
}

TEST(ConnectString, TheAliasGivesPathAndTableType) {
  sdbtesting::TempFolder folder;
  {
    std::ofstream ini(folder.Path() + "sdb.ini");
    ini << "[Databases]\nlegacy=/srv/tables;n\n";
  }
  setenv("sdbini_path", folder.Path().c_str(), 1);
  TSdbConnection con;
  con.SetAliasName("LEGACY");
  EXPECT_EQ("/srv/tables", con.GetConnectionWithDDPath());
  EXPECT_EQ("Data Source=/srv/tables;FIPS=False;TableType=NTX;", con.ConnectString());
  unsetenv("sdbini_path");
}

TEST(EncryptionOptions, RefusedWhileConnectedAndKeptUnchanged) {
  sdbtesting::TempFolder folder;
  sdbtesting::CreateDictionary(folder.Path() + "db.add");
  TSdbConnection con;
  con.SetConnectPath(folder.Path() + "db.add");
  con.SetLoginPrompt(false);
  con.Connect();
  auto& enc = con.EncryptionOptions();
  const std::string text = "Connection cannot be active when changing property.";
  auto expectRefused = [&](auto&& change) {
    try {
      change();
      ADD_FAILURE() << "changed while connected";
    } catch (const SdbConnectionError& e) {
      EXPECT_EQ(text, e.Message());
    }
  };
  expectRefused([&] { enc.SetDataDictionaryPassword("x"); });
  expectRefused([&] { enc.SetTLSCertificate("x"); });
  expectRefused([&] { enc.SetTLSCipherSuite({tlsRC4MD5}); });
  expectRefused([&] { enc.SetTLSCommonName("x"); });
  expectRefused([&] { enc.SetFIPSMode(true); });
  expectRefused([&] { enc.SetDataEncryptionType(etSdbRC4); });
  EXPECT_EQ("", enc.DataDictionaryPassword());
  EXPECT_TRUE(enc.TLSCipherSuite().empty());
  EXPECT_FALSE(enc.FIPSMode());
  EXPECT_EQ(etSdbDefault, enc.DataEncryptionType());
  con.Disconnect();
  enc.SetFIPSMode(true);
  EXPECT_TRUE(enc.FIPSMode());
}

}  // namespace
