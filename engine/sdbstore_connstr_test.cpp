// Connection strings: every key parsed and kept, malformed ones refused.
#include <gtest/gtest.h>

#include "sdbstore.h"

using namespace sdbstore;

namespace {
std::string Fault(std::string_view text) {
  try {
    ParseConnectString(text);
  } catch (const StoreError& e) {
    EXPECT_EQ(e.code(), kErrConnectString);
    return e.what();
  }
  return {};
}
}  // namespace

TEST(SdbStoreConnect, ParsesEveryKnownKeyAndKeepsTheRest) {
  ConnectString cs = ParseConnectString(
      "Data Source=\\\\srv:6262\\data\\db.add;User ID=adm;Password=\"p;w\"\"x\";FIPS=True;"
      "DDPassword=dd;EncryptionType=AES256;TLSCertificate=c.pem;TLSCommonName=host;"
      "TLSCiphers=AES128-SHA:AES256-SHA:RC4-MD5;CommType=TCP_IP;Compression=INTERNET;SQLTimeout=30;"
      "IncrementUserCount=TRUE;StoredProcedureConnection=TRUE;ServerType=LOCAL|REMOTE;"
      "DateFormat=DD.MM.CCYY;TableType=ADT;Shown Name=x=y;");
  EXPECT_EQ(cs.dataSource, "\\\\srv:6262\\data\\db.add");
  EXPECT_EQ(cs.userId, "adm");
  EXPECT_EQ(cs.password, "p;w\"x");
  EXPECT_TRUE(cs.fips);
  EXPECT_EQ(cs.ddPassword, "dd");
  EXPECT_EQ(cs.encryptionType, "AES256");
  EXPECT_EQ(cs.tlsCertificate, "c.pem");
  EXPECT_EQ(cs.tlsCommonName, "host");
  EXPECT_EQ(cs.tlsCiphers, (std::vector<std::string>{"AES128-SHA", "AES256-SHA", "RC4-MD5"}));
  EXPECT_EQ(cs.commType, "TCP_IP");
  EXPECT_EQ(cs.compression, "INTERNET");
  EXPECT_EQ(cs.sqlTimeout, 30);
  EXPECT_TRUE(cs.incrementUserCount);
  EXPECT_TRUE(cs.storedProcedureConnection);
  EXPECT_TRUE(cs.serverLocal);
  EXPECT_TRUE(cs.serverRemote);
  EXPECT_FALSE(cs.serverInternet);
  EXPECT_EQ(cs.dateFormat, "DD.MM.CCYY");
  EXPECT_EQ(cs.tableType, 3);
  EXPECT_EQ(*cs.Get("shown name"), "x=y");
  EXPECT_EQ(cs.pairs.size(), 18u);
  EXPECT_FALSE(cs.Get("missing"));
}

TEST(SdbStoreConnect, TheShortestFormsAndCaseOfKeys) {
  ConnectString cs = ParseConnectString("data source=/srv/data/db.add;FIPS=False;");
  EXPECT_EQ(cs.dataSource, "/srv/data/db.add");
  EXPECT_FALSE(cs.fips);
  EXPECT_EQ(cs.tableType, 0);
  // The extra connect string is appended without a closing ";".
  cs = ParseConnectString("Data Source=/x;FIPS=False;Custom=1");
  EXPECT_EQ(*cs.Get("Custom"), "1");
  cs = ParseConnectString("Data Source = /x ;; Password=\"\";");
  EXPECT_EQ(cs.dataSource, "/x");
  EXPECT_EQ(cs.password, "");
}

TEST(SdbStoreConnect, RefusesMalformedStrings) {
  EXPECT_NE(Fault("").find("no Data Source"), std::string::npos);
  EXPECT_NE(Fault("FIPS=False;").find("no Data Source"), std::string::npos);
  EXPECT_NE(Fault("Data Source=/x;garbage;").find("\"garbage\""), std::string::npos);
  EXPECT_NE(Fault("Data Source=/x;=value;").find("no key"), std::string::npos);
  EXPECT_NE(Fault("Data Source=/x;Password=\"open;").find("never closed"), std::string::npos);
  EXPECT_NE(Fault("Data Source=/x;Password=\"a\"b;").find("after the quoted value"),
            std::string::npos);
  EXPECT_NE(Fault("Data Source=/x;FIPS=maybe;").find("FIPS"), std::string::npos);
  EXPECT_NE(Fault("Data Source=/x;SQLTimeout=-1;").find("SQLTimeout"), std::string::npos);
  EXPECT_NE(Fault("Data Source=/x;ServerType=LOCAL|;").find("ServerType"), std::string::npos);
  EXPECT_NE(Fault("Data Source=/x;TableType=XYZ;").find("CDX"), std::string::npos);
  EXPECT_NE(Fault("Data Source=/x;CommType=PIGEON;").find("CommType"), std::string::npos);
  EXPECT_NE(Fault("Data Source=/x;TLSCiphers=AES128-SHA:;").find("TLSCiphers"), std::string::npos);
}
