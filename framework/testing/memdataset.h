// A small in-memory dataset for the framework's tests: rows held as native
// field images, every hook logged, failures injectable, master/detail by field.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "datalinks.h"
#include "dataset.h"
#include "fields.h"

/// Rows are kept in memory in insertion order; each row has a stable id that
/// is its 4-byte bookmark. A record image holds, per column, a presence byte
/// and the native value; blob values live beside the image. Record buffer:
///   [image RecordSize][calc area][bookmark id: int32][bookmark flag: uint8]
/// Log receives the name of every hook called (fetches as
/// "Fetch(next)"/"Fetch(prior)"/"Fetch(current)").
class TMemDataSet : public TDataSet {
 public:
  struct Column {
    std::string Name;
    TFieldType Type;
    int Size;
    bool Required;
  };

  std::vector<std::string> Log;
  int EditFailures = 0, PostFailures = 0, DeleteFailures = 0, OpenFailures = 0;
  /// ClearBufferHook fails as a default value that does not convert would.
  int ClearFailures = 0;
  /// Fetches that fail as a broken cursor would: a checked fetch (doCheck)
  /// raises "Fetch failed", an unchecked one answers grError.
  int FetchFailures = 0;
  bool ReadOnlyData = false;
  /// The dataset, not the BCD field, judges a packed decimal's range.
  bool BcdRangeByDataSet = false;
  /// Master/detail: the detail shows the rows whose DetailFields equal the
  /// master's MasterFields.
  std::string DetailFields;

  TMemDataSet() : FMasterLink(this) {
    FMasterLink.OnMasterChange = [this](TMasterDataLink*) {
      Log.push_back("MasterChange");
      if (Active()) First();
    };
    FMasterLink.OnMasterDisable = [this](TMasterDataLink*) {
      Log.push_back("MasterDisable");
      if (Active()) First();
    };
  }
  ~TMemDataSet() override {
    Destroying();
    Close();
  }

  void AddColumn(std::string name, TFieldType type, int size = 0, bool required = false) {
    CheckInactive();
    FColumns.push_back({std::move(name), type, size, required});
  }
  /// Adds a stored row (the dataset may be open; call Refresh to see it).
  void AddRow(const std::vector<Variant>& values) {
    Row row;
    row.Id = ++FNextId;
    row.Image.assign(ImageSize(), 0);
    row.Blobs.resize(FColumns.size());
    for (size_t i = 0; i < values.size() && i < FColumns.size(); ++i) StoreValue(row, i, values[i]);
    FRows.push_back(std::move(row));
  }
  size_t RowCount() const { return FRows.size(); }
  /// The stored text of a cell (through a scratch field), "<null>" for null.
  std::string Cell(size_t row, const std::string& column) const {
    size_t c = ColumnIndex(column);
    const uint8_t* cell = FRows.at(row).Image.data() + FOffsets[c];
    if (!cell[0]) return "<null>";
    if (IsBlobType(FColumns[c].Type)) return FRows[row].Blobs[c];
    return NativeToText(c, cell + 1);
  }

  /// Key mode, as a descendant builds it: the key is edited in a buffer of
  /// its own; only IndexFields may be assigned; GotoKey locates the key.
  std::string IndexFields;
  void SetKey() {
    CheckBrowseMode();
    if (!FKeyBuffer) FKeyBuffer = NewBufferHook();
    if (!FSavedKey) FSavedKey = NewBufferHook();
    std::memcpy(FSavedKey, FKeyBuffer, BufferSize());
    std::memset(FKeyBuffer, 0, BufferSize());
    BeginKeyEdit();
  }
  /// Whether the key buffer holds a key that was posted.
  bool KeyKept = false;
  bool GotoKey() {
    CheckBrowseMode();
    std::vector<TField*> fields = GetFieldList(IndexFields);
    std::vector<Variant> values;
    TDataSetState old = SetTempState(dsSetKey);
    for (TField* field : fields) values.push_back(field->Value());
    RestoreState(old);
    return Locate(IndexFields, values.size() == 1 ? values[0] : Variant::Array(values), {});
  }
  void KeyEditEndHook(bool post) override {
    Log.push_back(post ? "KeyEditEnd(post)" : "KeyEditEnd(cancel)");
    if (post)
      KeyKept = Modified();
    else
      std::memcpy(FKeyBuffer, FSavedKey, BufferSize());
  }
  bool IsIndexField(TField* field) override {
    for (TField* key : GetFieldList(IndexFields))
      if (key == field) return true;
    return false;
  }

