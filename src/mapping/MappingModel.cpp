#include "mapping/MappingModel.h"

#include <exception>

#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "mapping/ImportSession.h"
#include "resources/Strings.h"

namespace {

const QString kPairSeparator = QStringLiteral(" <----> ");

QString captionFor(qint32 step) {
  switch (step) {
    case 1: return QStringLiteral("专业对应");
    case 2: return QStringLiteral("题目指标对应");
    case 3: return QStringLiteral("题目指标分布对应");
    default: return QStringLiteral("对应关系");
  }
}

int linkSelectionMessage(qint32 step) { return step == 1 ? 314 : step == 2 ? 304 : 311; }
int unlinkSelectionMessage(qint32 step) { return step == 1 ? 313 : step == 2 ? 303 : 310; }
constexpr int kProblemTypeMismatch = 348;

bool validStep(qint32 step) { return step >= 1 && step <= 3; }

// Every row of one query as (ID, name) in result order.
struct Item {
  qint32 id;
  QString text;
};
std::vector<Item> readItems(CDataAccess& dal, const QString& sql) {
  Bulk::Query rows = dal.OpenQuery(sql);
  std::vector<Item> items;
  while (rows.next()) items.push_back({rows.at(0).toInt(), rows.value(QStringLiteral("name")).toString()});
  return items;
}

void fill(OrderedMap<QString>& texts, const std::vector<Item>& items) {
  for (const Item& item : items) texts.add(item.id, item.text);
}

}  // namespace

struct MappingModel::Snapshot {
  MappingList source, dest, map;
  bool linkEnabled, unlinkEnabled;
  QString checkMessage;
  PairState pairs;
};

MappingModel::Snapshot MappingModel::snapshot() const {
  return {SourceList, DestList, MapList, LinkEnabled, cmdUnLinkEnabled, strCheckMessage, pairs_};
}

void MappingModel::restore(const Snapshot& s) {
  SourceList = s.source;
  DestList = s.dest;
  MapList = s.map;
  LinkEnabled = s.linkEnabled;
  cmdUnLinkEnabled = s.unlinkEnabled;
  strCheckMessage = s.checkMessage;
  pairs_ = s.pairs;
}

CDataAccess& MappingModel::source() { return session_.ImportSourceDAL(); }
CDataAccess& MappingModel::dest() { return session_.ImportDestDAL(); }

void MappingModel::showMessage(const QString& text) {
  session_.ui().MsgBox(text, {MessageKind::Warning}, Res::str(Res::TransferTitle));
}

IdMap& MappingModel::pairMap() {
  return intStep == 1 ? pairs_.subject : intStep == 2 ? pairs_.feature : pairs_.partition;
}

// ---- load and unload ------------------------------------------------------

void MappingModel::Load() {
  bCancel = false;
  source();
  dest();
  Caption = captionFor(intStep);
  if (intStep == 3) Caption += QStringLiteral(" - ") + featureName();
  LoadMapLists(intStep);
  loaded_ = true;
}

// The exchange feature whose partitions step 3 pairs, so the person knows which.
QString MappingModel::featureName() {
  Bulk::Query rows = source().OpenQuery(QStringLiteral("select name from Feature where FeatureID=?"),
                                        QVariantList{SourceFeatureID});
  return rows.next() ? rows.value(0).toString() : QString();
}

void MappingModel::Unload() {
  loaded_ = false;
  intStep = 0;
  SourceList.Clear();
  DestList.Clear();
  MapList.Clear();
  pairs_ = PairState{};
  LinkEnabled = cmdUnLinkEnabled = false;
  Caption = captionFor(0);
}

void MappingModel::ensureLoaded() {
  if (!loaded_) Load();
}

void MappingModel::LoadMapLists(qint32 step) {
  if (step == 1 || step == 2)
    loadSubjectsOrFeatures(step);
  else if (step == 3)
    loadPartitions();
  else
    return;
  selectFirstEntriesAndEnableButtons(step);
}

// Reads everything before touching the lists, so a failing query changes nothing.
void MappingModel::loadSubjectsOrFeatures(qint32 step) {
  const QString sql = step == 1 ? QStringLiteral("select * from Subject where subjectid>=0")
                                : QStringLiteral("select * from Feature where FeatureNumber=0");
  const std::vector<Item> sourceItems = readItems(source(), sql);
  const std::vector<Item> destItems = readItems(dest(), sql);

  PairState fresh;
  // The subject -1 exists everywhere: never listed, always mapped to itself.
  if (step == 1) fresh.subject.add(-1, -1);
  fill(fresh.sourceText, sourceItems);
  fill(fresh.destText, destItems);

  pairs_ = std::move(fresh);
  SourceList.Clear();
  DestList.Clear();
  for (const Item& item : sourceItems) SourceList.AddItem(item.text, item.id);
  for (const Item& item : destItems) DestList.AddItem(item.text, item.id);
}

void MappingModel::loadPartitions() {
  const std::vector<Item> sourceItems =
      readItems(source(), QStringLiteral("select * from FeaturePartition where FeatureID=") +
                              QString::number(SourceFeatureID));
  const std::vector<Item> destItems = readItems(
      dest(), QStringLiteral("select * from FeaturePartition where FeatureID=") + QString::number(DestFeatureID));

  PairState fresh;
  fill(fresh.sourceText, sourceItems);
  fill(fresh.destText, destItems);

  MappingList map;
  for (const auto& [sourceId, destId] : tmpPartitionMap) {
    map.AddItem(fresh.sourceText.value(sourceId).value_or(QString()) + kPairSeparator +
                    fresh.destText.value(destId).value_or(QString()),
                sourceId);
    fresh.partition.add(sourceId, destId);
  }

  pairs_ = std::move(fresh);
  MapList = std::move(map);
  SourceList.Clear();
  DestList.Clear();
  for (const auto& [id, text] : pairs_.sourceText)
    if (!tmpPartitionMap.contains(id)) SourceList.AddItem(text, id);
  for (const auto& [id, text] : pairs_.destText) DestList.AddItem(text, id);
}

