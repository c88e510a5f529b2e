// main() of the Qt test programs: the application object exists for the
// whole run (windows and the Qt loop need it), then GoogleTest runs. Without
// a platform chosen, the tests run offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

namespace {

// The offscreen platform warns about every window property it cannot honour
// (size hints, raising); those lines would bury the test output.
QtMessageHandler standardHandler = nullptr;

void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("This plugin does not support"))) return;
  if (standardHandler) standardHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  standardHandler = qInstallMessageHandler(quietMessages);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int status = RUN_ALL_TESTS();
  // The tests pump events but never run the application's loop, so objects
  // Qt scheduled for deletion may still wait: they go before the application.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return status;
}
