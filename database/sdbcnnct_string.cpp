// The connection string, the data source path, the encryption options and
// the alias file sdb.ini.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "inifile.h"
#include "sdbcnnct.h"
#include "sysutils.h"

// ---- encryption options ----------------------------------------------------------

void TSdbEncryptionOptions::CheckNotConnected() const {
  if (FConnection && FConnection->IsConnected())
    throw SdbConnectionError("Connection cannot be active when changing property.");
}

void TSdbEncryptionOptions::Assign(const TPersistent& source) {
  auto* other = dynamic_cast<const TSdbEncryptionOptions*>(&source);
  if (!other) {
    TPersistent::Assign(source);
    return;
  }
  CheckNotConnected();
  FDDPassword = other->FDDPassword;
  FCertificate = other->FCertificate;
  FCipherSuites = other->FCipherSuites;
  FCommonName = other->FCommonName;
  FFIPSMode = other->FFIPSMode;
  FDataEncryptionType = other->FDataEncryptionType;
}

void TSdbEncryptionOptions::SetDataDictionaryPassword(const std::string& value) {
  CheckNotConnected();
  FDDPassword = value;
}

void TSdbEncryptionOptions::SetTLSCertificate(const std::string& value) {
  CheckNotConnected();
  FCertificate = value;
}

void TSdbEncryptionOptions::SetTLSCipherSuite(const TSdbTLSCipherSuites& value) {
  CheckNotConnected();
  FCipherSuites = value;
}

void TSdbEncryptionOptions::SetTLSCommonName(const std::string& value) {
  CheckNotConnected();
  FCommonName = value;
}

void TSdbEncryptionOptions::SetFIPSMode(bool value) {
  CheckNotConnected();
  FFIPSMode = value;
}

void TSdbEncryptionOptions::SetDataEncryptionType(TSdbEncryptionType value) {
  CheckNotConnected();
  FDataEncryptionType = value;
}

// ---- data source and connection string ------------------------------------------------

namespace {

// The first `count` characters of UTF-8 text (a character is never split).
std::string FirstCharacters(const std::string& text, size_t count) {
  size_t i = 0;
  for (size_t chars = 0; i < text.size() && chars < count; ++chars) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  }
  return text.substr(0, i);
}

}  // namespace

std::string TSdbConnection::GetConnectionWithDDPath() {
  if (FConnectString.empty()) return mstrAliasPath;
  std::string path = FConnectString;
  if (FSdbServerTypes.count(stSDB_REMOTE) && path.rfind("\\\\", 0) == 0) {
    // The server's port goes right after the server name; a share path that
    // names only a server gets it at the end.
    size_t backslash = path.find('\\', 2);
    if (backslash == std::string::npos)
      path += ":6262";
    else
      path.insert(backslash, ":6262");
  }
  return path;
}

void TSdbConnection::CheckStructuralValue(const std::string& value, const char* property,
                                          bool quoted) const {
  // Values are not escaped (peers and stored settings rely on the plain
  // form), so one that would change the string's structure is refused: a
  // ";" would end the piece early and start a key of the value's choosing,
  // a double quote would end the quoted password.
  if (!quoted && value.find(';') != std::string::npos)
    throw SdbConnectionError(std::string(property) + " must not contain \";\"");
  if (quoted && value.find('"') != std::string::npos)
    throw SdbConnectionError(std::string(property) + " must not contain a double quote");
}

