// The folder picker `chForlder` ("选择文件夹"): the place list ("Drive1")
// holds the places a user starts from (the root folder, the home folder,
// mounted volumes), the folder tree ("Dir1") shows the chosen place, and the
// load button ("Command1", "加载") hands the chosen folder to the
// find-and-replace window and closes.
#pragma once

#include <QWidget>

class QComboBox;
class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;

namespace harbek::tools {

class WEBchange;

class chForlder : public QWidget {
  Q_OBJECT

 public:
  explicit chForlder(WEBchange* web);

  // The folder the tree points at: its selected folder, or the place itself.
  QString folder() const;

 private:
  void createControls();
  void createLayout();
  void fillDrives();
  void driveChanged(int index);  // the place list
  void load();                   // the load button

  WEBchange* web_;
  QComboBox* placeBox_ = nullptr;
  QTreeView* folderTree_ = nullptr;
  QFileSystemModel* folders_ = nullptr;
  QLabel* chosen_ = nullptr;
  QPushButton* loadButton_ = nullptr;
};

}  // namespace harbek::tools