  TDataSource* MasterSource() const { return FMasterLink.DataSource(); }
  void SetMasterSource(TDataSource* source) {
    if (source && IsLinkedTo(source)) throw EDatabaseError("Circular Data Link");
    FMasterLink.SetDataSource(source);
  }
  void SetMasterFields(const std::string& names) { FMasterLink.SetFieldNames(names); }
  TMasterDataLink& MasterLink() { return FMasterLink; }
  TDataSource* DataSource() const override { return FMasterLink.DataSource(); }

  bool CanModify() const override { return !ReadOnlyData; }
  bool FieldChecksBcdRange(const TField*) const override { return !BcdRangeByDataSet; }
  int RecordCount() override {
    CheckActive();
    return static_cast<int>(FRows.size());
  }
  int RecNo() override {
    CheckActive();
    if (IsEmpty() || State() == dsInsert) return -1;
    return IndexOfId(BufferId(ActiveBuffer())) + 1;
  }
  void SetRecNo(int value) override {
    PositionedJump([&] {
      FCursor = std::clamp(value - 1, 0, static_cast<int>(FRows.size()) - 1);
      return !FRows.empty();
    });
  }
  bool IsSequenced() override { return true; }
  bool BookmarkValid(const TBookmark& bookmark) override {
    return Active() && bookmark.size() == 4 && IndexOfId(IdOf(bookmark)) >= 0;
  }
  bool GetCurrentRecord(TRecordBuffer buffer) override {
    if (IsEmpty() || ReadBookmarkFlagHook(ActiveBuffer()) != bfCurrent) return false;
    std::memcpy(buffer, ActiveBuffer(), FRecordSize);
    return true;
  }

  bool GetFieldData(TField* field, void* buffer) override {
    TRecordBuffer record = ActiveRecordBuffer();
    if (!record) return false;
    if (field->FieldNo() <= 0) {
      TDataSetState s = State();
      if (s != dsBrowse && s != dsEdit && s != dsInsert && s != dsCalcFields && s != dsFilter)
        return false;
      return ReadCalcFieldData(record, field, buffer);
    }
    const uint8_t* cell = record + FOffsets[field->FieldNo() - 1];
    if (!cell[0]) return false;
    if (buffer) std::memcpy(buffer, cell + 1, field->DataSize());
    return true;
  }

  void PutFieldData(TField* field, const void* buffer) override {
    CheckFieldAssignment(field, buffer);
    TRecordBuffer record = ActiveRecordBuffer();
    if (field->FieldNo() <= 0) {
      WriteCalcFieldData(record, field, buffer);
      return;
    }
    uint8_t* cell = record + FOffsets[field->FieldNo() - 1];
    cell[0] = buffer ? 1 : 0;
    size_t size = FSizes[field->FieldNo() - 1];
    if (buffer)
      std::memcpy(cell + 1, buffer, size);
    else
      std::memset(cell + 1, 0, size);
    FieldChanged(field);
  }

  std::unique_ptr<TStream> CreateBlobStream(TField* field, TBlobStreamMode mode) override {
    if (mode != bmRead && State() != dsEdit && State() != dsInsert)
      throw EDatabaseError("Dataset not in edit mode");
    return std::make_unique<BlobStream>(this, field, mode);
  }

  // Exposed for tests of the protected machinery.
  TRecordBuffer ActiveRecordBuffer() override {
    if (State() == dsOldValue) return FOldImage.empty() ? nullptr : FOldImage.data();
    if (State() == dsSetKey) return FKeyBuffer;
    return TDataSet::ActiveRecordBuffer();
  }
  using TDataSet::CursorPosChanged;
  void Recreate() { RecreateBuffers(); }
  using TDataSet::SetMinBufferCount;

