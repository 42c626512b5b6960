#pragma once
#include <QString>
#include <QtGlobal>

#include <functional>

#include "core/OrderedMap.h"
#include "mapping/MappingList.h"

class CDataAccess;
class ImportSession;

// The mapping form without its widgets: the lists, the pairs and the three
// finish operations of the import's mapping steps. The Qt dialog frmImport is
// a thin view over it; the import engine drives it directly when mapping
// automatically. Each import session has its own.
//
// Step 1 pairs subjects, step 2 user-defined features, step 3 the partitions
// of one feature. Between load and unload the step's pair map and MapList hold
// the same pairs, SourceList the exchange items not yet paired and, in steps 1
// and 2, DestList the system items not yet paired.
class MappingModel {
 public:
  explicit MappingModel(ImportSession& session) : session_(session) {}
  MappingModel(const MappingModel&) = delete;
  MappingModel& operator=(const MappingModel&) = delete;

  // Public variables of the form, set or read by the import engine.
  bool bCancel = false;
  IdMap tmpPartitionMap;
  bool bIntegerType = false;
  bool bProblemType = false;
  qint32 SourceFeatureID = 0;
  qint32 DestFeatureID = 0;
  qint32 intStep = 0;
  // Where the person is among the steps of this file: step nStepNumber of
  // nStepCount (0 when the form is not shown).
  qint32 nStepNumber = 0;
  qint32 nStepCount = 0;

  // The form's controls as the view shows them.
  MappingList SourceList;
  MappingList DestList;
  MappingList MapList;
  bool LinkEnabled = false;
  bool cmdUnLinkEnabled = false;
  QString Caption = QStringLiteral("对应关系");
  QString strCheckMessage;  // why the last feature check failed

  bool isLoaded() const { return loaded_; }
  // Loading reads the lists of intStep from ImportSourceDAL and ImportDestDAL.
  void Load();
  void Unload();
  void LoadMapLists(qint32 step);

  // Pairing by name and the finish operations, which the import engine calls
  // directly when mapping automatically. They raise what the databases raise
  // and unload the form when they fail, so that the next import starts from
  // freshly loaded lists.
  void AutoNameMap(qint32 step);
  void FinishSubjectMap();
  void FinishFeatureMap();
  void FinishFeaturePartitionMap();

  // Runs an operation (a button, Load) where the model's connections live:
  // directly, or through engineCall when the form is shown by another thread
  // than the import's.
  using Button = void (MappingModel::*)();
  void press(Button button) {
    if (engineCall)
      engineCall([this, button] { (this->*button)(); });
    else
      (this->*button)();
  }
  std::function<void(const std::function<void()>&)> engineCall;

  // What a person does with the form: a failure is shown in a message box
  // and leaves lists and pairs as they were before.
  void link();        // pairs the selected entries
  void unlink();      // parts the selected pair
  void pairByName();  // pairs every entry with the partner of the same name
  void reset();       // back to the lists as loaded
  void finish();      // ends the step, creating what stays unpaired if the person agrees
  // Ends the import: the form is unloaded with bCancel set.
  void cancel();

  // The checks a proposed pair must pass.
  bool CheckFeatureMatch(qint32 SourceID, qint32 DestID);
  bool CheckProblemTypeMatch();
  // A Minimum for a new partition of the system feature nFeatureID that none
  // of its partitions uses yet, nMinimum when that is free.
  qint32 GetFreePartitionValue(qint32 nMinimum, qint32 nFeatureID);
  // The SQL value list of the exchange items still unpaired, as the finish
  // operation of step reads them: "(12,15)", in step 2 "(0,12,15)".
  QString UnmappedIdList(qint32 step) const;

  // Pair maps: exchange ID to system ID, per step.
  const IdMap& SubjectPairMap() const { return pairs_.subject; }
  const IdMap& FeaturePairMap() const { return pairs_.feature; }
  const IdMap& PartitionPairMap() const { return pairs_.partition; }
  const OrderedMap<QString>& SourceTextMap() const { return pairs_.sourceText; }
  const OrderedMap<QString>& DestTextMap() const { return pairs_.destText; }

 private:
  struct PairState {
    IdMap subject, feature, partition;
    OrderedMap<QString> sourceText, destText;
  };
  struct Snapshot;
  Snapshot snapshot() const;
  void restore(const Snapshot& s);
  template <class Operation>
  void pressButton(Operation&& operation);

  template <class Operation>
  void unloadOnFailure(Operation&& operation) {
    try {
      operation();
    } catch (...) {
      Unload();
      throw;
    }
  }
  void ensureLoaded();
  QString featureName();
  void autoNameMap(qint32 step);
  IdMap& pairMap();
  CDataAccess& source();
  CDataAccess& dest();
  void showMessage(const QString& text);
  void loadSubjectsOrFeatures(qint32 step);
  void loadPartitions();
  void selectFirstEntriesAndEnableButtons(qint32 step);
  void linkSelection();
  void unlinkSelection();
  void linkSelected();
  bool nameMatchAccepted(qint32 step);
  void finishStep(qint32 step);
  bool confirmCreation(qint32 step) const;
  void createUnmappedItems(qint32 step, IdMap& pairs);

  ImportSession& session_;
  PairState pairs_;
  bool loaded_ = false;
};
