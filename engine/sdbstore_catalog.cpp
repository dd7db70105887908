// The dictionary's own records: properties, users, groups, rights, object
// listings and renames.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#include <openssl/sha.h>

#include "sdbstore.h"

namespace sdbstore {

namespace {

std::string ColText(sqlite3_stmt* s, int i) {
  const unsigned char* t = sqlite3_column_text(s, i);
  return t ? std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(s, i))
           : std::string();
}

// SHA-256 in hex, for password hashes (passwords are never stored as written).
std::string Sha256Hex(std::string_view data) {
  unsigned char md[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), md);
  char out[2 * SHA256_DIGEST_LENGTH + 1];
  for (int i = 0; i < SHA256_DIGEST_LENGTH; ++i) std::snprintf(out + 2 * i, 3, "%02x", md[i]);
  return std::string(out, 2 * SHA256_DIGEST_LENGTH);
}

std::string HashPassword(std::string_view password, std::string salt = {}) {
  if (salt.empty()) {
    std::random_device rd;
    char buf[17];
    std::snprintf(buf, sizeof buf, "%08x%08x", rd(), rd());
    salt = buf;
  }
  return "sha256:" + salt + ":" + Sha256Hex(salt + std::string(password));
}

[[noreturn]] void NoObject(const std::string& what) {
  throw StoreError(kErrNoSuchObject, what + " does not exist.");
}

// Users and groups share one name space: rights are granted to either by name.
void RequireFreeGranteeName(Database& db, std::string_view name) {
  if (db.QueryText("SELECT 1 FROM sdb_users WHERE name = ?1", {name}) ||
      db.QueryText("SELECT 1 FROM sdb_groups WHERE name = ?1", {name}))
    throw StoreError(kErrDuplicateObject,
                     "A user or group named " + std::string(name) + " exists.");
}

}  // namespace

// ---------------------------------------------------------------- properties

std::optional<std::string> Database::DatabaseProperty(uint32_t id) {
  return QueryText("SELECT value FROM sdb_db_props WHERE prop_id = ?1", {std::to_string(id)});
}

void Database::SetDatabaseProperty(uint32_t id, std::string_view value) {
  Run("INSERT OR REPLACE INTO sdb_db_props(prop_id, value) VALUES (?1, ?2)",
      {std::to_string(id), value});
}

std::optional<std::string> Database::TableProperty(std::string_view table, uint32_t id) {
  int64_t tid = TableId(table);
  return QueryText("SELECT value FROM sdb_table_props WHERE table_id = ?1 AND prop_id = ?2",
                   {std::to_string(tid), std::to_string(id)});
}

void Database::SetTableProperty(std::string_view table, uint32_t id, std::string_view value) {
  auto t = GetTable(table);
  if (id == kTableDefaultIndex && !value.empty() && !t->FindIndex(value))
    throw StoreError(kErrNoSuchObject,
                     "The table " + t->name + " has no index named " + std::string(value) + ".");
  if (value.empty())
    Run("DELETE FROM sdb_table_props WHERE table_id = ?1 AND prop_id = ?2",
        {std::to_string(t->id), std::to_string(id)});
  else
    Run("INSERT OR REPLACE INTO sdb_table_props(table_id, prop_id, value) VALUES (?1, ?2, ?3)",
        {std::to_string(t->id), std::to_string(id), value});
}

// ---------------------------------------------------------------- users and groups

bool Database::HasUsers() {
  return QueryText("SELECT 1 FROM sdb_users LIMIT 1").has_value();
}

void Database::CreateUser(std::string_view name, std::string_view password) {
  if (name.empty()) throw StoreError(kErrBadParameter, "A user needs a name.");
  RequireFreeGranteeName(*this, name);
  Run("INSERT INTO sdb_users(name, password) VALUES (?1, ?2)", {name, HashPassword(password)});
}

void Database::DropUser(std::string_view name) {
  if (!Run("DELETE FROM sdb_users WHERE name = ?1", {name}))
    NoObject("The user " + std::string(name));
  Run("DELETE FROM sdb_members WHERE user_name = ?1", {name});
  Run("DELETE FROM sdb_rights WHERE grantee = ?1", {name});
}

bool Database::CheckPassword(std::string_view user, std::string_view password) {
  auto stored = QueryText("SELECT password FROM sdb_users WHERE name = ?1", {user});
  if (!stored) return false;
  // "sha256:<salt>:<hex>"
  size_t a = stored->find(':'), b = stored->rfind(':');
  if (a == std::string::npos || b == a) return false;
  return HashPassword(password, stored->substr(a + 1, b - a - 1)) == *stored;
}