 protected:
  void OpenHook() override {
    Log.push_back("OpenHook");
    if (OpenFailures > 0) {
      --OpenFailures;
      throw EDatabaseError("Open failed");
    }
    FOpen = true;
    FieldDefs().SetUpdated(false);
    FieldDefs().Update();
    CreateFields();
    BindFields(true);
    FRecordSize = ImageSize();
    FCursor = -1;
    for (auto& row : FRows) row.Image.resize(FRecordSize, 0);
  }
  void CloseHook() override {
    Log.push_back("CloseHook");
    if (FKeyBuffer) FreeBufferHook(FKeyBuffer);
    if (FSavedKey) FreeBufferHook(FSavedKey);
    FKeyBuffer = FSavedKey = nullptr;
    FOpen = false;
    BindFields(false);
    DestroyFields();
  }
  bool HasHandleHook() override { return FOpen; }
  void ReadFieldDefsHook() override {
    Log.push_back("ReadFieldDefsHook");
    FieldDefs().Clear();
    for (auto& column : FColumns) {
      TFieldDef* def = FieldDefs().Add(column.Name, column.Type, column.Size, column.Required);
      if (column.Type == ftBCD || column.Type == ftFMTBcd) def->SetPrecision(18);
    }
  }

  void GoFirstHook() override {
    Log.push_back("GoFirstHook");
    FCursor = -1;
  }
  void GoLastHook() override {
    Log.push_back("GoLastHook");
    FCursor = static_cast<int>(FRows.size());
  }
  TGetResult FetchRecordHook(TRecordBuffer buffer, TGetMode mode, bool doCheck) override {
    Log.push_back(mode == gmNext    ? "Fetch(next)"
                  : mode == gmPrior ? "Fetch(prior)"
                                    : "Fetch(current)");
    if (FetchFailures > 0) {
      --FetchFailures;
      if (doCheck) throw EDatabaseError("Fetch failed");
      return grError;
    }
    const int count = static_cast<int>(FRows.size());
    for (;;) {
      if (mode == gmNext) FCursor = std::min(FCursor + 1, count);
      if (mode == gmPrior) FCursor = std::max(FCursor - 1, -1);
      if (FCursor >= count) return grEOF;
      if (FCursor < 0) return grBOF;
      const Row& row = FRows[FCursor];
      if (InRange(row)) {
        std::memcpy(buffer, row.Image.data(), FRecordSize);
        FBlobs[buffer] = row.Blobs;
        SetBufferId(buffer, row.Id);
        WriteBookmarkFlagHook(buffer, bfCurrent);
        CalculateFields(buffer);
        if (FilterRecord(buffer)) return grOK;
      }
      if (mode == gmCurrent) return grError;
    }
  }
  void GoBookmarkHook(const TBookmark& bookmark) override {
    Log.push_back("GoBookmarkHook");
    int index = IndexOfId(IdOf(bookmark));
    FCursor = index >= 0 ? index : static_cast<int>(FRows.size());
  }
  void GoBufferRecordHook(TRecordBuffer buffer) override {
    Log.push_back("GoBufferRecordHook");
    int index = IndexOfId(BufferId(buffer));
    if (index >= 0) FCursor = index;
  }

