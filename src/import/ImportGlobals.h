#pragma once
#include <memory>

#include "core/OrderedMap.h"

class CDataAccess;

// The program-wide state that the import engine and the mapping form share.
struct ImportGlobals {
  bool bAutoMap = false;

  IdMap SubjectMap;
  IdMap FeatureMap;
  IdMap FeaturePartitionMap;
  // The value map of the feature being paired; FeatureValueMaps keeps the same
  // object for each feature that got value pairs.
  std::shared_ptr<IdMap> PartitionValueMap = std::make_shared<IdMap>();
  OrderedMap<std::shared_ptr<IdMap>> FeatureValueMaps;

  // Created on first use: a new data access object connects to the system
  // database from the stored settings.
  CDataAccess& ImportSourceDAL();
  CDataAccess& ImportDestDAL();
  bool hasSourceDAL() const { return source_ != nullptr; }
  bool hasDestDAL() const { return dest_ != nullptr; }
  // Drops both connections (the next use creates them again).
  void releaseConnections();

 private:
  std::unique_ptr<CDataAccess> source_;
  std::unique_ptr<CDataAccess> dest_;
};

ImportGlobals& importGlobals();
