#include "ui/frmImport.h"

#include <QApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "mapping/MappingModel.h"
#include "ui/UserSettings.h"

namespace {

QListWidget* makeList(const QString& name, QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setObjectName(name);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSortingEnabled(false);
  return list;
}

QLabel* makeLabel(const QString& name, const QString& caption, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  return label;
}

void showEntries(QListWidget* widget, const MappingList& list) {
  widget->clear();
  for (const MappingList::Entry& e : list.entries()) {
    auto* item = new QListWidgetItem(e.text, widget);
    item->setData(Qt::UserRole, e.itemData);
  }
  widget->setCurrentRow(list.ListIndex);
  if (list.hasSelection()) widget->scrollToItem(widget->item(list.ListIndex));
}

}  // namespace

frmImport::frmImport(MappingModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName(QStringLiteral("frmImport"));
  setModal(true);
  WithoutMaximiseButton(*this);
  buildControls();
  connectControls();
  render();
}

QPushButton* frmImport::addButton(const QString& name, const QString& caption) {
  auto* button = new QPushButton(caption, this);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

void frmImport::buildControls() {
  MapList_ = makeList(QStringLiteral("MapList"), this);
  SourceList_ = makeList(QStringLiteral("SourceList"), this);
  DestList_ = makeList(QStringLiteral("DestList"), this);
  Link_ = addButton(QStringLiteral("Link"), QStringLiteral("对应(&M)"));
  cmdUnLink_ = addButton(QStringLiteral("cmdUnLink"), QStringLiteral("取消对应(&U)"));
  cmdNameLink_ = addButton(QStringLiteral("cmdNameLink"), QStringLiteral("名称对应(&A)"));
  reset_ = addButton(QStringLiteral("reset"), QStringLiteral("重设(&R)"));
  Finish_ = addButton(QStringLiteral("Finish"), QStringLiteral("下一步(&N) --->"));
  cmdCancel_ = addButton(QStringLiteral("cmdCancel"), QStringLiteral("取消(&C)"));

  lblStep_ = makeLabel(QStringLiteral("lblStep"), QString(), this);

  // Where the person is, then the pairs, the exchange file's items on the
  // left and the system database's on the right, the buttons beside them.
  auto* lists = new QGridLayout;
  lists->addWidget(lblStep_, 0, 0, 1, 2);
  lists->addWidget(MapList_, 1, 0, 1, 2);
  lists->addWidget(makeLabel(QStringLiteral("lblSource"), QStringLiteral("Access数据库"), this), 2, 0);
  lists->addWidget(makeLabel(QStringLiteral("lblDest"), QStringLiteral("系统数据库"), this), 2, 1);
  lists->addWidget(SourceList_, 3, 0);
  lists->addWidget(DestList_, 3, 1);
  lists->setRowStretch(1, 2);
  lists->setRowStretch(3, 3);

  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : {Link_, cmdUnLink_, cmdNameLink_, reset_}) buttons->addWidget(b);
  buttons->addStretch();
  buttons->addWidget(Finish_);
  buttons->addWidget(cmdCancel_);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(lists, 1);
  layout->addLayout(buttons);
  // The design size, less where the screen (at a large scale) is smaller.
  const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
  const QSize room = shown ? shown->availableGeometry().size() - QSize(16, 48) : QSize(640, 480);
  resize(QSize(640, 480).boundedTo(room).expandedTo(minimumSizeHint()));
}

void frmImport::connectControls() {
  const auto follow = [this](QListWidget* widget, MappingList& list) {
    connect(widget, &QListWidget::currentRowChanged, this, [this, &list](int row) {
      if (!rendering_) list.ListIndex = row;
    });
  };
  follow(SourceList_, model_.SourceList);
  follow(DestList_, model_.DestList);
  follow(MapList_, model_.MapList);

  connect(Link_, &QPushButton::clicked, this, &frmImport::Link_Click);
  connect(cmdUnLink_, &QPushButton::clicked, this, &frmImport::cmdUnLink_Click);
  connect(cmdNameLink_, &QPushButton::clicked, this, &frmImport::cmdNameLink_Click);
  connect(reset_, &QPushButton::clicked, this, &frmImport::reset_Click);
  connect(Finish_, &QPushButton::clicked, this, &frmImport::Finish_Click);
  connect(cmdCancel_, &QPushButton::clicked, this, &frmImport::cmdCancel_Click);
}

void frmImport::Link_Click() { press(&MappingModel::link); }
void frmImport::cmdUnLink_Click() { press(&MappingModel::unlink); }
void frmImport::cmdNameLink_Click() { press(&MappingModel::pairByName); }
void frmImport::reset_Click() { press(&MappingModel::reset); }
void frmImport::Finish_Click() { press(&MappingModel::finish); }
void frmImport::cmdCancel_Click() { press(&MappingModel::cancel); }

// The operation may run in the import's thread; the form takes no second
// press meanwhile.
void frmImport::press(void (MappingModel::*operation)()) {
  setEnabled(false);
  model_.press(operation);
  setEnabled(true);
  afterButton();
}

void frmImport::render() {
  rendering_ = true;
  setWindowTitle(model_.Caption);
  // Step 3 comes once per feature: the count says how many are still ahead.
  const QString hint = QStringLiteral("未对应的项将新建");
  lblStep_->setText(model_.nStepCount > 0
                        ? QStringLiteral("第 %1/%2 步：").arg(model_.nStepNumber).arg(model_.nStepCount) + hint
                        : hint);
  showEntries(SourceList_, model_.SourceList);
  showEntries(DestList_, model_.DestList);
  showEntries(MapList_, model_.MapList);
  Link_->setEnabled(model_.LinkEnabled);
  cmdUnLink_->setEnabled(model_.cmdUnLinkEnabled);
  rendering_ = false;
}

void frmImport::afterButton() {
  if (model_.isLoaded())
    render();
  else
    accept();  // finished or cancelled: the form is unloaded
}

void frmImport::reject() {
  if (model_.isLoaded()) model_.cancel();
  QDialog::reject();
}

void showMappingDialog(MappingModel& model) {
  if (!model.isLoaded()) model.press(&MappingModel::Load);
  frmImport form(model, QApplication::activeWindow());
  form.exec();
  if (model.isLoaded()) model.cancel();
}