  TRecordBuffer NewBufferHook() override {
    Log.push_back("NewBufferHook");
    auto* buffer = new uint8_t[BufferSize()]();
    return buffer;
  }
  void FreeBufferHook(TRecordBuffer buffer) override {
    Log.push_back("FreeBufferHook");
    FBlobs.erase(buffer);
    delete[] buffer;
  }
  int RecordSizeHook() override { return FRecordSize; }
  void ReadBookmarkHook(TRecordBuffer buffer, TBookmark& bookmark) override {
    bookmark.assign(buffer + InfoOffset(), buffer + InfoOffset() + 4);
  }
  void WriteBookmarkHook(TRecordBuffer buffer, const TBookmark& bookmark) override {
    std::memcpy(buffer + InfoOffset(), bookmark.data(), 4);
  }
  TBookmarkFlag ReadBookmarkFlagHook(TRecordBuffer buffer) override {
    return static_cast<TBookmarkFlag>(buffer[InfoOffset() + 4]);
  }
  void WriteBookmarkFlagHook(TRecordBuffer buffer, TBookmarkFlag flag) override {
    buffer[InfoOffset() + 4] = static_cast<uint8_t>(flag);
  }
  // Clears the record only: ClearFields keeps the record it edits.
  void ClearBufferHook(TRecordBuffer buffer) override {
    Log.push_back("ClearBufferHook");
    if (ClearFailures > 0) {
      --ClearFailures;
      throw EDatabaseError("Default value failed");
    }
    std::memset(buffer, 0, FRecordSize);
    FBlobs[buffer].assign(FColumns.size(), std::string());
  }
  void PrepareNewBuffer(TRecordBuffer buffer) override {
    TDataSet::PrepareNewBuffer(buffer);
    SetBufferId(buffer, 0);
  }

  void InsertHook() override { Log.push_back("InsertHook"); }
  void NewRecordStep() override {
    Log.push_back("NewRecordStep");
    // A detail record takes the master's values.
    if (FMasterLink.Active() && !FMasterLink.Fields().empty()) {
      std::vector<TField*> detail = GetFieldList(DetailFields);
      for (size_t i = 0; i < detail.size() && i < FMasterLink.Fields().size(); ++i)
        detail[i]->SetValue(FMasterLink.Fields()[i]->Value());
    }
    for (int i = 0; i < FieldCount(); ++i)
      if (!Fields(i)->DefaultExpression().empty() && Fields(i)->FieldKind() == fkData)
        Fields(i)->SetAsString(Fields(i)->DefaultExpression());
    TDataSet::NewRecordStep();
  }
  void EditHook() override {
    Log.push_back("EditHook");
    if (EditFailures > 0) {
      --EditFailures;
      throw EDatabaseError("Record is locked");
    }
    FOldImage.assign(ActiveBuffer(), ActiveBuffer() + FRecordSize);
  }
  void PostHook() override {
    Log.push_back("PostHook");
    TDataSet::PostHook();
    if (PostFailures > 0) {
      --PostFailures;
      throw EDatabaseError("Write failed");
    }
    TRecordBuffer buffer = ActiveBuffer();
    if (State() == dsEdit) {
      int index = IndexOfId(BufferId(buffer));
      if (index < 0) throw EDatabaseError("Record not found");
      Row& row = FRows[index];
      std::memcpy(row.Image.data(), buffer, FRecordSize);
      row.Blobs = FBlobs[buffer];
      FCursor = index;
    } else {
      Row row;
      row.Id = ++FNextId;
      row.Image.assign(buffer, buffer + FRecordSize);
      row.Blobs = FBlobs[buffer];
      int index = static_cast<int>(FRows.size());
      TBookmarkFlag flag = ReadBookmarkFlagHook(buffer);
      if (flag == bfBOF) index = 0;
      if (flag == bfInserted) {
        int before = IndexOfId(BufferId(buffer));
        if (before >= 0) index = before;
      }
      FRows.insert(FRows.begin() + index, std::move(row));
      SetBufferId(buffer, FRows[index].Id);
      FCursor = index;
    }
  }
  void CancelHook() override { Log.push_back("CancelHook"); }
  void DeleteHook() override {
    Log.push_back("DeleteHook");
    if (DeleteFailures > 0) {
      --DeleteFailures;
      throw EDatabaseError("Delete failed");
    }
    int index = IndexOfId(BufferId(ActiveBuffer()));
    if (index < 0) throw EDatabaseError("Record not found");
    FRows.erase(FRows.begin() + index);
    FCursor = index;  // the next record, or the end
  }
  void RefreshHook() override { Log.push_back("RefreshHook"); }

