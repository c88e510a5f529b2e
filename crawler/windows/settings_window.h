// The settings window db_cofing ("系统环境配置"): the site-list address and
// the save folder. It is made once, with the settings as they stand then;
// "=保存=" hands both texts to the controller (which writes sys.ini) and
// hides the window.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QLineEdit;

namespace harbek::windows {

class SettingsWindow : public QWidget {
 public:
  using SaveHandler = std::function<void(const std::u16string& dbpath, const std::u16string& siteListUrl)>;

  SettingsWindow(QWidget* mainWindow, const std::u16string& dbpath, const std::u16string& siteListUrl,
                 SaveHandler onSave);

 private:
  void chooseFolder();
  void save();

  QLineEdit* siteListUrl_;
  QLineEdit* dbpath_;
  SaveHandler onSave_;
};

}  // namespace harbek::windows