void Database::CreateGroup(std::string_view name) {
  if (name.empty()) throw StoreError(kErrBadParameter, "A group needs a name.");
  RequireFreeGranteeName(*this, name);
  Run("INSERT INTO sdb_groups(name) VALUES (?1)", {name});
}

void Database::DropGroup(std::string_view name) {
  if (!Run("DELETE FROM sdb_groups WHERE name = ?1", {name}))
    NoObject("The group " + std::string(name));
  Run("DELETE FROM sdb_members WHERE group_name = ?1", {name});
  Run("DELETE FROM sdb_rights WHERE grantee = ?1", {name});
}

void Database::AddUserToGroup(std::string_view user, std::string_view group) {
  if (!QueryText("SELECT 1 FROM sdb_users WHERE name = ?1", {user}))
    NoObject("The user " + std::string(user));
  if (!QueryText("SELECT 1 FROM sdb_groups WHERE name = ?1", {group}))
    NoObject("The group " + std::string(group));
  Run("INSERT OR IGNORE INTO sdb_members(user_name, group_name) VALUES (?1, ?2)", {user, group});
}

void Database::RemoveUserFromGroup(std::string_view user, std::string_view group) {
  if (!Run("DELETE FROM sdb_members WHERE user_name = ?1 AND group_name = ?2", {user, group}))
    NoObject("The membership of " + std::string(user) + " in " + std::string(group));
}

std::vector<std::string> Database::UserGroups(std::string_view user) {
  std::vector<std::string> out;
  sqlite3_stmt* s = Prepare(
      "SELECT g.name FROM sdb_members m JOIN sdb_groups g ON g.name = m.group_name "
      "WHERE m.user_name = ?1 ORDER BY g.name");
  sqlite3_bind_text(s, 1, user.data(), static_cast<int>(user.size()), SQLITE_TRANSIENT);
  while (Step(s)) out.push_back(ColText(s, 0));
  sqlite3_reset(s);
  return out;
}

std::optional<std::string> Database::UserProperty(std::string_view user, uint32_t id) {
  if (!QueryText("SELECT 1 FROM sdb_users WHERE name = ?1", {user}))
    NoObject("The user " + std::string(user));
  if (id != kUserGroupMembership) return std::nullopt;
  auto groups = UserGroups(user);
  if (groups.empty()) return std::nullopt;
  std::string out;
  for (const auto& g : groups) out += (out.empty() ? "" : ";") + g;
  return out;
}

// ---------------------------------------------------------------- rights

void Database::Grant(std::string_view grantee, std::string_view table, std::string_view field,
                     uint32_t rights) {
  auto t = GetTable(table);
  if (!field.empty() && t->FieldIndex(field) < 0)
    NoObject("The field " + std::string(field) + " of table " + t->name);
  if (!QueryText("SELECT 1 FROM sdb_users WHERE name = ?1 UNION ALL SELECT 1 FROM sdb_groups WHERE "
                 "name = ?1",
                 {grantee}))
    NoObject("The user or group " + std::string(grantee));
  Run("INSERT INTO sdb_rights(grantee, table_id, field, rights) VALUES (?1, ?2, ?3, ?4) "
      "ON CONFLICT(grantee, table_id, field) DO UPDATE SET rights = rights | excluded.rights",
      {grantee, std::to_string(t->id), field, std::to_string(rights)});
}

void Database::Revoke(std::string_view grantee, std::string_view table, std::string_view field,
                      uint32_t rights) {
  auto t = GetTable(table);
  Run("UPDATE sdb_rights SET rights = rights & ~?4 WHERE grantee = ?1 AND table_id = ?2 AND field "
      "= ?3",
      {grantee, std::to_string(t->id), field, std::to_string(rights)});
  Run("DELETE FROM sdb_rights WHERE rights = 0");
}

uint32_t Database::TableRights(std::string_view user, std::string_view table) {
  auto t = GetTable(table);
  if (!HasUsers()) return kRightAll;
  sqlite3_stmt* s = Prepare(
      "SELECT rights FROM sdb_rights WHERE table_id = ?1 AND field = '' AND (grantee = ?2 OR "
      "grantee IN "
      "(SELECT group_name FROM sdb_members WHERE user_name = ?2))");
  sqlite3_bind_int64(s, 1, t->id);
  sqlite3_bind_text(s, 2, user.data(), static_cast<int>(user.size()), SQLITE_TRANSIENT);
  uint32_t r = 0;
  while (Step(s)) r |= static_cast<uint32_t>(sqlite3_column_int64(s, 0));
  sqlite3_reset(s);
  return r;
}

