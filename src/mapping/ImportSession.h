#pragma once
#include <memory>

#include "core/OrderedMap.h"
#include "core/Transfer.h"

class CDataAccess;
class MappingModel;

// Everything one import needs and nothing else shares: its two connections,
// the ID maps the mapping steps fill, the mapping form's model and whether
// pairing is automatic. Connections are made on first use, in the thread
// that runs the import.
class ImportSession : public TransferSession {
 public:
  explicit ImportSession(Interaction& ui, std::shared_ptr<CancelFlag> cancel = nullptr);
  ~ImportSession();
  ImportSession(const ImportSession&) = delete;
  ImportSession& operator=(const ImportSession&) = delete;

  bool bAutoMap = false;
  // Runs every step, then rolls back: nothing is written, the report says
  // what would have been.
  bool bDryRun = false;

  IdMap SubjectMap;
  IdMap FeatureMap;
  IdMap FeaturePartitionMap;
  // The value map of the feature being paired; FeatureValueMaps keeps the same
  // object for each feature that got value pairs.
  std::shared_ptr<IdMap> PartitionValueMap = std::make_shared<IdMap>();
  OrderedMap<std::shared_ptr<IdMap>> FeatureValueMaps;

  // The exchange file (re-pointed from the system database when opened) and
  // the system database.
  CDataAccess& ImportSourceDAL();
  CDataAccess& ImportDestDAL();
  bool hasSourceDAL() const { return source_ != nullptr; }
  bool hasDestDAL() const { return dest_ != nullptr; }
  MappingModel& mappingForm();

  // Empties the maps for the next file.
  void clearMaps();
  // Drops both connections (the next use creates them again).
  void releaseConnections();

 private:
  std::unique_ptr<CDataAccess> source_;
  std::unique_ptr<CDataAccess> dest_;
  std::unique_ptr<MappingModel> form_;
};
