// Transactions and savepoints of a connection, over every file it has open.
#include "sdbengineInt.h"

namespace sdbengine {

bool Connection::InTransaction() {
  if (FInTransaction) return true;
  for (Database* db : Databases())
    if (db->InTransaction()) return true;
  return false;
}

void Connection::Begin() {
  if (InTransaction())
    Throw(SDB_E_IN_TRANSACTION, "A transaction is already active on this connection.");
  // IMMEDIATE: a transaction reads and then writes; taking the write lock at
  // the start makes a competing writer wait instead of failing mid-way.
  std::vector<Database*> begun;
  try {
    for (Database* db : Databases()) {
      db->Begin(true);
      begun.push_back(db);
    }
  } catch (...) {
    for (Database* db : begun) db->Rollback();
    throw;
  }
  FInTransaction = true;
  savepoints.clear();
}

void Connection::Commit() {
  if (!InTransaction()) Throw(SDB_E_NO_TRANSACTION, "No transaction is active on this connection.");
  for (Table* t : tables)
    if (t->pending.active) t->WritePending("SdbCommitTransaction");
  for (Database* db : Databases())
    if (db->InTransaction()) db->Commit();
  FInTransaction = false;
  savepoints.clear();
  BumpWriteEpoch();
}

void Connection::Rollback() {
  if (!InTransaction()) Throw(SDB_E_NO_TRANSACTION, "No transaction is active on this connection.");
  std::optional<Error> failure;
  for (Database* db : Databases()) {
    try {
      if (db->InTransaction()) db->Rollback();
    } catch (const sdbstore::StoreError& e) {
      if (!failure) failure = Error{e.code(), e.what()};
    }
  }
  FInTransaction = false;
  savepoints.clear();
  DropPendingUpdates();
  BumpWriteEpoch();
  if (failure) throw *failure;
}

void Connection::CreateSavepoint(const std::string& name) {
  if (!InTransaction()) Throw(SDB_E_NO_TRANSACTION, "A savepoint needs an active transaction.");
  if (name.empty()) Throw(SDB_E_INVALID_ARGUMENT, "A savepoint needs a name.");
  for (Database* db : Databases()) db->Savepoint(name);
  savepoints.push_back(name);
}

void Connection::RollbackTo(const std::string& name) {
  if (!InTransaction()) Throw(SDB_E_NO_TRANSACTION, "No transaction is active on this connection.");
  size_t i = savepoints.size();
  while (i > 0 && !sdbstore::EqualNoCase(savepoints[i - 1], name)) --i;
  if (i == 0) Throw(SDB_E_INVALID_ARGUMENT, "There is no savepoint \"" + name + "\".");
  for (Database* db : Databases()) db->RollbackTo(savepoints[i - 1]);
  savepoints.resize(i - 1);
  DropPendingUpdates();
  BumpWriteEpoch();
}

ReadTogether::ReadTogether(Database* db) {
  if (!db || db->InTransaction()) return;
  db->Step(db->Prepare("BEGIN"));
  FDb = db;
}

ReadTogether::~ReadTogether() {
  if (!FDb || !FDb->InTransaction()) return;
  try {
    FDb->Step(FDb->Prepare("COMMIT"));
  } catch (...) {
    try {
      FDb->Rollback();  // it only read: nothing is lost
    } catch (...) {
      // A destructor cannot report it; the next call on the file will.
    }
  }
}

void Connection::DropPendingUpdates() {
  for (Table* t : tables) {
    t->CancelPending();
    t->DropBatch();
  }
}

}  // namespace sdbengine

using namespace sdbengine;

namespace {
Connection& Conn(SDBHANDLE h, const char* call) {
  return As<Connection>(h, {Kind::Connection}, call);
}
}  // namespace

extern "C" uint32_t SdbBeginTransaction(SDBHANDLE hConnect) {
  return Api([&] {
    Conn(hConnect, "SdbBeginTransaction").Begin();
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbCommitTransaction(SDBHANDLE hConnect) {
  return Api([&] {
    Conn(hConnect, "SdbCommitTransaction").Commit();
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbRollbackTransaction(SDBHANDLE hConnect) {
  return Api([&] {
    Conn(hConnect, "SdbRollbackTransaction").Rollback();
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbRollbackTransaction80(SDBHANDLE hConnect, const char* pucSavepoint,
                                             uint32_t /*ulOptions*/) {
  return Api([&] {
    Connection& conn = Conn(hConnect, "SdbRollbackTransaction80");
    if (!pucSavepoint || !*pucSavepoint)
      conn.Rollback();
    else
      conn.RollbackTo(pucSavepoint);
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbCreateSavepoint(SDBHANDLE hConnect, const char* pucSavepoint,
                                       uint32_t /*ulOptions*/) {
  return Api([&] {
    Conn(hConnect, "SdbCreateSavepoint").CreateSavepoint(Need(pucSavepoint, "savepoint name"));
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbInTransaction(SDBHANDLE hConnect, uint16_t* pbInTrans) {
  return Api([&] {
    Need(pbInTrans, "answer");
    *pbInTrans = Conn(hConnect, "SdbInTransaction").InTransaction() ? 1 : 0;
    return SDB_SUCCESS;
  });
}

extern "C" uint32_t SdbGetTransactionCount(SDBHANDLE hConnect, uint32_t* pulTransactionCount) {
  return Api([&] {
    Need(pulTransactionCount, "count");
    *pulTransactionCount = Conn(hConnect, "SdbGetTransactionCount").InTransaction() ? 1 : 0;
    return SDB_SUCCESS;
  });
}
