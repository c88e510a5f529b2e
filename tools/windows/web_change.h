// The find-and-replace window `WEBchange` ("网页内容替换") and its entry for
// the main window.
//
// The user writes rules (a find box and a replacement box per rule, objects
// "rule" and "oRule", one pair to start with, more with the add-rule button
// "Command2"), fills the file list "List1" through the folder picker
// ("Command1"), and runs the rules over the list from its end ("Command3").
// The work itself is Treplace and search in tools/; this window shows their
// progress and keeps the user-interface events flowing between files.
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

  // Lists the files under folder into the file list, with a progress line
  // and its cancel ("取消") meanwhile; the folder picker calls it.
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
  void addRule();     // the add-rule button
  void openPicker();  // the choose-folder button
  void runReplace();  // the replace button
  void showStatus(const QString& text, bool trouble);
  // Marks the window busy around a search or a run, so that it is not
  // closed from under them; a close asked for meanwhile happens afterwards.
  void setBusy(bool busy);

  QList<QPlainTextEdit*> findBoxes_;
  QList<QPlainTextEdit*> replaceBoxes_;
  QPushButton* chooseFolderButton_ = nullptr;
  QPushButton* addRuleButton_ = nullptr;
  QPushButton* replaceButton_ = nullptr;
  QListWidget* fileList_ = nullptr;
  QLabel* folderCaption_ = nullptr;
  QLabel* rulesCaption_ = nullptr;
  QLabel* fileCount_ = nullptr;
  QLabel* currentPath_ = nullptr;
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
