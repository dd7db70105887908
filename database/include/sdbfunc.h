// sdbfunc: the layer's intermediate dataset classes (the one that links to a
// connection, the table base) and the shared enumerations.
#pragma once

#include "sdbdata.h"
#include "sdbfunc_types.h"

/// A dataset that may be linked to a TSdbConnection.
class TSdbExtendedDataSet : public TSdbDataSet {
 public:
  using TSdbDataSet::TSdbDataSet;
  /// Only while closed ("Table must not be Active."). Moves the dataset from
  /// the old connection's list to the new one's and evaluates the database
  /// path once (which may adapt TableType).
  void SetSdbConnection(TSdbConnection* connection);
};

/// The base of tables.
class TSdbExtendedTable : public TSdbExtendedDataSet {
 public:
  using TSdbExtendedDataSet::TSdbExtendedDataSet;
};
