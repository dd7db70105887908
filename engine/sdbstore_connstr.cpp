// The connection string: "Key=Value;" pairs, every key kept, the known ones
// decoded and checked.
#include <charconv>

#include "sdbstore.h"

namespace sdbstore {

namespace {

[[noreturn]] void Bad(const std::string& why) {
  throw StoreError(kErrConnectString, "Invalid connection string: " + why);
}

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return std::string(s);
}

bool Bool(const std::string& key, const std::string& v) {
  if (EqualNoCase(v, "TRUE") || v == "1" || EqualNoCase(v, "YES")) return true;
  if (EqualNoCase(v, "FALSE") || v == "0" || EqualNoCase(v, "NO")) return false;
  Bad("the value of " + key + " must be TRUE or FALSE, not \"" + v + "\".");
}

std::string OneOf(const std::string& key, const std::string& v,
                  std::initializer_list<const char*> allowed) {
  for (const char* a : allowed)
    if (EqualNoCase(v, a)) return a;
  std::string list;
  for (const char* a : allowed) list += (list.empty() ? "" : ", ") + std::string(a);
  Bad("the value of " + key + " must be one of " + list + ", not \"" + v + "\".");
}

}  // namespace

std::optional<std::string> ConnectString::Get(std::string_view key) const {
  for (auto it = pairs.rbegin(); it != pairs.rend(); ++it)
    if (EqualNoCase(it->first, key)) return it->second;
  return std::nullopt;
}

ConnectString ParseConnectString(std::string_view text) {
  ConnectString cs;
  size_t i = 0;
  while (i < text.size()) {
    // Key up to "=".
    size_t eq = text.find('=', i);
    size_t semi = text.find(';', i);
    if (semi != std::string_view::npos && (eq == std::string_view::npos || semi < eq)) {
      std::string stray = Trim(text.substr(i, semi - i));
      if (!stray.empty()) Bad("\"" + stray + "\" has no \"=\" and value.");
      i = semi + 1;  // empty piece (";;")
      continue;
    }
    if (eq == std::string_view::npos) {
      std::string stray = Trim(text.substr(i));
      if (!stray.empty()) Bad("\"" + stray + "\" has no \"=\" and value.");
      break;
    }
    std::string key = Trim(text.substr(i, eq - i));
    if (key.empty()) Bad("a value at position " + std::to_string(eq + 1) + " has no key.");
    size_t v = eq + 1;
    while (v < text.size() && (text[v] == ' ' || text[v] == '\t')) ++v;
    std::string value;
    if (v < text.size() && text[v] == '"') {
      // A quoted value may hold ";"; a doubled quote is one quote.
      size_t k = v + 1;
      bool closed = false;
      while (k < text.size()) {
        if (text[k] == '"') {
          if (k + 1 < text.size() && text[k + 1] == '"') {
            value += '"';
            k += 2;
            continue;
          }
          closed = true;
          ++k;
          break;
        }
        value += text[k++];
      }
      if (!closed) Bad("the quoted value of " + key + " is never closed.");
      while (k < text.size() && (text[k] == ' ' || text[k] == '\t')) ++k;
      if (k < text.size() && text[k] != ';')
        Bad("unexpected text after the quoted value of " + key + ".");
      i = k < text.size() ? k + 1 : k;
    } else {
      size_t end = text.find(';', v);
      if (end == std::string_view::npos) end = text.size();
      value = Trim(text.substr(v, end - v));
      i = end < text.size() ? end + 1 : end;
    }
    cs.pairs.emplace_back(key, value);

    if (EqualNoCase(key, "Data Source")) {
      cs.dataSource = value;
    } else if (EqualNoCase(key, "User ID")) {
      cs.userId = value;
    } else if (EqualNoCase(key, "Password")) {
      cs.password = value;
    } else if (EqualNoCase(key, "DDPassword")) {
      cs.ddPassword = value;
    } else if (EqualNoCase(key, "FIPS")) {
      cs.fips = Bool(key, value);
    } else if (EqualNoCase(key, "EncryptionType")) {
      cs.encryptionType = OneOf(key, value, {"AES128", "AES256", "RC4"});
    } else if (EqualNoCase(key, "TLSCertificate")) {
      cs.tlsCertificate = value;
    } else if (EqualNoCase(key, "TLSCommonName")) {
      cs.tlsCommonName = value;
    } else if (EqualNoCase(key, "TLSCiphers")) {
      cs.tlsCiphers.clear();
      size_t a = 0;
      while (a <= value.size()) {
        size_t b = value.find(':', a);
        if (b == std::string::npos) b = value.size();
        cs.tlsCiphers.push_back(OneOf(key, Trim(std::string_view(value).substr(a, b - a)),
                                      {"AES128-SHA", "AES256-SHA", "RC4-MD5"}));
        a = b + 1;
      }
    } else if (EqualNoCase(key, "CommType")) {
      cs.commType = OneOf(key, value, {"UDP_IP", "IPX", "TCP_IP", "TLS"});
    } else if (EqualNoCase(key, "Compression")) {
      cs.compression = OneOf(key, value, {"INTERNET", "ALWAYS", "NEVER"});
    } else if (EqualNoCase(key, "SQLTimeout")) {
      int n = 0;
      auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
      if (ec != std::errc() || p != value.data() + value.size() || n < 0)
        Bad("the value of SQLTimeout must be a whole number of seconds, not \"" + value + "\".");
      cs.sqlTimeout = n;
    } else if (EqualNoCase(key, "IncrementUserCount")) {
      cs.incrementUserCount = Bool(key, value);
    } else if (EqualNoCase(key, "StoredProcedureConnection")) {
      cs.storedProcedureConnection = Bool(key, value);
    } else if (EqualNoCase(key, "ServerType")) {
      cs.serverLocal = cs.serverRemote = cs.serverInternet = false;
      size_t a = 0;
      while (a <= value.size()) {
        size_t b = value.find('|', a);
        if (b == std::string::npos) b = value.size();
        std::string t = OneOf(key, Trim(std::string_view(value).substr(a, b - a)),
                              {"LOCAL", "REMOTE", "INTERNET"});
        (t == "LOCAL"    ? cs.serverLocal
         : t == "REMOTE" ? cs.serverRemote
                         : cs.serverInternet) = true;
        a = b + 1;
      }
    } else if (EqualNoCase(key, "DateFormat")) {
      cs.dateFormat = value;
    } else if (EqualNoCase(key, "TableType")) {
      std::string t = OneOf(key, value, {"NTX", "CDX", "ADT", "VFP"});
      cs.tableType = t == "NTX" ? 1 : t == "CDX" ? 2 : t == "ADT" ? 3 : 4;
    }
  }
  if (cs.dataSource.empty()) Bad("it names no Data Source.");
  return cs;
}

}  // namespace sdbstore
