#include "crawler/windows/monitor_window.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

namespace harbek::windows {

MonitorWindow::MonitorWindow(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Window), logView_(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("lis"));
  setWindowTitle(QStringLiteral("监视"));
  setWindowIcon(mainWindow->windowIcon());
  logView_->setObjectName(QStringLiteral("Text1"));
  logView_->setReadOnly(true);
  logView_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  logView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(logView_);
  resize(520, 340);
}

void MonitorWindow::showLog(const std::u16string& log) {
  // The text box shows lines, not line-end characters.
  QString shown = QString::fromStdU16String(log);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  logView_->setPlainText(shown);
  logView_->verticalScrollBar()->setValue(logView_->verticalScrollBar()->maximum());
}

}  // namespace harbek::windows
