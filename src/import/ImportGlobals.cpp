#include "import/ImportGlobals.h"

#include "data/CDataAccess.h"

CDataAccess& ImportGlobals::ImportSourceDAL() {
  if (!source_) source_ = std::make_unique<CDataAccess>();
  return *source_;
}

CDataAccess& ImportGlobals::ImportDestDAL() {
  if (!dest_) dest_ = std::make_unique<CDataAccess>();
  return *dest_;
}

void ImportGlobals::releaseConnections() {
  source_.reset();
  dest_.reset();
}

ImportGlobals& importGlobals() {
  static ImportGlobals g;
  return g;
}
