// sdbsql: runs engine SQL on a data dictionary and prints the result rows.
//
//   sdbsql [--create] [--separator TEXT] [--header] DICTIONARY [SQL ...]
//
// Without SQL arguments the statements come from --file PATH or standard input,
// separated by ";". Rows print one per line, values separated by "|"; empty
// values print as nothing. The exit status is 1 when a statement fails (the
// statements before it stay done).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "sdbexpr.h"
#include "sdbstore.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: sdbsql [--create] [--header] [--separator TEXT] [--file PATH] DICTIONARY "
               "[SQL ...]\n"
               "  --create     create the dictionary file when it does not exist\n"
               "  --header     print the column names before the rows of a SELECT\n"
               "  --separator  text between values (default \"|\")\n"
               "  --file       read statements from PATH (default: standard input)\n");
}

void PrintRows(sdbstore::Database& db, const std::string& sql, bool header,
               const std::string& sep) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &stmt, nullptr);
  if (rc != SQLITE_OK) sdbstore::ThrowSqlite(db.Handle(), rc, sql);
  struct Guard {
    sqlite3_stmt* s;
    ~Guard() { sqlite3_finalize(s); }
  } guard{stmt};
  bool described = false;
  sdbstore::ResultLayout layout;
  std::vector<uint8_t> image;
  std::string text;
  while (true) {
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) sdbstore::ThrowSqlite(db.Handle(), rc, sql);
    if (!described) {
      // Described on the first row, so computed text columns take their width from it.
      std::vector<uint32_t> widths(sqlite3_column_count(stmt), 65530);
      layout = db.DescribeResult(stmt, &widths);
      image.assign(layout.recordLength + 2, 0);
      described = true;
      if (header) {
        for (size_t i = 0; i < layout.fields.size(); ++i)
          std::cout << (i ? sep : "") << layout.fields[i].name;
        std::cout << '\n';
      }
    }
    for (size_t i = 0; i < layout.fields.size(); ++i) {
      const sdbstore::FieldDef& f = layout.fields[i];
      int col = layout.columns[i];
      if (i) std::cout << sep;
      if (sdbstore::IsBlobType(f.type)) {
        if (sqlite3_column_type(stmt, col) == SQLITE_BLOB)
          std::cout << "<" << sqlite3_column_bytes(stmt, col) << " bytes>";
        else if (const unsigned char* t = sqlite3_column_text(stmt, col))
          std::cout << t;
        continue;
      }
      sdbstore::DecodeColumn(f, stmt, col, image.data());
      if (sdbstore::GetText(f, image.data(), text, "CCYY-MM-DD")) {
        if (f.type == sdbstore::FieldType::Raw || f.type == sdbstore::FieldType::VarBinaryFox) {
          for (unsigned char c : text) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", c);
            std::cout << hex;
          }
        } else {
          std::cout << text;
        }
      }
    }
    std::cout << '\n';
  }
  if (!described && header) {
    layout = db.DescribeResult(stmt);
    for (size_t i = 0; i < layout.fields.size(); ++i)
      std::cout << (i ? sep : "") << layout.fields[i].name;
    std::cout << '\n';
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool create = false, header = false;
  std::string sep = "|", file, path;
  std::vector<std::string> sqlArgs;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--create" || a == "-c") {
      create = true;
    } else if (a == "--header") {
      header = true;
    } else if ((a == "--separator" || a == "-s") && i + 1 < argc) {
      sep = argv[++i];
    } else if ((a == "--file" || a == "-f") && i + 1 < argc) {
      file = argv[++i];
    } else if (a == "--help" || a == "-h") {
      Usage();
      return 0;
    } else if (!a.empty() && a[0] == '-' && path.empty()) {
      std::fprintf(stderr, "sdbsql: unknown option %s\n", a.c_str());
      Usage();
      return 2;
    } else if (path.empty()) {
      path = a;
    } else {
      sqlArgs.push_back(a);
    }
  }
  if (path.empty()) {
    Usage();
    return 2;
  }

  std::string script;
  if (!sqlArgs.empty()) {
    for (const std::string& s : sqlArgs) script += s + ";\n";
  } else if (!file.empty()) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "sdbsql: cannot read %s\n", file.c_str());
      return 2;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    script = ss.str();
  } else {
    std::ostringstream ss;
    ss << std::cin.rdbuf();
    script = ss.str();
  }

  sdbstore::SetConnectionInitHook(&SdbRegisterSqlFunctions);
  std::unique_ptr<sdbstore::Database> db;
  try {
    sdbstore::OpenOptions options;
    options.create = create;
    db = sdbstore::Database::Open(path, options);
  } catch (const sdbstore::StoreError& e) {
    std::fprintf(stderr, "sdbsql: %s (code %u)\n", e.what(), e.code());
    return 1;
  }

  std::vector<std::string> statements;
  try {
    statements = sdbstore::SplitStatements(script);
  } catch (const sdbstore::StoreError& e) {
    std::fprintf(stderr, "sdbsql: %s (code %u)\n", e.what(), e.code());
    return 1;
  }
  size_t n = 0;
  for (const std::string& st : statements) {
    ++n;
    try {
      sdbstore::Translation tr = db->Translate(st);
      if (tr.kind == sdbstore::StatementKind::Select) {
        if (!tr.params.empty())
          throw sdbstore::StoreError(sdbstore::kErrBadParameter,
                                     "sdbsql cannot give values to parameters.");
        PrintRows(*db, tr.sql, header, sep);
      } else {
        db->Execute(tr);
      }
    } catch (const sdbstore::StoreError& e) {
      std::fprintf(stderr, "sdbsql: statement %zu failed: %s (code %u)\n  %s\n", n, e.what(),
                   e.code(), st.substr(0, 200).c_str());
      return 1;
    }
  }
  return 0;
}
