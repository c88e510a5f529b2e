#include "crawler/windows/monitor_window.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

namespace harbek::windows {

MonitorWindow::MonitorWindow(QWidget* mainWindow) : QWidget(mainWindow, Qt::Window), text1_(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("lis"));
  setWindowTitle(QStringLiteral("监视"));
  setWindowIcon(mainWindow->windowIcon());
  text1_->setObjectName(QStringLiteral("Text1"));
  text1_->setReadOnly(true);
  text1_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  text1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(text1_);
  resize(520, 340);
}

void MonitorWindow::showLog(const std::u16string& log) {
  // The text box shows lines, not line-end characters.
  QString shown = QString::fromStdU16String(log);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text1_->setPlainText(shown);
  text1_->verticalScrollBar()->setValue(text1_->verticalScrollBar()->maximum());
}

}  // namespace harbek::windows