  void DoAfterOpen() override {
    TDataSet::DoAfterOpen();
    Log.push_back("AfterOpenStep");
  }

 private:
  struct Row {
    int Id = 0;
    std::vector<uint8_t> Image;
    std::vector<std::string> Blobs;
  };

  /// Reads and writes the blob beside the active buffer; a written value is
  /// stored when the stream goes away, with a field-change notice.
  class BlobStream : public TDataSetBlobStream {
   public:
    BlobStream(TMemDataSet* owner, TField* field, TBlobStreamMode mode)
        : TDataSetBlobStream(field, mode), FOwner(owner) {
      FBuffer = owner->ActiveRecordBuffer();
      if (FBuffer && mode != bmWrite) {
        const std::string& value = owner->FBlobs[FBuffer][Column()];
        FData.Write(value.data(), value.size());
      }
      FData.SetPosition(0);
      FModified = mode == bmWrite;
      MarkCursorMoved();  // as a storage read may move it
    }
    ~BlobStream() override {
      if (!FModified || !FBuffer) return;
      const auto& bytes = FData.Bytes();
      FOwner->FBlobs[FBuffer][Column()].assign(bytes.begin(), bytes.end());
      FBuffer[FOwner->FOffsets[Column()]] = bytes.empty() ? 0 : 1;
      MarkFieldModified();
    }
    size_t Read(void* buffer, size_t count) override { return FData.Read(buffer, count); }
    size_t Write(const void* buffer, size_t count) override {
      if (Mode() == bmRead) throw EDatabaseError("Cannot modify a read-only blob");
      FModified = true;
      return FData.Write(buffer, count);
    }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override { return FData.Seek(offset, origin); }
    int64_t Size() override { return FData.Size(); }
    void SetSize(int64_t size) override {
      FModified = true;
      FData.SetSize(size);
    }

   private:
    size_t Column() const { return static_cast<size_t>(Field()->FieldNo() - 1); }
    TMemDataSet* FOwner;
    TMemoryStream FData;
    TRecordBuffer FBuffer = nullptr;
    bool FModified = false;
  };

  static bool IsBlobType(TFieldType type) {
    auto field = CreateFieldForType(type);
    return field && field->IsBlob();
  }
  static int IdOf(const TBookmark& bookmark) {
    int id = 0;
    if (bookmark.size() == 4) std::memcpy(&id, bookmark.data(), 4);
    return id;
  }
  int BufferId(TRecordBuffer buffer) const {
    int id;
    std::memcpy(&id, buffer + InfoOffset(), 4);
    return id;
  }
  void SetBufferId(TRecordBuffer buffer, int id) const {
    std::memcpy(buffer + InfoOffset(), &id, 4);
  }
  int IndexOfId(int id) const {
    for (size_t i = 0; i < FRows.size(); ++i)
      if (FRows[i].Id == id) return static_cast<int>(i);
    return -1;
  }
  size_t ColumnIndex(const std::string& name) const {
    for (size_t i = 0; i < FColumns.size(); ++i)
      if (SameText(FColumns[i].Name, name)) return i;
    throw EDatabaseError("No column " + name);
  }
  int ImageSize() {
    FOffsets.clear();
    FSizes.clear();
    int offset = 0;
    for (auto& column : FColumns) {
      auto field = CreateFieldForType(column.Type);
      field->SetSize(column.Size);
      FOffsets.push_back(offset);
      FSizes.push_back(static_cast<size_t>(field->DataSize()));
      offset += 1 + field->DataSize();
    }
    return offset;
  }
  int InfoOffset() const { return FRecordSize + CalcFieldsSize(); }
  int BufferSize() const { return InfoOffset() + 5; }

