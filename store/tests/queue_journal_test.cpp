#include "store/queue_journal.h"

#include <deque>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/text/text.h"
#include "store/tests/scratch_folder.h"

namespace harbek::store {
namespace {

class Queue : public UrlList {
 public:
  size_t count() const override { return items.size(); }
  std::u16string itemAt(size_t i) const override { return items.at(i); }
  void removeAt(size_t i) override { items.erase(items.begin() + static_cast<std::ptrdiff_t>(i)); }
  void append(std::u16string item) override { items.push_back(std::move(item)); }
  std::deque<std::u16string> items;
};

using JournalTest = ScratchFolder;

// Each script runs against a journal and a plain queue side by side; after
// every step written, the replay must give the queue as it stood.
TEST_F(JournalTest, ReplayGivesTheQueueAsWritten) {
  struct Step {
    char op;  // s: snapshot, +: append, -: remove head, F: fetching, P: saving to, S: settled, w: write
    std::u16string text;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::u16string inFlightUrl, inFlightFile;
  } cases[] = {
      {"appends and removals",
       {{'s', {}}, {'+', u"http://h/a"}, {'+', u"http://h/中文 b"}, {'-', {}}, {'w', {}}, {'+', u"http://h/c"}, {'w', {}}},
       u"", u""},
      {"a step cut short",
       {{'s', {}}, {'+', u"http://h/a"}, {'w', {}}, {'F', u"http://h/a"}, {'P', u"h/a"}, {'+', u"http://h/x"}},
       u"http://h/a", u"h/a"},
      {"a settled step",
       {{'s', {}}, {'+', u"http://h/a"}, {'F', u"http://h/a"}, {'P', u"h/a"}, {'-', {}}, {'S', {}}, {'w', {}}},
       u"", u""},
      {"a step cut short before its body changed nothing",
       {{'s', {}}, {'+', u"http://h/a"}, {'w', {}}, {'F', u"http://h/a"}, {'+', u"http://h/b"}},
       u"", u""},
      {"a snapshot in the middle of a step keeps it",
       {{'s', {}}, {'+', u"http://h/a"}, {'F', u"http://h/a"}, {'+', u"http://h/b"}, {'s', {}}, {'+', u"http://h/c"}},
       u"http://h/a", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(root_ / "tmp");
    std::filesystem::create_directories(root_ / "tmp");
    QueueJournal journal;
    journal.open((root_ / "tmp").string());
    EXPECT_FALSE(journal.replay());
    Queue queue, written;
    int32_t R = 3, W = 5;
    for (const Step& s : c.steps) {
      switch (s.op) {
        case 's': ASSERT_EQ(journal.snapshot(queue, ++R, ++W), fs::Error::kOk); written = queue; break;
        case '+': queue.append(s.text); journal.appended(s.text); break;
        case '-': queue.removeAt(0); journal.headRemoved(); break;
        case 'F': journal.fetching(s.text); break;
        case 'P': {
          // The partial file's name is in the journal's file (a kill keeps
          // it) before its first byte; no flush is waited for.
          const auto before = std::filesystem::exists(journal.path()) ? std::filesystem::file_size(journal.path()) : 0;
          ASSERT_EQ(journal.savingTo(s.text), fs::Error::kOk);
          EXPECT_GT(std::filesystem::file_size(journal.path()), before);
          written = queue;
          break;
        }
        case 'S': journal.settled(); break;
        case 'w': ASSERT_EQ(journal.write(true), fs::Error::kOk); written = queue; break;
      }
    }
    const auto state = journal.replay();
    ASSERT_TRUE(state);
    EXPECT_EQ(state->Rnum, R);
    EXPECT_EQ(state->Wnum, W);
    EXPECT_EQ(std::deque<std::u16string>(state->queue.begin(), state->queue.end()), written.items);
    EXPECT_EQ(state->inFlightUrl, c.inFlightUrl);
    EXPECT_EQ(state->inFlightFile, c.inFlightFile);
    journal.remove();
    EXPECT_FALSE(journal.replay());
  }
}

// A kill can cut the journal anywhere: every prefix replays to the queue of
// the whole records in it, and a cut inside the first record is no journal.
TEST_F(JournalTest, ACutJournalReplaysItsWholeRecords) {
  std::filesystem::create_directories(root_ / "tmp");
  QueueJournal journal;
  journal.open((root_ / "tmp").string());
  Queue queue;
  queue.append(u"http://h/0");
  ASSERT_EQ(journal.snapshot(queue, 0, 1), fs::Error::kOk);
  const std::string path = journal.path();
  for (int i = 1; i <= 3; ++i) journal.appended(u"http://h/" + text::widen(std::to_string(i)));
  ASSERT_EQ(journal.write(), fs::Error::kOk);
  fs::Bytes whole;
  ASSERT_EQ(fs::readFile(path, whole), fs::Error::kOk);
  const size_t countersEnd = 8 + std::stoul(whole.substr(0, 8));  // the first record's end
  for (size_t cut = 0; cut <= whole.size(); ++cut) {
    ASSERT_EQ(fs::replaceFile(path, whole.substr(0, cut)), fs::Error::kOk);
    const auto state = journal.replay();
    if (cut < countersEnd) {
      EXPECT_FALSE(state) << cut;
      continue;
    }
    ASSERT_TRUE(state) << cut;
    // Items come whole and in order: a prefix of the written queue.
    for (size_t i = 0; i < state->queue.size(); ++i) {
      EXPECT_EQ(state->queue[i], u"http://h/" + text::widen(std::to_string(i))) << cut;
    }
    if (cut == whole.size()) {
      EXPECT_EQ(state->queue.size(), 4u);
    }
  }
}

}  // namespace
}  // namespace harbek::store
