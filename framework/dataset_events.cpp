// TDataSet: notices to data sources and links, and the field-change step.
#include <algorithm>

#include "datalinks.h"
#include "dataset.h"
#include "fields.h"

void TDataSet::DataEvent(TDataEvent event, TField* field, int distance) {
  switch (event) {
    case deFieldChange:
      if (field) {
        if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) FModified = true;
        field->Change();
        if (FAutoCalcFields && FHasCalcFields && (FState == dsEdit || FState == dsInsert) &&
            field->FieldKind() == fkData) {
          CalculateFields(ActiveBuffer());
          NotifyDataSources(deRecordChange, nullptr, 0);
        }
      }
      break;
    case deFocusControl:
      // Reaches the controls even while they are disabled.
      for (TDataSource* source : std::vector<TDataSource*>(FDataSources))
        source->DataEvent(event, field, distance);
      return;
    default:
      break;
  }
  NotifyDataSources(event, field, distance);
}

void TDataSet::NotifyDataSources(TDataEvent event, TField* field, int distance) {
  if (FDisableCount > 0) {
    // Controls are told once at EnableControls (a layout change or a close
    // asks them to rebuild); detail datasets keep following the records.
    if (event == deLayoutChange || (event == deUpdateState && FState == dsInactive))
      FEnableEvent = deLayoutChange;
    for (TDataSource* source : std::vector<TDataSource*>(FDataSources))
      source->DetailEvent(event, field, distance);
    return;
  }
  for (TDataSource* source : std::vector<TDataSource*>(FDataSources))
    source->DataEvent(event, field, distance);
}

void TDataSet::AddDataSource(TDataSource* source) {
  FDataSources.push_back(source);
  if (FActive) UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* source) {
  FDataSources.erase(std::remove(FDataSources.begin(), FDataSources.end(), source),
                     FDataSources.end());
}
