#include "mapping/ImportSession.h"

#include "data/CDataAccess.h"
#include "mapping/MappingModel.h"

ImportSession::ImportSession(Interaction& ui, std::shared_ptr<CancelFlag> cancel)
    : TransferSession(ui, std::move(cancel)), form_(std::make_unique<MappingModel>(*this)) {}

ImportSession::~ImportSession() = default;

// The exchange file's connection is opened on it by path; it never needs the
// system database first.
CDataAccess& ImportSession::ImportSourceDAL() {
  if (!source_) source_ = std::make_unique<CDataAccess>(CDataAccess::Unconnected{});
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
