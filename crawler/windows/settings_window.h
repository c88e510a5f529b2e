// The settings window db_cofing ("系统环境配置"): the site-list address,
// the save folder and whether a finished copy's links are converted for
// offline browsing. It is made once, with the settings as they stand then;
// "=保存=" hands them to the controller (which writes sys.ini) and hides the
// window.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QCheckBox;
class QLineEdit;

namespace harbek::windows {

class SettingsWindow : public QWidget {
 public:
  using SaveHandler =
      std::function<void(const std::u16string& dbpath, const std::u16string& siteListUrl, bool convertLinks)>;

  SettingsWindow(QWidget* mainWindow, const std::u16string& dbpath, const std::u16string& siteListUrl,
                 bool convertLinks, SaveHandler onSave);

 private:
  void chooseFolder();
  void save();

  QLineEdit* siteListUrl_;
  QLineEdit* dbpath_;
  QCheckBox* convertLinks_;
  SaveHandler onSave_;
};

}  // namespace harbek::windows