uint32_t Database::ColumnRights(std::string_view user, std::string_view table,
                                std::string_view field) {
  uint32_t r = TableRights(user, table);
  if (r == kRightAll) return r;
  auto t = GetTable(table);
  sqlite3_stmt* s = Prepare(
      "SELECT rights FROM sdb_rights WHERE table_id = ?1 AND field = ?3 AND (grantee = ?2 OR "
      "grantee IN "
      "(SELECT group_name FROM sdb_members WHERE user_name = ?2))");
  sqlite3_bind_int64(s, 1, t->id);
  sqlite3_bind_text(s, 2, user.data(), static_cast<int>(user.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(s, 3, field.data(), static_cast<int>(field.size()), SQLITE_TRANSIENT);
  while (Step(s)) r |= static_cast<uint32_t>(sqlite3_column_int64(s, 0));
  sqlite3_reset(s);
  return r;
}

// ---------------------------------------------------------------- objects

std::vector<std::string> Database::ListObjects(ObjectType type, std::string_view parent) {
  std::vector<std::string> out;
  switch (type) {
    case ObjectType::Table:
      return ListTables();
    case ObjectType::Index:
    case ObjectType::Field: {
      if (parent.empty()) {
        if (type == ObjectType::Field)
          throw StoreError(kErrBadParameter, "Listing fields needs the table as parent.");
        sqlite3_stmt* s = Prepare("SELECT name FROM sdb_indexes ORDER BY table_id, ordinal");
        while (Step(s)) out.push_back(ColText(s, 0));
        sqlite3_reset(s);
        return out;
      }
      auto t = GetTable(parent);
      if (type == ObjectType::Index)
        for (const auto& x : t->indexes) out.push_back(x.name);
      else
        for (const auto& f : t->fields) out.push_back(f.name);
      return out;
    }
    case ObjectType::User:
    case ObjectType::Group: {
      sqlite3_stmt* s =
          Prepare(type == ObjectType::User ? "SELECT name FROM sdb_users ORDER BY name"
                                           : "SELECT name FROM sdb_groups ORDER BY name");
      while (Step(s)) out.push_back(ColText(s, 0));
      sqlite3_reset(s);
      return out;
    }
    case ObjectType::View: {
      sqlite3_stmt* s = Prepare("SELECT name FROM sqlite_master WHERE type = 'view' ORDER BY name");
      while (Step(s)) out.push_back(ColText(s, 0));
      sqlite3_reset(s);
      return out;
    }
    case ObjectType::Procedure:
      return out;  // the engine keeps no stored procedures
  }
  return out;
}

void Database::RenameObject(ObjectType type, std::string_view oldName, std::string_view newName,
                            std::string_view parent) {
  if (newName.empty()) throw StoreError(kErrBadParameter, "The new name is empty.");
  std::string o(oldName), n(newName);
  switch (type) {
    case ObjectType::Table: {
      auto t = GetTable(oldName);
      if (!EqualNoCase(t->name, n) &&
          (FindTable(n) ||
           QueryText("SELECT 1 FROM sqlite_master WHERE name = ?1 COLLATE NOCASE", {n})))
        throw StoreError(kErrDuplicateObject, "The table " + n + " already exists.");
      if (n.size() >= 4 && EqualNoCase(n.substr(0, 4), "sdb_"))
        throw StoreError(kErrBadParameter, "Table names beginning with sdb_ are reserved.");
      Exec("SAVEPOINT sdb_ren");
      try {
        Exec("ALTER TABLE " + t->quotedName + " RENAME TO " + QuoteIdent(n));
        Run("UPDATE sdb_tables SET name = ?1 WHERE id = ?2", {n, std::to_string(t->id)});
        Run("UPDATE sqlite_sequence SET name = ?1 WHERE name = ?2", {n, t->name});
        // The index file named after the table is the one its opens take
        // along: it goes with the name, or the renamed table would open
        // without its indexes (and fail on its default index).
        Run("UPDATE sdb_indexes SET index_file = ?1 WHERE table_id = ?2 AND index_file = ?3 "
            "COLLATE NOCASE",
            {n, std::to_string(t->id), t->name});
        Exec("RELEASE sdb_ren");
      } catch (...) {
        sqlite3_exec(FDb, "ROLLBACK TO sdb_ren; RELEASE sdb_ren", nullptr, nullptr, nullptr);
        InvalidateTables();
        throw;
      }
      FRowSql.erase(t->id);
      break;
    }
    case ObjectType::Index: {
      auto t = GetTable(parent);
      const IndexDef* x = t->FindIndex(oldName);
      if (!x) NoObject("The index " + o + " of table " + t->name);
      if (!EqualNoCase(x->name, n) && t->FindIndex(n))
        throw StoreError(kErrDuplicateObject,
                         "The table " + t->name + " already has an index " + n + ".");
      std::string id = std::to_string(t->id);
      Run("UPDATE sdb_indexes SET name = ?1 WHERE table_id = ?2 AND name = ?3", {n, id, x->name});
      Run("UPDATE sdb_segments SET index_name = ?1 WHERE table_id = ?2 AND index_name = ?3",
          {n, id, x->name});
      Run("UPDATE sdb_table_props SET value = ?1 WHERE table_id = ?2 AND prop_id = 213 AND value = "
          "?3 "
          "COLLATE NOCASE",
          {n, id, x->name});
      break;
    }
    case ObjectType::Field: {
      auto t = GetTable(parent);
      int fi = t->FieldIndex(oldName);
      if (fi < 0) NoObject("The field " + o + " of table " + t->name);
      if (!EqualNoCase(t->fields[fi].name, n) && t->FieldIndex(n) >= 0)
        throw StoreError(kErrDuplicateObject,
                         "The table " + t->name + " already has a field " + n + ".");
      std::string id = std::to_string(t->id);
      const std::string& old = t->fields[fi].name;
      Exec("SAVEPOINT sdb_ren");
      try {
        Exec("ALTER TABLE " + t->quotedName + " RENAME COLUMN " + QuoteIdent(old) + " TO " +
             QuoteIdent(n));
        Run("UPDATE sdb_fields SET name = ?1 WHERE table_id = ?2 AND name = ?3", {n, id, old});
        Run("UPDATE sdb_rights SET field = ?1 WHERE table_id = ?2 AND field = ?3", {n, id, old});
        // Segments name the field and hold it in their SQL; SQLite rewrote the
        // index itself, the catalog follows.
        Run("UPDATE sdb_segments SET field = ?1, expression = replace(expression, ?4, ?5) "
            "WHERE table_id = ?2 AND field = ?3",
            {n, id, old, QuoteIdent(old), QuoteIdent(n)});
        for (const IndexDef& x : t->indexes) {
          std::string expr;
          bool changed = false;
          for (size_t i = 0; i < x.segments.size(); ++i) {
            const IndexSegment& g = x.segments[i];
            bool plain = !g.field.empty() && g.expression == QuoteIdent(g.field);
            std::string part = plain ? g.field : g.expression;
            if (EqualNoCase(g.field, old)) {
              changed = true;
              if (plain) {
                part = n;
              } else {
                size_t at;
                while ((at = part.find(QuoteIdent(old))) != std::string::npos)
                  part.replace(at, QuoteIdent(old).size(), QuoteIdent(n));
              }
            }
            expr += (i ? ";" : "") + part;
          }
          if (changed)
            Run("UPDATE sdb_indexes SET expression = ?1 WHERE table_id = ?2 AND name = ?3",
                {expr, id, x.name});
        }
        Exec("RELEASE sdb_ren");
      } catch (...) {
        sqlite3_exec(FDb, "ROLLBACK TO sdb_ren; RELEASE sdb_ren", nullptr, nullptr, nullptr);
        InvalidateTables();
        throw;
      }
      FRowSql.erase(t->id);
      break;
    }
    case ObjectType::User:
    case ObjectType::Group: {
      bool user = type == ObjectType::User;
      if (!QueryText(user ? "SELECT 1 FROM sdb_users WHERE name = ?1"
                          : "SELECT 1 FROM sdb_groups WHERE name = ?1",
                     {o}))
        NoObject(std::string(user ? "The user " : "The group ") + o);
      if (!EqualNoCase(o, n) && QueryText("SELECT 1 FROM sdb_users WHERE name = ?1 UNION ALL "
                                          "SELECT 1 FROM sdb_groups WHERE name = ?1",
                                          {n}))
        throw StoreError(kErrDuplicateObject, "A user or group named " + n + " exists.");
      Run(user ? "UPDATE sdb_users SET name = ?1 WHERE name = ?2"
               : "UPDATE sdb_groups SET name = ?1 WHERE name = ?2",
          {n, o});
      Run(user ? "UPDATE sdb_members SET user_name = ?1 WHERE user_name = ?2"
               : "UPDATE sdb_members SET group_name = ?1 WHERE group_name = ?2",
          {n, o});
      Run("UPDATE sdb_rights SET grantee = ?1 WHERE grantee = ?2", {n, o});
      break;
    }
    default:
      throw StoreError(kErrBadParameter, "Objects of this kind cannot be renamed.");
  }
  InvalidateTables();
}

}  // namespace sdbstore