  bool InRange(const Row& row) const {
    if (!FMasterLink.Active() || FMasterLink.Fields().empty() || DetailFields.empty()) return true;
    std::vector<TField*> detail = GetFieldList(DetailFields);
    for (size_t i = 0; i < detail.size() && i < FMasterLink.Fields().size(); ++i) {
      size_t c = static_cast<size_t>(detail[i]->FieldNo() - 1);
      const uint8_t* cell = row.Image.data() + FOffsets[c];
      Variant master = FMasterLink.Fields()[i]->Value();
      if (!cell[0]) return master.IsNull();
      if (master.IsNull() || VarCompareValue(Variant(NativeToText(c, cell + 1)), master) != vrEqual)
        return false;
    }
    return true;
  }

  // Native values to and from text through a scratch dataset-less field.
  std::string NativeToText(size_t column, const uint8_t* native) const {
    TScratch scratch(FColumns[column], native);
    return scratch.Field->AsString();
  }
  void StoreValue(Row& row, size_t column, const Variant& value) {
    uint8_t* cell = row.Image.data() + FOffsets[column];
    if (value.IsClear()) return;
    if (IsBlobType(FColumns[column].Type)) {
      row.Blobs[column] = value.AsString();
      cell[0] = row.Blobs[column].empty() ? 0 : 1;
      return;
    }
    TScratch scratch(FColumns[column], nullptr);
    scratch.Field->SetValue(value);
    if (scratch.Set.Present) {
      cell[0] = 1;
      std::memcpy(cell + 1, scratch.Set.Value.data(), FSizes[column]);
    }
  }

  // A one-field dataset over a single native value, for converting cells.
  struct TScratch {
    struct Store : TDataSet {
      bool Present = false;
      std::vector<uint8_t> Value;
      bool GetFieldData(TField* field, void* buffer) override {
        if (Present && buffer) std::memcpy(buffer, Value.data(), field->DataSize());
        return Present;
      }
      void PutFieldData(TField* field, const void* buffer) override {
        Present = buffer != nullptr;
        Value.assign(field->DataSize(), 0);
        if (buffer) std::memcpy(Value.data(), buffer, field->DataSize());
      }
      void OpenHook() override {}
      void CloseHook() override {}
      bool HasHandleHook() override { return false; }
      void ReadFieldDefsHook() override {}
      void GoFirstHook() override {}
      void GoLastHook() override {}
      TGetResult FetchRecordHook(TRecordBuffer, TGetMode, bool) override { return grEOF; }
      void GoBookmarkHook(const TBookmark&) override {}
      void GoBufferRecordHook(TRecordBuffer) override {}
      TRecordBuffer NewBufferHook() override { return nullptr; }
      void FreeBufferHook(TRecordBuffer) override {}
      int RecordSizeHook() override { return 0; }
      void ReadBookmarkHook(TRecordBuffer, TBookmark&) override {}
      void WriteBookmarkHook(TRecordBuffer, const TBookmark&) override {}
      TBookmarkFlag ReadBookmarkFlagHook(TRecordBuffer) override { return bfCurrent; }
      void WriteBookmarkFlagHook(TRecordBuffer, TBookmarkFlag) override {}
      void ClearBufferHook(TRecordBuffer) override {}
      void DeleteHook() override {}
    } Set;
    TField* Field;
    TScratch(const Column& column, const uint8_t* native) {
      auto field = CreateFieldForType(column.Type);
      field->SetSize(column.Size);
      if (auto* bcd = dynamic_cast<TBCDField*>(field.get())) bcd->SetPrecision(18);
      Field = Set.AddField(std::move(field));
      if (native) {
        Set.Present = true;
        Set.Value.assign(native, native + Field->DataSize());
      }
    }
  };

  std::vector<Column> FColumns;
  std::vector<int> FOffsets;
  std::vector<size_t> FSizes;
  std::vector<Row> FRows;
  std::map<TRecordBuffer, std::vector<std::string>> FBlobs;
  std::vector<uint8_t> FOldImage;
  TRecordBuffer FKeyBuffer = nullptr;
  TRecordBuffer FSavedKey = nullptr;  // the key when key mode began, for Cancel
  TMasterDataLink FMasterLink;
  int FNextId = 0;
  int FRecordSize = 0;
  int FCursor = -1;
  bool FOpen = false;
};
