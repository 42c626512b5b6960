#pragma once
#include <QtGlobal>

#include "core/OrderedMap.h"

// The mapping form without its widgets: the lists, the pairs and the three
// finish operations of the import's mapping steps. The Qt dialog frmImport is
// a thin view over it; the import engine drives it directly when mapping
// automatically. One program-wide instance stands for the form.
class MappingModel {
 public:
  // Public variables of the form, set or read by the import engine.
  bool bCancel = false;
  IdMap tmpPartitionMap;
  bool bIntegerType = false;
  bool bProblemType = false;
  qint32 SourceFeatureID = 0;
  qint32 DestFeatureID = 0;
  qint32 intStep = 0;

  bool isLoaded() const { return loaded_; }
  void Load();
  void Unload();

  void AutoNameMap(qint32& step);
  void FinishSubjectMap();
  void FinishFeatureMap();
  void FinishFeaturePartitionMap();
  void cmdCancel_Click();

 private:
  bool loaded_ = false;
};

// The form's program-wide instance.
MappingModel& mappingForm();
