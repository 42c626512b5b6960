#include "ui/TransferFrame.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "core/Interaction.h"
#include "import/ImportGlobals.h"
#include "resources/Strings.h"
#include "ui/frmCorvina.h"
#include "ui/modBrowseFolder.h"
#include "ui/modInputOutput.h"

namespace {
struct ActionRow {
  const char* caption;
  qint32 code;
  const char* tips;
};

// Captions keep their blanks: they line up in the list.
const ActionRow Actions[] = {
    {"导    入", 1, "导入指定单个课程，手工做对应！"},
    {"自动导入", 2, "自动导入指定单个课程，专业及指标名称相同时自动对应，不同时自动新建"},
    {"导入多个", 3, "自动导入指定多个课程，专业及指标名称相同时自动对应，不同时自动新建"},
    {"导入全部", 4, "自动导入指定路径（文件夹）下课程，专业及指标名称相同时自动对应，不同时自动新建"},
    {"导    出", 5, "导出指定单个课程！"},
    {"导出全部", 6, "导出所有课程！"},
};

// The multiple selection in the form the rest of the frame reads: the folder,
// then the file names, separated by single blanks.
QString selectionText(const QStringList& files) {
  if (files.size() <= 1) return files.value(0);
  QStringList parts{QFileInfo(files.front()).absolutePath()};
  for (const QString& f : files) parts << QFileInfo(f).fileName();
  return parts.join(QLatin1Char(' '));
}
}  // namespace

TransferFrame::TransferFrame(frmCorvina& owner, QWidget* parent)
    : QGroupBox(QStringLiteral("课程导入导出"), parent), m_owner(owner) {
  setObjectName(QStringLiteral("Frame3"));
  dialogs = defaultDialogs();
  buildControls();
}

TransferFrame::~TransferFrame() = default;

void TransferFrame::buildControls() {
  cboAction = new QComboBox(this);
  cboAction->setObjectName(QStringLiteral("cboAction"));
  cboAction->setGeometry(20, 30, 160, 26);
  lblTips = new QLabel(QStringLiteral("说明"), this);
  lblTips->setObjectName(QStringLiteral("lblTips"));
  lblTips->setGeometry(200, 30, 500, 50);
  lblTips->setWordWrap(true);
  lblTips->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblFiles = new QLabel(QStringLiteral("MDB文件："), this);
  lblFiles->setObjectName(QStringLiteral("lblFiles"));
  lblFiles->setGeometry(20, 100, 80, 26);
  txtFileName = new QLineEdit(this);
  txtFileName->setObjectName(QStringLiteral("txtFileName"));
  txtFileName->setGeometry(100, 100, 520, 26);
  cmdSelectFile = new QPushButton(QStringLiteral("..."), this);
  cmdSelectFile->setObjectName(QStringLiteral("cmdSelectFile"));
  cmdSelectFile->setGeometry(630, 100, 60, 26);
  lblIO = new QLabel(QStringLiteral("导入导出说明："), this);
  lblIO->setObjectName(QStringLiteral("lblIO"));
  lblIO->setGeometry(20, 160, 670, 26);
  lblIO->hide();
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setGeometry(20, 195, 670, 24);
  ProgressBar1->hide();
  cmdIO = new QPushButton(QStringLiteral("导入导出"), this);
  cmdIO->setObjectName(QStringLiteral("cmdIO"));
  cmdIO->setGeometry(20, 250, 120, 30);

  connect(cboAction, &QComboBox::activated, this, [this] { cboAction_Click(); });
  connect(cmdSelectFile, &QPushButton::clicked, this, [this] { cmdSelectFile_Click(); });
  connect(cmdIO, &QPushButton::clicked, this, [this] { cmdIO_Click(); });
}

TransferFrame::Dialogs TransferFrame::defaultDialogs() {
  Dialogs d;
  d.openMdbFile = [this](bool bMulti) {
    const QString filter = QStringLiteral("Access Files(*.mdb) (*.mdb);;All Files (*.*) (*)");
    if (bMulti) return selectionText(QFileDialog::getOpenFileNames(this, QString(), QString(), filter));
    return QFileDialog::getOpenFileName(this, QString(), QString(), filter);
  };
  d.browseFolder = [this](const QString& strTitle, const QString& strInitial) {
    return BrowseForFolder(window(), strTitle, strInitial);
  };
  d.saveMdbFile = [this](const QString& strProposed) -> std::optional<QString> {
    const QString chosen =
        QFileDialog::getSaveFileName(this, QString(), strProposed, QStringLiteral("ACCESS数据库(*.mdb) (*.mdb)"));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
  };
  return d;
}

void TransferFrame::FillActions() {
  cboAction->clear();
  for (const ActionRow& a : Actions) cboAction->addItem(QString::fromUtf8(a.caption), a.code);
  cboAction->setCurrentIndex(0);
  cboAction_Click();
}

void TransferFrame::cboAction_Click() {
  nAction = cboAction->currentData().toInt();
  ShowActionOptions();
}

void TransferFrame::ShowFileControls(bool bShow) {
  lblFiles->setVisible(bShow);
  txtFileName->setVisible(bShow);
  cmdSelectFile->setVisible(bShow);
}

void TransferFrame::ShowActionOptions() {
  if (nAction < 1 || nAction > 6) return;
  lblTips->setText(QString::fromUtf8(Actions[nAction - 1].tips));
  if (nAction >= 5) {
    ShowFileControls(false);
    return;
  }
  lblFiles->setText(nAction == 4 ? QStringLiteral("MDB目录") : QStringLiteral("MDB文件"));
  ShowFileControls(true);
  importGlobals().bAutoMap = nAction != 1;
  bImportFolder = nAction == 4;
  bMultiSelect = nAction == 3;
}

void TransferFrame::cmdSelectFile_Click() {
  const QString chosen =
      bImportFolder ? dialogs.browseFolder(QStringLiteral("选择题库所在文件夹"), QString()) : SelectMdbFile();
  if (!chosen.isEmpty()) txtFileName->setText(chosen);
}

QString TransferFrame::SelectMdbFile() { return dialogs.openMdbFile(bMultiSelect); }

void TransferFrame::cmdIO_Click() {}
