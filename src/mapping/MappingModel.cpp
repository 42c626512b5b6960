#include "mapping/MappingModel.h"

void MappingModel::Load() {
  bCancel = false;
  loaded_ = true;
}

void MappingModel::Unload() {
  loaded_ = false;
  intStep = 0;
}

void MappingModel::AutoNameMap(qint32&) {}
void MappingModel::FinishSubjectMap() { Unload(); }
void MappingModel::FinishFeatureMap() { Unload(); }
void MappingModel::FinishFeaturePartitionMap() { Unload(); }

void MappingModel::cmdCancel_Click() {
  bCancel = true;
  Unload();
}

MappingModel& mappingForm() {
  static MappingModel form;
  return form;
}