std::string TSdbConnection::ConnectString() {
  const TSdbEncryptionOptions& enc = *FEncryptionOptions;
  std::string source = FirstCharacters(GetConnectionWithDDPath(), 255);
  CheckStructuralValue(source, "TSdbConnection.ConnectPath", false);
  std::string s = "Data Source=" + source + ";";
  if (FIsDictionaryConn && !FUsername.empty()) {
    CheckStructuralValue(FUsername, "TSdbConnection.Username", false);
    s += "User ID=" + FUsername + ";";
    if (!FPassword.empty()) {
      CheckStructuralValue(FPassword, "TSdbConnection.Password", true);
      s += "Password=\"" + FPassword + "\";";
    }
  }
  s += std::string("FIPS=") + (enc.FIPSMode() ? "True" : "False") + ";";
  if (!enc.DataDictionaryPassword().empty()) {
    CheckStructuralValue(enc.DataDictionaryPassword(),
                         "TSdbEncryptionOptions.DataDictionaryPassword", false);
    s += "DDPassword=" + enc.DataDictionaryPassword() + ";";
  }
  switch (enc.DataEncryptionType()) {
    case etSdbAES128:
      s += "EncryptionType=AES128;";
      break;
    case etSdbAES256:
      s += "EncryptionType=AES256;";
      break;
    case etSdbRC4:
      s += "EncryptionType=RC4;";
      break;
    case etSdbDefault:
      break;
  }
  if (!enc.TLSCertificate().empty()) {
    CheckStructuralValue(enc.TLSCertificate(), "TSdbEncryptionOptions.TLSCertificate", false);
    s += "TLSCertificate=" + enc.TLSCertificate() + ";";
  }
  if (!enc.TLSCommonName().empty()) {
    CheckStructuralValue(enc.TLSCommonName(), "TSdbEncryptionOptions.TLSCommonName", false);
    s += "TLSCommonName=" + enc.TLSCommonName() + ";";
  }
  if (!enc.TLSCipherSuite().empty()) {
    std::string ciphers;
    auto add = [&](TSdbTLSCipherSuite suite, const char* name) {
      if (!enc.TLSCipherSuite().count(suite)) return;
      if (!ciphers.empty()) ciphers += ":";
      ciphers += name;
    };
    add(tlsAES128SHA, "AES128-SHA");
    add(tlsAES256SHA, "AES256-SHA");
    add(tlsRC4MD5, "RC4-MD5");
    s += "TLSCiphers=" + ciphers + ";";
  }
  switch (FSdbCommunicationType) {
    case ctSdbUDPIP:
      s += "CommType=UDP_IP;";
      break;
    case ctSdbIPX:
      s += "CommType=IPX;";
      break;
    case ctSdbTCPIP:
      s += "CommType=TCP_IP;";
      break;
    case ctSdbTLS:
      s += "CommType=TLS;";
      break;
    case ctSdbDefault:
      break;
  }
  switch (FSdbCompression) {
    case ccSdbCompressInternet:
      s += "Compression=INTERNET;";
      break;
    case ccSdbCompressAlways:
      s += "Compression=ALWAYS;";
      break;
    case ccSdbCompressNever:
      s += "Compression=NEVER;";
      break;
    case ccSdbCompressionNotSet:
      break;
  }
  if (FSQLTimeout != 0) s += "SQLTimeout=" + std::to_string(FSQLTimeout) + ";";
  if (FMiddleTierConn) s += "IncrementUserCount=TRUE;";
  if (FStoredProcConn) s += "StoredProcedureConnection=TRUE;";
  if (!FSdbServerTypes.empty()) {
    std::string types;
    auto add = [&](TSdbServerType type, const char* name) {
      if (!FSdbServerTypes.count(type)) return;
      if (!types.empty()) types += "|";
      types += name;
    };
    add(stSDB_LOCAL, "LOCAL");
    add(stSDB_REMOTE, "REMOTE");
    add(stSDB_AIS, "INTERNET");
    s += "ServerType=" + types + ";";
  }
  if (!FDateFormat.empty()) {
    CheckStructuralValue(FDateFormat, "TSdbConnection.DateFormat", false);
    s += "DateFormat=" + FDateFormat + ";";
  }
  switch (meAliasTableType) {
    case ttSdbConnectCDX:
      s += "TableType=CDX;";
      break;
    case ttSdbConnectNTX:
      s += "TableType=NTX;";
      break;
    case ttSdbConnectADT:
      s += "TableType=ADT;";
      break;
    case ttSdbConnectVFP:
      s += "TableType=VFP;";
      break;
    case ttSdbConnectUnspecified:
      break;
  }
  s += FExtraConnectString;  // raw: it exists to add keys
  return s;
}

// ---- the alias file ----------------------------------------------------------------------

std::string& TSdbConnection::ProgramFolder() {
  static std::string folder = [] {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
  }();
  return folder;
}

std::string TSdbConnection::AliasFilePath() {
  namespace fs = std::filesystem;
  std::error_code ec;
  auto found = [&](const std::string& folder) {
    return !folder.empty() && fs::is_regular_file(fs::path(folder) / "sdb.ini", ec);
  };
  if (const char* named = std::getenv("sdbini_path"); named && found(named))
    return (fs::path(named) / "sdb.ini").string();
  std::vector<std::string> folders{ProgramFolder(), fs::current_path(ec).string()};
  if (const char* path = std::getenv("PATH")) {
    std::string list = path;
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find(':', start);
      if (end == std::string::npos) end = list.size();
      if (end > start) folders.push_back(list.substr(start, end - start));
      start = end + 1;
    }
  }
  for (const std::string& folder : folders)
    if (found(folder)) return (fs::path(folder) / "sdb.ini").string();
  return (fs::current_path(ec) / "sdb.ini").string();
}

bool TSdbConnection::ReadAlias(const std::string& alias, std::string& value) {
  inifile::TIniData data;
  if (!inifile::Load(AliasFilePath(), data)) return false;
  std::optional<std::string> found = inifile::Find(data, "Databases", alias);
  if (!found || found->empty()) return false;
  value = *found;
  return true;
}

void TSdbConnection::SplitAliasValue(const std::string& value, std::string& path,
                                     TSdbConnectionTableTypes& type) {
  size_t semicolon = value.find(';');
  path = value.substr(0, semicolon);
  type = ttSdbConnectUnspecified;
  if (semicolon == std::string::npos || semicolon + 1 >= value.size()) return;
  switch (value[semicolon + 1]) {
    case 'N':
    case 'n':
      type = ttSdbConnectNTX;
      break;
    case 'C':
    case 'c':
      type = ttSdbConnectCDX;
      break;
    case 'A':
    case 'a':
      type = ttSdbConnectADT;
      break;
    case 'V':
    case 'v':
      type = ttSdbConnectVFP;
      break;
    default:
      break;
  }
}
