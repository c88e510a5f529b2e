#include "tools/windows/web_change.h"

#include "tools/windows/replace_entry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "tools/windows/ch_forlder.h"

namespace harbek::tools {
namespace {

// The gap between two rules: 200 layout units of the old screen (1/1440
// inch) at 96 dots per inch.
constexpr int kRuleGap = 13;
// Rules are often pieces of markup over a few lines.
constexpr int kRuleLines = 3;

QString fromPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

}  // namespace

QWidget* openWebChange(QWidget* mainWindow, const QIcon& icon) {
  auto* web = new WEBchange(icon);
  web->setAttribute(Qt::WA_DeleteOnClose);
  if (mainWindow) {
    // The main window is the connection's context: once it is gone, so is
    // the connection.
    QObject::connect(web, &QObject::destroyed, mainWindow, [mainWindow] { mainWindow->show(); });
    mainWindow->hide();
  }
  web->show();
  return web;
}

// The main window hides itself while this one is open and comes back when
// it closes: that is the main window's own business.
QWidget* openReplaceWindow(QWidget* mainWindow) {
  auto* web = new WEBchange(mainWindow ? mainWindow->windowIcon() : QIcon());
  web->setAttribute(Qt::WA_DeleteOnClose);
  return web;
}

WEBchange::WEBchange(const QIcon& icon, QWidget* parent) : QWidget(parent) {
  setObjectName("WEBchange");
  setWindowTitle("网页内容替换");
  setWindowIcon(icon);
  createControls();
  createLayout();
  addRule();
  resize(720, 640);
}

void WEBchange::createControls() {
  folderCaption_ = new QLabel("当前目录", this);
  folderCaption_->setObjectName("Label1");
  currentPath_ = new QLabel(this);
  currentPath_->setObjectName("Label6");
  // A long path must not widen the window; it is cut at the edge instead.
  currentPath_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  currentPath_->setFrameShape(QFrame::StyledPanel);
  currentPath_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  fileCount_ = new QLabel(this);
  fileCount_->setObjectName("Label5");
  fileCount_->setMinimumWidth(fontMetrics().horizontalAdvance("0000000"));
  fileCount_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  fileCount_->setFrameShape(QFrame::StyledPanel);

  fileList_ = new QListWidget(this);
  fileList_->setObjectName("List1");
  fileList_->setUniformItemSizes(true);  // long lists of files stay quick

  chooseFolderButton_ = new QPushButton("加载文件", this);
  chooseFolderButton_->setObjectName("Command1");
  connect(chooseFolderButton_, &QPushButton::clicked, this, &WEBchange::openPicker);

  rulesCaption_ = new QLabel("替换规则", this);
  rulesCaption_->setObjectName("Label3");
  QFont bold = rulesCaption_->font();
  bold.setBold(true);
  rulesCaption_->setFont(bold);
  folderCaption_->setFont(bold);

  ruleGrid_ = new QGridLayout;
  ruleGrid_->setVerticalSpacing(kRuleGap);
  ruleGrid_->setHorizontalSpacing(8);
  ruleGrid_->addWidget(new QLabel("查找内容", this), 0, 0);
  ruleGrid_->addWidget(new QLabel("替换为", this), 0, 2);
  auto* rulePage = new QWidget(this);
  auto* pageLayout = new QVBoxLayout(rulePage);
  pageLayout->addLayout(ruleGrid_);
  pageLayout->addStretch(1);
  ruleArea_ = new QScrollArea(this);
  ruleArea_->setWidgetResizable(true);
  ruleArea_->setWidget(rulePage);
  connect(ruleArea_->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int max) {
    if (!scrollToNewRule_) return;
    scrollToNewRule_ = false;
    ruleArea_->verticalScrollBar()->setValue(max);
  });

