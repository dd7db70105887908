// Data sources and data links: how controls and detail datasets follow a
// dataset's state, records and edits through its notices.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dataset.h"

/// Connects one dataset to any number of data links and passes the dataset's
/// notices on while Enabled. State() mirrors the dataset's state (dsInactive
/// without an active dataset). Neither the dataset nor the links are owned.
class TDataSource {
 public:
  using TNotifyEvent = std::function<void(TDataSource* sender)>;
  using TDataChangeEvent = std::function<void(TDataSource* sender, TField* field)>;

  TDataSource() = default;
  virtual ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  TDataSet* DataSet() const { return FDataSet; }
  /// Raises "Circular datalinks are not allowed" when the dataset takes its
  /// values from this source.
  void SetDataSet(TDataSet* dataSet);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  /// Whether a control's edit puts the dataset in dsEdit (Edit()).
  bool AutoEdit() const { return FAutoEdit; }
  void SetAutoEdit(bool value) { FAutoEdit = value; }
  TDataSetState State() const { return FState; }
  /// Starts an edit when AutoEdit and the dataset browses.
  void Edit();
  bool IsLinkedTo(TDataSet* dataSet) const;
  const std::vector<TDataLink*>& DataLinks() const { return FDataLinks; }

  TNotifyEvent OnStateChange;
  /// After a record, scroll or data-set change (field given for a field change).
  TDataChangeEvent OnDataChange;
  /// When the dataset asks for edited values before posting.
  TNotifyEvent OnUpdateData;

 private:
  friend class TDataSet;
  friend class TDataLink;

  void DataEvent(TDataEvent event, TField* field, int distance);
  /// A notice while the dataset's controls are disabled: only detail links get it.
  void DetailEvent(TDataEvent event, TField* field, int distance);
  void UpdateState();
  void AddDataLink(TDataLink* link);
  void RemoveDataLink(TDataLink* link);

  TDataSet* FDataSet = nullptr;
  bool FEnabled = true;
  bool FAutoEdit = true;
  TDataSetState FState = dsInactive;
  std::vector<TDataLink*> FDataLinks;
};

/// A client of a data source: a control or a detail dataset. It sees a window
/// of BufferCount records of the dataset's ring (ActiveRecord is the active
/// record's place in it) and receives the notices: ActiveChanged,
/// RecordChanged (field or nullptr for the whole record), DataSetChanged,
/// DataSetScrolled (how far its window moved), LayoutChanged,
/// EditingChanged, UpdateData (hand over edited values) and CheckBrowseMode
/// (finish editing before the dataset leaves its edit or moves).
class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return FDataSource; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const { return FDataSource ? FDataSource->DataSet() : nullptr; }
  /// The source is enabled and its dataset open.
  bool Active() const { return FActive; }
  bool Editing() const { return FEditing; }
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value);
  /// The records this link shows; the dataset's ring grows to the largest.
  int BufferCount() const { return FBufferCount; }
  void SetBufferCount(int count);
  int ActiveRecord() const;
  /// Makes the record at `index` of the window the dataset's active one
  /// (for painting a row); restore it afterwards.
  void SetActiveRecord(int index);
  int RecordCount() const;
  /// Starts an edit of the dataset (via the source's AutoEdit); true when
  /// editing.
  bool Edit();
  /// Asks this link for its edited values (UpdateData).
  void UpdateRecord();
  int MoveBy(int distance);

 protected:
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int distance);
  virtual void EditingChanged() {}
  virtual void FocusControl(TField*) {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField*) {}
  virtual void UpdateData() {}

 private:
  friend class TDataSource;

  void DataEvent(TDataEvent event, TField* field, int distance);
  void UpdateState();
  void SetActive(bool value);
  void SetEditing(bool value);
  /// Keeps the active record inside the window after the ring moved by `shift`.
  int UpdateRange(int shift);

  TDataSource* FDataSource = nullptr;
  int FBufferCount = 1;
  int FFirstRecord = 0;
  bool FActive = false;
  bool FEditing = false;
  bool FReadOnly = false;
  bool FUpdating = false;
};

/// A link owned by a detail dataset: it knows the dataset that follows the
/// master (DetailDataSet). Unlike controls, detail links keep receiving the
/// master's notices while the master's controls are disabled.
class TDetailDataLink : public TDataLink {
 public:
  virtual TDataSet* DetailDataSet() const { return nullptr; }
};

/// The master link of a detail dataset: FieldNames (";"-separated fields of
/// the master) are resolved when the master opens. OnMasterChange runs when
/// the master record changes (or one of those fields), and when the master
/// opens; OnMasterDisable when it closes or the link loses its source. Before
/// the master moves, an edit of the detail is posted or cancelled.
class TMasterDataLink : public TDetailDataLink {
 public:
  using TLinkEvent = std::function<void(TMasterDataLink* sender)>;

  explicit TMasterDataLink(TDataSet* detail) : FDetail(detail) {}
  TDataSet* DetailDataSet() const override { return FDetail; }
  const std::string& FieldNames() const { return FFieldNames; }
  void SetFieldNames(const std::string& names);
  /// The master's fields, in FieldNames order (empty while inactive).
  const std::vector<TField*>& Fields() const { return FFields; }

  TLinkEvent OnMasterChange;
  TLinkEvent OnMasterDisable;

 protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void LayoutChanged() override;
  void RecordChanged(TField* field) override;
  void DataSetScrolled(int) override { RecordChanged(nullptr); }

 private:
  TDataSet* FDetail;
  std::string FFieldNames;
  std::vector<TField*> FFields;
};
