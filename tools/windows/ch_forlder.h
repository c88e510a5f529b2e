// The folder picker `chForlder` ("选择文件夹"): `Drive1` lists the places a
// user starts from (the root folder, the home folder, mounted volumes),
// `Dir1` is the folder tree of the chosen place, and `Command1` ("加载")
// hands the chosen folder to the find-and-replace window and closes.
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

  // The folder Dir1 points at: its selected folder, or the place itself.
  QString folder() const;

 private:
  void createControls();
  void createLayout();
  void fillDrives();
  void driveChanged(int index);  // Drive1
  void load();                   // Command1

  WEBchange* web_;
  QComboBox* Drive1 = nullptr;
  QTreeView* Dir1 = nullptr;
  QFileSystemModel* folders_ = nullptr;
  QLabel* chosen_ = nullptr;
  QPushButton* Command1 = nullptr;
};

}  // namespace harbek::tools