  addRuleButton_ = new QPushButton("增加一个替换规则", this);
  addRuleButton_->setObjectName("Command2");
  connect(addRuleButton_, &QPushButton::clicked, this, &WEBchange::addRule);
  replaceButton_ = new QPushButton("执行替换", this);
  replaceButton_->setObjectName("Command3");
  replaceButton_->setDefault(true);
  connect(replaceButton_, &QPushButton::clicked, this, &WEBchange::runReplace);

  // The progress line of a folder search, with its cancel.
  searchProgress_ = new QProgressBar(this);
  searchProgress_->setObjectName("SearchProgress");
  searchProgress_->setRange(0, 0);  // the number of files is not known beforehand
  searchProgress_->setTextVisible(false);
  cancelSearch_ = new QPushButton("取消", this);
  cancelSearch_->setObjectName("CancelSearch");
  connect(cancelSearch_, &QPushButton::clicked, this, [this] { searchCancelled_ = true; });

  status_ = new QLabel(this);
  status_->setObjectName("status");
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

void WEBchange::createLayout() {
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(folderCaption_);
  folderRow->addWidget(currentPath_, 1);
  folderRow->addSpacing(12);
  folderRow->addWidget(new QLabel("文件数", this));
  folderRow->addWidget(fileCount_);

  auto* loadRow = new QHBoxLayout;
  loadRow->addWidget(chooseFolderButton_);
  loadRow->addStretch(1);

  auto* searchRow = new QHBoxLayout;
  searchRow->addWidget(searchProgress_, 1);
  searchRow->addWidget(cancelSearch_);
  searchProgress_->hide();
  cancelSearch_->hide();

  auto* commandRow = new QHBoxLayout;
  commandRow->addWidget(addRuleButton_);
  commandRow->addStretch(1);
  commandRow->addWidget(replaceButton_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 14, 14, 12);
  layout->setSpacing(8);
  layout->addLayout(folderRow);
  layout->addWidget(fileList_, 1);
  layout->addLayout(loadRow);
  layout->addLayout(searchRow);
  layout->addSpacing(6);
  layout->addWidget(rulesCaption_);
  layout->addWidget(ruleArea_, 1);
  layout->addLayout(commandRow);
  layout->addWidget(status_);
}

void WEBchange::addRule() {
  // A new pair goes below the last one, with the same size.
  const int row = static_cast<int>(findBoxes_.size()) + 1;
  for (auto* boxes : {&findBoxes_, &replaceBoxes_}) {
    auto* box = new QPlainTextEdit(this);
    box->setObjectName(boxes == &findBoxes_ ? "rule" : "oRule");
    box->setProperty("Index", static_cast<int>(boxes->size()));
    box->setTabChangesFocus(true);
    box->setFixedHeight(box->fontMetrics().lineSpacing() * kRuleLines + 2 * box->frameWidth() + 8);
    boxes->append(box);
  }
  auto* arrow = new QLabel("→", this);
  arrow->setAlignment(Qt::AlignCenter);
  ruleGrid_->addWidget(findBoxes_.back(), row, 0);
  ruleGrid_->addWidget(arrow, row, 1);
  ruleGrid_->addWidget(replaceBoxes_.back(), row, 2);
  if (row > 1) {
    findBoxes_.back()->setFocus();
    // The rule area scrolls to the new pair once its layout has grown.
    scrollToNewRule_ = true;
  }
}

void WEBchange::openPicker() {
  if (picker_) {
    picker_->raise();
    picker_->activateWindow();
    return;
  }
  picker_ = new chForlder(this);
  picker_->show();
}

void WEBchange::loadFolder(const std::string& folder) {
  setBusy(true);
  // The rules and the list wait; the progress line's cancel stays usable,
  // and the window can be closed at any time (the search ends at once).
  for (QWidget* w :
       {static_cast<QWidget*>(fileList_), static_cast<QWidget*>(ruleArea_), static_cast<QWidget*>(addRuleButton_)}) {
    w->setEnabled(false);
  }
  searchCancelled_ = false;
  searchProgress_->show();
  cancelSearch_->show();
  unreadable_.clear();
  const bool complete = search(folder, u"", *this);
  searchProgress_->hide();
  cancelSearch_->hide();
  for (QWidget* w :
       {static_cast<QWidget*>(fileList_), static_cast<QWidget*>(ruleArea_), static_cast<QWidget*>(addRuleButton_)}) {
    w->setEnabled(true);
  }
  if (searchCancelled_) {
    showStatus(QString("已取消查找,已列出 %1 个文件").arg(fileList_->count()), false);
  } else if (complete) {
    showStatus(QString("已列出 %1 个文件").arg(fileList_->count()), false);
  } else {
    showStatus("以下文件夹无法读取，其中的文件未列出：" + unreadable_.join("；"), true);
  }
  setBusy(false);
}

void WEBchange::runReplace() {
  if (busy_) return;
  setBusy(true);
  changed_ = unchanged_ = skipped_ = 0;
  if (tools::runRules(*this) && !closeRequested_) {
    showStatus(QString("替换完成：修改 %1 个文件，未变 %2 个，跳过 %3 个").arg(changed_).arg(unchanged_).arg(skipped_),
               false);
  }
  setBusy(false);
}

void WEBchange::setBusy(bool busy) {
  busy_ = busy;
  chooseFolderButton_->setEnabled(!busy);
  replaceButton_->setEnabled(!busy);
  if (!busy && closeRequested_) close();
}

void WEBchange::closeEvent(QCloseEvent* event) {
  if (busy_) {
    // The search or run ends at its next file and the window closes then.
    closeRequested_ = true;
    event->ignore();
    return;
  }
  if (picker_) picker_->close();
  event->accept();
}

void WEBchange::showStatus(const QString& text, bool trouble) {
  status_->setStyleSheet(trouble ? "color: #b00020;" : "");
  status_->setText(text);
}

void WEBchange::pumpEvents() { QApplication::processEvents(); }

void WEBchange::fileFound(const std::string& path) {
  const QString shown = fromPath(path);
  // The item keeps the path's own bytes: a name that is not valid UTF-8
  // would not survive the trip through the shown text.
  auto* item = new QListWidgetItem(shown, fileList_);
  item->setData(Qt::UserRole, QByteArray::fromStdString(path));
  // The count goes on from what the label shows, so that a second folder
  // adds to the first.
  fileCount_->setText(QString::number(fileCount_->text().toInt() + 1));
  currentPath_->setText(shown);
}

bool WEBchange::stopRequested() const { return searchCancelled_ || closeRequested_; }

void WEBchange::enteringFolder(const std::string& path) { currentPath_->setText(fromPath(path)); }

void WEBchange::folderUnreadable(const std::string& path, fs::Error error) {
  unreadable_ << fromPath(path) + "（" + QString::fromUtf8(fs::errorName(error)) + "）";
}

bool WEBchange::hasFiles() const { return !closeRequested_ && fileList_->count() > 0; }

std::string WEBchange::lastFile() const {
  return fileList_->item(fileList_->count() - 1)->data(Qt::UserRole).toByteArray().toStdString();
}

void WEBchange::removeLastFile() { delete fileList_->takeItem(fileList_->count() - 1); }

std::vector<Rule> WEBchange::rules() const {
  std::vector<Rule> out;
  for (qsizetype i = 0; i < findBoxes_.size(); ++i) {
    out.push_back({findBoxes_[i]->toPlainText().toStdU16String(), replaceBoxes_[i]->toPlainText().toStdU16String()});
  }
  return out;
}

void WEBchange::handled(const std::string& path, const ReplaceResult& result) {
  switch (result.outcome) {
    case Outcome::kChanged: ++changed_; break;
    case Outcome::kUnchanged: ++unchanged_; break;
    case Outcome::kSkipped: ++skipped_; break;
    case Outcome::kFailed:
      // The file stays in the list, so the run can be started again once
      // the user has fixed it.
      showStatus("替换已停止，文件未改动：" + fromPath(path) + "（" + QString::fromStdString(result.reason) + "）", true);
      break;
  }
}

}  // namespace harbek::tools
