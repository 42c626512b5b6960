#include "mapping/ImportSession.h"

#include "data/CDataAccess.h"
#include "mapping/MappingModel.h"

ImportSession::ImportSession(Interaction& ui, std::shared_ptr<CancelFlag> cancel)
    : TransferSession(ui, std::move(cancel)), form_(std::make_unique<MappingModel>(*this)) {}

ImportSession::~ImportSession() = default;

CDataAccess& ImportSession::ImportSourceDAL() {
  if (!source_) source_ = std::make_unique<CDataAccess>();
  return *source_;
}

CDataAccess& ImportSession::ImportDestDAL() {
  if (!dest_) dest_ = std::make_unique<CDataAccess>();
  return *dest_;
}

MappingModel& ImportSession::mappingForm() { return *form_; }

void ImportSession::clearMaps() {
  SubjectMap.clear();
  FeatureMap.clear();
  FeaturePartitionMap.clear();
  PartitionValueMap = std::make_shared<IdMap>();
  FeatureValueMaps.clear();
}

void ImportSession::releaseConnections() {
  form_->Unload();
  source_.reset();
  dest_.reset();
}
