// The find-and-replace window `WEBchange` ("网页内容替换") and its entry for
// the main window.
//
// The user writes rules (a find box in `rule` and a replacement box in
// `oRule` per rule, one pair to start with, more with `Command2`), fills
// `List1` with files through the folder picker (`Command1`), and runs the
// rules over the list from its end (`Command3`). The work itself is
// Treplace and search in tools/; this window shows their progress and keeps
// the user-interface events flowing between files.
#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

#include "tools/file_search.h"
#include "tools/treplace.h"

class QCloseEvent;
class QGridLayout;
class QIcon;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;

namespace harbek::tools {

class chForlder;

// Opens WEBchange with the given icon and hides mainWindow until WEBchange
// closes (closing deletes it). mainWindow may be null.
QWidget* openWebChange(QWidget* mainWindow, const QIcon& icon);

class WEBchange : public QWidget, public SearchView, public ReplaceRunHost {
  Q_OBJECT

 public:
  explicit WEBchange(const QIcon& icon, QWidget* parent = nullptr);

  // Lists the files under folder into List1, with a progress line and its
  // cancel ("取消") meanwhile; the folder picker calls it.
  void loadFolder(const std::string& folder);

  // SearchView and ReplaceRunHost
  void pumpEvents() override;
  void fileFound(const std::string& path) override;
  void enteringFolder(const std::string& path) override;
  void folderUnreadable(const std::string& path, fs::Error error) override;
  bool stopRequested() const override;
  bool hasFiles() const override;
  std::string lastFile() const override;
  void removeLastFile() override;
  std::vector<Rule> rules() const override;
  void handled(const std::string& path, const ReplaceResult& result) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void createControls();
  void createLayout();
  void addRule();     // Command2
  void openPicker();  // Command1
  void runReplace();  // Command3
  void showStatus(const QString& text, bool trouble);
  // Marks the window busy around a search or a run, so that it is not
  // closed from under them; a close asked for meanwhile happens afterwards.
  void setBusy(bool busy);

  QList<QPlainTextEdit*> rule;
  QList<QPlainTextEdit*> oRule;
  QPushButton* Command1 = nullptr;
  QPushButton* Command2 = nullptr;
  QPushButton* Command3 = nullptr;
  QListWidget* List1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* searchProgress_ = nullptr;
  QPushButton* cancelSearch_ = nullptr;
  bool searchCancelled_ = false;
  QGridLayout* ruleGrid_ = nullptr;
  QScrollArea* ruleArea_ = nullptr;
  QPointer<chForlder> picker_;

  bool scrollToNewRule_ = false;
  bool busy_ = false;
  bool closeRequested_ = false;
  int changed_ = 0, unchanged_ = 0, skipped_ = 0;
  QStringList unreadable_;
};

}  // namespace harbek::tools
