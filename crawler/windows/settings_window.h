// The settings window db_cofing ("系统环境配置"): the site-list address, the
// save folder, whether a finished copy's links are converted for offline
// browsing, and the request fields (User-Agent, no certificate checks, a file
// of trusted certificates), and the scope of a copy ("范围": pages with a
// query, requisites of other sites, depth, path patterns, size and file
// limits, robots.txt). It is made once, with the settings as they stand
// then; "=保存=" hands them to the controller (which writes sys.ini) and
// hides the window.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace harbek::windows {

struct RequestFields {
  std::u16string userAgent;
  bool noCheckCertificate = false;
  std::u16string caCertificate;
  bool queryPages = false;  // follow same-site links with a query
  bool pageRequisites = false;  // fetch requisites from other sites
  // The scope, as the settings keep it (crawl_scope.h): -1 and 0 are "none".
  int32_t depth = -1;
  std::u16string include;
  std::u16string exclude;
  int64_t maxSize = 0;
  int64_t maxFiles = 0;
  bool robots = false;
  int32_t connections = 1;  // requests at once
};

class SettingsWindow : public QWidget {
  Q_OBJECT

 public:
  // Empty when the settings were taken; otherwise why not, shown in the
  // window, which then stays open.
  using SaveHandler = std::function<std::u16string(const std::u16string& dbpath, const std::u16string& siteListUrl,
                                         bool convertLinks, const RequestFields& request)>;

  SettingsWindow(QWidget* mainWindow, const std::u16string& dbpath, const std::u16string& siteListUrl,
                 bool convertLinks, const RequestFields& request, SaveHandler onSave);

 private:
  QWidget* makeRequestFrame(const RequestFields& request);
  QWidget* makeScopeFrame(const RequestFields& request);
  void chooseFolder();
  void chooseCaFile();
  void save();

  QLineEdit* siteListUrl_;
  QLineEdit* dbpath_;
  QCheckBox* convertLinks_;
  QLabel* refusal_ = nullptr;
  QLineEdit* userAgent_ = nullptr;
  QCheckBox* noCheckCertificate_ = nullptr;
  QSpinBox* connections_ = nullptr;
  QCheckBox* queryPages_ = nullptr;
  QCheckBox* pageRequisites_ = nullptr;
  QLineEdit* caCertificate_ = nullptr;
  QSpinBox* depth_ = nullptr;
  QLineEdit* include_ = nullptr;
  QLineEdit* exclude_ = nullptr;
  QLineEdit* maxSize_ = nullptr;
  QSpinBox* maxFiles_ = nullptr;
  QCheckBox* robots_ = nullptr;
  SaveHandler onSave_;
};

}  // namespace harbek::windows