void MappingModel::selectFirstEntriesAndEnableButtons(qint32 step) {
  LinkEnabled = !SourceList.empty() && !DestList.empty();
  SourceList.selectFirst();
  DestList.selectFirst();
  if (step == 3 && !MapList.empty()) {
    MapList.selectFirst();
    cmdUnLinkEnabled = true;
  } else {
    cmdUnLinkEnabled = false;
  }
}

// ---- pairing by hand --------------------------------------------------------

void MappingModel::linkSelection() {
  if (!validStep(intStep)) return;
  if (!SourceList.hasSelection() || !DestList.hasSelection()) {
    showMessage(Res::str(linkSelectionMessage(intStep)));
    return;
  }
  if (intStep == 2 && !CheckFeatureMatch(SourceList.selectedItemData(), DestList.selectedItemData())) {
    showMessage(strCheckMessage);
    return;
  }
  if (intStep == 3 && bProblemType && !CheckProblemTypeMatch()) {
    showMessage(Res::str(kProblemTypeMismatch));
    return;
  }
  linkSelected();
}

// Pairs the two selected entries; the checks have been passed.
void MappingModel::linkSelected() {
  const qint32 sourceId = SourceList.selectedItemData();
  pairMap().add(sourceId, DestList.selectedItemData());
  MapList.AddItem(SourceList.selectedText() + kPairSeparator + DestList.selectedText(), sourceId);
  MapList.selectFirst();

  SourceList.RemoveItem(SourceList.ListIndex);
  SourceList.selectFirst();
  // In step 3 one system partition may stand for several exchange partitions.
  if (intStep != 3) {
    DestList.RemoveItem(DestList.ListIndex);
    DestList.selectFirst();
  }
  if (SourceList.empty() || DestList.empty()) LinkEnabled = false;
  cmdUnLinkEnabled = true;
}

void MappingModel::unlinkSelection() {
  if (!validStep(intStep)) return;
  if (!MapList.hasSelection()) {
    showMessage(Res::str(unlinkSelectionMessage(intStep)));
    return;
  }
  const qint32 sourceId = MapList.selectedItemData();
  const qint32 destId = pairMap().value(sourceId).value_or(0);
  pairMap().remove(sourceId);
  MapList.RemoveItem(MapList.ListIndex);
  if (MapList.empty())
    cmdUnLinkEnabled = false;
  else
    MapList.selectFirst();

  SourceList.AddItem(pairs_.sourceText.value(sourceId).value_or(QString()), sourceId);
  SourceList.selectLast();
  if (intStep != 3) {
    DestList.AddItem(pairs_.destText.value(destId).value_or(QString()), destId);
    DestList.selectLast();
  }
  LinkEnabled = true;
}

// ---- pairing by name --------------------------------------------------------

bool MappingModel::nameMatchAccepted(qint32 step) {
  if (SourceList.selectedText() != DestList.selectedText()) return false;
  if (step == 2) return CheckFeatureMatch(SourceList.selectedItemData(), DestList.selectedItemData());
  if (step == 3 && bProblemType) return CheckProblemTypeMatch();
  return true;
}

// Links the first acceptable pair in list order until none is left. A link
// removes the source entry, and the entries before it found no partner in a
// list that has only lost entries since, so the next search resumes at the
// position of the entry just linked.
void MappingModel::AutoNameMap(qint32 step) {
  unloadOnFailure([this, step] {
    ensureLoaded();
    autoNameMap(step);
  });
}

void MappingModel::autoNameMap(qint32 step) {
  if (!validStep(step)) return;
  int first = 0;
  bool linked = true;
  while (linked && !SourceList.empty()) {
    linked = false;
    for (int i = first; i < SourceList.ListCount() && !linked; ++i) {
      for (int j = 0; j < DestList.ListCount(); ++j) {
        SourceList.ListIndex = i;
        DestList.ListIndex = j;
        if (!nameMatchAccepted(step)) continue;
        linkSelected();
        first = i;
        linked = true;
        break;
      }
    }
  }
}

// ---- buttons ----------------------------------------------------------------

template <class Operation>
void MappingModel::pressButton(Operation&& operation) {
  const Snapshot before = snapshot();
  QString failure;
  try {
    operation();
    return;
  } catch (const DataError& e) {
    failure = e.description();
  } catch (const std::exception& e) {
    failure = QString::fromStdString(e.what());
  }
  restore(before);
  showMessage(failure);
}

void MappingModel::link() {
  pressButton([this] { linkSelection(); });
}
void MappingModel::unlink() {
  pressButton([this] { unlinkSelection(); });
}
void MappingModel::pairByName() {
  pressButton([this] { autoNameMap(intStep); });
}
void MappingModel::reset() {
  pressButton([this] {
    LoadMapLists(intStep);
    if (intStep == 1 || intStep == 2) MapList.Clear();
  });
}
void MappingModel::finish() {
  pressButton([this] {
    if (validStep(intStep)) finishStep(intStep);
  });
}

void MappingModel::cancel() {
  bCancel = true;
  Unload();
}
