// The find-and-replace window and the folder picker, driven through their
// widgets offscreen: rules typed into boxes added with the button, a folder
// picked in the picker, the files it lists, the run, and the files on disk.
// Screenshots of both windows land in the build's screenshots folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "platform/text/text.h"
#include "tests/support/temp_dir.h"
#include "tools/windows/web_change.h"

QT_BEGIN_NAMESPACE
void PrintTo(const QRect& r, std::ostream* os) {
  *os << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}
QT_END_NAMESPACE

namespace harbek::tools {
namespace {

using harbek::testing::readFile;
using harbek::testing::TempDir;

template <typename T>
T* child(QWidget* window, const char* name) {
  T* found = window->findChild<T*>(name);
  EXPECT_NE(found, nullptr) << name;
  return found;
}

QWidget* topLevel(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == name && w->isVisible()) return w;
  }
  return nullptr;
}

QPlainTextEdit* box(QWidget* window, const char* array, int index) {
  for (auto* b : window->findChildren<QPlainTextEdit*>(array)) {
    if (b->property("Index").toInt() == index) return b;
  }
  ADD_FAILURE() << array << index;
  return nullptr;
}

void screenshot(QWidget* window, const char* file) {
  QDir().mkpath(HARBEK_SCREENSHOT_DIR);
  EXPECT_TRUE(window->grab().save(QString(HARBEK_SCREENSHOT_DIR "/") + file)) << file;
}

QString native(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

TEST(ReplaceWindows, RulesAddedPickedFolderListedAndRunOverItsFiles) {
  TempDir dir;
  const std::string utf8Ad = text::toUtf8(u"<p>广告 a</p>");
  const std::string gbkAd = text::toCodePage(u"<p>广告 a</p>");
  struct File {
    const char* name;
    std::string before, after;
  } files[] = {
      {"index.html", utf8Ad, text::toUtf8(u"<p>新闻 c</p>")},
      {"gbk.htm", gbkAd, text::toCodePage(u"<p>新闻 c</p>")},
      {"logo.gif", "a", "a"},
      {".hidden", "b", "c"},
      {"news/page.htm", "ab", "cc"},
  };
  for (const auto& f : files) dir.write(f.name, f.before);
  // What the picker must list: a folder's files by name, then its subfolders.
  const QStringList listed = {native(dir.file(".hidden")), native(dir.file("gbk.htm")), native(dir.file("index.html")),
                              native(dir.file("logo.gif")), native(dir.file("news/page.htm"))};

  QWidget main;
  main.setWindowTitle("main");
  main.show();
  QPixmap pixels(32, 32);
  pixels.fill(Qt::darkCyan);
  const QIcon icon(pixels);
  QPointer<QWidget> web = openWebChange(&main, icon);
  ASSERT_TRUE(web);
  EXPECT_FALSE(main.isVisible());
  EXPECT_EQ(web->windowTitle(), "网页内容替换");

  // Three rules: the first box and two more added with the button.
  QTest::mouseClick(child<QPushButton>(web, "Command2"), Qt::LeftButton);
  QTest::mouseClick(child<QPushButton>(web, "Command2"), Qt::LeftButton);
  const std::pair<const char16_t*, const char16_t*> rules[] = {{u"广告", u"新闻"}, {u"a", u"b"}, {u"b", u"c"}};
  for (int i = 0; i < 3; ++i) {
    box(web, "rule", i)->setPlainText(QString::fromStdU16String(rules[i].first));
    box(web, "oRule", i)->setPlainText(QString::fromStdU16String(rules[i].second));
  }
  EXPECT_EQ(web->findChildren<QPlainTextEdit*>("rule").size(), 3);
  QTest::qWait(50);  // the layouts place the new boxes
  for (const char* array : {"rule", "oRule"}) {
    // Each new box sits below the one before, at the same left and size.
    const QRect above = box(web, array, 1)->geometry(), below = box(web, array, 2)->geometry();
    EXPECT_EQ(below, QRect(above.left(), above.top() + above.height() + 13, above.width(), above.height())) << array;
  }

  // The picker: the root place, then the test's folder in the tree.
  QTest::mouseClick(child<QPushButton>(web, "Command1"), Qt::LeftButton);
  QPointer<QWidget> picker = topLevel("chForlder");
  ASSERT_TRUE(picker);
  EXPECT_EQ(picker->windowTitle(), "选择文件夹");
  EXPECT_EQ(picker->windowIcon().cacheKey(), web->windowIcon().cacheKey());
  auto* drives = child<QComboBox>(picker, "Drive1");
  drives->setCurrentIndex(drives->findData("/"));
  auto* tree = child<QTreeView>(picker, "Dir1");
  auto* model = qobject_cast<QFileSystemModel*>(tree->model());
  ASSERT_NE(model, nullptr);
  const QModelIndex folder = model->index(native(dir.path()));
  tree->setCurrentIndex(folder);
  tree->scrollTo(folder);
  QTest::qWait(300);  // the model reads folders in the background
  screenshot(picker, "chForlder.png");
  QTest::mouseClick(child<QPushButton>(picker, "Command1"), Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return picker.isNull(); }, 2000));
  EXPECT_TRUE(web->isEnabled());

  auto* list = child<QListWidget>(web, "List1");
  QStringList shown;
  for (int i = 0; i < list->count(); ++i) shown << list->item(i)->text();
  EXPECT_EQ(shown, listed);
  EXPECT_EQ(child<QLabel>(web, "Label5")->text(), QString::number(listed.size()));
  EXPECT_EQ(child<QLabel>(web, "Label6")->text(), listed.back());
  screenshot(web, "WEBchange.png");

  QTest::mouseClick(child<QPushButton>(web, "Command3"), Qt::LeftButton);
  EXPECT_EQ(list->count(), 0);
  for (const auto& f : files) EXPECT_EQ(readFile(dir.file(f.name)), f.after) << f.name;

  web->close();
  EXPECT_TRUE(QTest::qWaitFor([&] { return web.isNull(); }, 2000));
  EXPECT_TRUE(main.isVisible());
}

// A folder search shows a progress line whose cancel ends it at once; the
// window can be closed in the middle of a search, which then ends.
TEST(ReplaceWindows, AFolderSearchCanBeCancelledAndTheWindowClosed) {
  TempDir dir;
  for (int i = 0; i < 200; ++i) dir.write("f" + std::to_string(i) + ".htm", "x");
  auto* web = new WEBchange(QIcon());
  web->setAttribute(Qt::WA_DeleteOnClose);
  web->show();
  QPointer<WEBchange> alive(web);
  auto* cancel = child<QPushButton>(web, "CancelSearch");
  auto* list = child<QListWidget>(web, "List1");
  QTimer::singleShot(0, cancel, [cancel] {
    EXPECT_TRUE(cancel->isVisible());
    cancel->click();
  });
  web->loadFolder(dir.path().string());
  EXPECT_LT(list->count(), 200);
  EXPECT_FALSE(cancel->isVisible());

  const int before = list->count();
  QTimer::singleShot(0, web, [web] { web->close(); });
  web->loadFolder(dir.path().string());
  EXPECT_LT(list->count(), before + 200);
  EXPECT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }, 2000));
}

}  // namespace
}  // namespace harbek::tools

// The application must outlive every window and be gone before the program
// ends, so it lives on main's stack rather than in a static.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
