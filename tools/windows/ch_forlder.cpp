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
  placeBox_ = new QComboBox(this);
  placeBox_->setObjectName("Drive1");

  folders_ = new QFileSystemModel(this);
  folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  folderTree_ = new QTreeView(this);
  folderTree_->setObjectName("Dir1");
  folderTree_->setModel(folders_);
  folderTree_->setHeaderHidden(true);
  for (int column = 1; column < folders_->columnCount(); ++column) folderTree_->hideColumn(column);
  folderTree_->setUniformRowHeights(true);

  chosen_ = new QLabel(this);
  chosen_->setObjectName("chosenFolder");
  chosen_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  chosen_->setFrameShape(QFrame::StyledPanel);
  connect(folderTree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { chosen_->setText(folder()); });

  loadButton_ = new QPushButton("加载", this);
  loadButton_->setObjectName("Command1");
  loadButton_->setDefault(true);
  connect(loadButton_, &QPushButton::clicked, this, &chForlder::load);
  connect(placeBox_, &QComboBox::currentIndexChanged, this, &chForlder::driveChanged);
}

void chForlder::createLayout() {
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(chosen_, 1);
  bottom->addSpacing(8);
  bottom->addWidget(loadButton_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(8);
  layout->addWidget(placeBox_);
  layout->addWidget(folderTree_, 1);
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
  const QSignalBlocker quiet(placeBox_);
  for (const QString& p : places) placeBox_->addItem(p, p);
  placeBox_->setCurrentIndex(start);
  driveChanged(start);
  const QModelIndex current = folders_->index(here);
  folderTree_->setCurrentIndex(current);
  folderTree_->scrollTo(current);
}

void chForlder::driveChanged(int index) {
  const QString place = placeBox_->itemData(index).toString();
  folders_->setRootPath(place);
  folderTree_->setRootIndex(folders_->index(place));
  folderTree_->setCurrentIndex(QModelIndex());
  chosen_->setText(place);
}

QString chForlder::folder() const {
  const QModelIndex current = folderTree_->currentIndex();
  return current.isValid() ? folders_->filePath(current) : placeBox_->currentData().toString();
}

void chForlder::load() {
  const std::string chosen = QFile::encodeName(folder()).toStdString();
  hide();
  web_->loadFolder(chosen);
  close();
}

}  // namespace harbek::tools
