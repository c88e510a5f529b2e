#include "tools/windows/ch_forlder.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

#include "tools/windows/web_change.h"

namespace harbek::tools {
namespace {

// Where removable and extra volumes are mounted on a Linux desktop.
bool isUserVolume(const QStorageInfo& volume) {
  const QString root = volume.rootPath();
  return volume.isValid() && volume.isReady() && QFileInfo(root).isDir() &&
         (root.startsWith("/media/") || root.startsWith("/mnt/") || root.startsWith("/run/media/"));
}

}  // namespace

chForlder::chForlder(WEBchange* web) : QWidget(web, Qt::Window), web_(web) {
  setObjectName("chForlder");
  setWindowTitle("选择文件夹");
  setWindowIcon(web->windowIcon());
  setAttribute(Qt::WA_DeleteOnClose);
  createControls();
  createLayout();
  fillDrives();
  resize(380, 460);
}

void chForlder::createControls() {
  Drive1 = new QComboBox(this);
  Drive1->setObjectName("Drive1");

  folders_ = new QFileSystemModel(this);
  folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  Dir1 = new QTreeView(this);
  Dir1->setObjectName("Dir1");
  Dir1->setModel(folders_);
  Dir1->setHeaderHidden(true);
  for (int column = 1; column < folders_->columnCount(); ++column) Dir1->hideColumn(column);
  Dir1->setUniformRowHeights(true);

  chosen_ = new QLabel(this);
  chosen_->setObjectName("chosenFolder");
  chosen_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  chosen_->setFrameShape(QFrame::StyledPanel);
  connect(Dir1->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { chosen_->setText(folder()); });

  Command1 = new QPushButton("加载", this);
  Command1->setObjectName("Command1");
  Command1->setDefault(true);
  connect(Command1, &QPushButton::clicked, this, &chForlder::load);
  connect(Drive1, &QComboBox::currentIndexChanged, this, &chForlder::driveChanged);
}

void chForlder::createLayout() {
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(chosen_, 1);
  bottom->addSpacing(8);
  bottom->addWidget(Command1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(8);
  layout->addWidget(Drive1);
  layout->addWidget(Dir1, 1);
  layout->addLayout(bottom);
}

void chForlder::fillDrives() {
  QStringList places = {"/", QDir::homePath()};
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (isUserVolume(volume) && !places.contains(volume.rootPath())) places << volume.rootPath();
  }
  places.removeDuplicates();
  // The picker starts where the program was started, as a file dialog does:
  // on the place that holds the working folder, with that folder chosen.
  const QString here = QDir::currentPath();
  int start = 0;
  for (int i = 0; i < places.size(); ++i) {
    const QString& p = places[i];
    const bool holds = here == p || here.startsWith(p.endsWith('/') ? p : p + '/');
    if (holds && p.size() >= places[start].size()) start = i;
  }
  const QSignalBlocker quiet(Drive1);
  for (const QString& p : places) Drive1->addItem(p, p);
  Drive1->setCurrentIndex(start);
  driveChanged(start);
  const QModelIndex current = folders_->index(here);
  Dir1->setCurrentIndex(current);
  Dir1->scrollTo(current);
}

void chForlder::driveChanged(int index) {
  const QString place = Drive1->itemData(index).toString();
  folders_->setRootPath(place);
  Dir1->setRootIndex(folders_->index(place));
  Dir1->setCurrentIndex(QModelIndex());
  chosen_->setText(place);
}

QString chForlder::folder() const {
  const QModelIndex current = Dir1->currentIndex();
  return current.isValid() ? folders_->filePath(current) : Drive1->currentData().toString();
}

void chForlder::load() {
  const std::string chosen = QFile::encodeName(folder()).toStdString();
  hide();
  web_->loadFolder(chosen);
  close();
}

}  // namespace harbek::tools
