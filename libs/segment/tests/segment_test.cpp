#include <random>

#include <gtest/gtest.h>

#include "libs/segment/dictionary_files.h"
#include "libs/segment/segment.h"
#include "libs/segment/tests/literal_lookup.h"
#include "platform/component/fs_errors.h"
#include "platform/fs/fs.h"
#include "tests/support/temp_dir.h"

namespace harbek::tamsel {
namespace {

using testing::LiteralLookup;

std::string utf8(std::u16string_view s) { return text::toUtf8(s); }

struct Arrays {
  std::vector<std::u16string> index;
  std::vector<std::u16string> dictionary;
};

// The arrays load makes of the files the builder writes for these words.
Arrays arraysFor(const std::vector<std::u16string>& words) {
  DictionaryFiles files;
  EXPECT_EQ(makeDictionaryFiles(words, &files), com::kOk);
  return {indexFromBuffer(files.index + '\0'), dictionaryFromBuffer(files.dictionary + '\0')};
}

TEST(Segmentation, WorkedCasesOnBothLookups) {
  struct Case {
    std::vector<std::u16string> words;
    std::u16string input;
    std::u16string expected;
  } cases[] = {
      {{u"中国", u"人民"}, u"中国人民", u"中国|人民"},
      {{u"中国", u"人民"}, u"ab123", u"ab123"},
      {{u"中国", u"人民"}, u"123", u"123"},
      {{u"人", u"民"}, u"人民", u"人民"},
      {{u"年"}, u"2008年", u"2008年"},
      {{u"中国"}, u"，。！ ", u""},
      {{u"中国"}, u"中国，", u"中国|"},
      {{u"中国", u"人民"}, u"中国，人民。", u"中国|人民|"},
      {{u"中国", u"人民"}, u"中国 人民\r\n中国", u"中国|人民|中国"},
      {{u"中国", u"人民"}, u"中国.人民", u"中国|.人民"},  // "." ends no phrase
      {{u"中国", u"人"}, u"人中国", u"人|中国"},          // a closed piece keeps its separator
      {{u"中国", u"人"}, u"中国人", u"中国|人"},
      {{u"中国"}, u"中国猫", u"中国|猫"},                 // an unknown character joins what follows
      {{u"人"}, u"猫人", u"猫人"},
      {{u"中华", u"中华人民", u"人民"}, u"中华人民", u"中华人民"},  // the longest word first
      {{u"中华人民共和国"}, u"中华人民", u"中华人民"},              // a prefix of a word counts
      {{u"B超", u"检查"}, u"B超检查", u"B超|检查"},
      {{u"手机"}, u"iPhone手机", u"iPhone|手机"},
      {{u"年"}, u"ab年", u"ab|年"},
      {{u"年"}, u"12.5年", u"12.5年"},
      {{u"年"}, u"1e5年", u"1e5年"},
      {{u"年"}, u"&H1F年", u"&H1F年"},
      {{u"年"}, u"1e年", u"1e|年"},
      {{u"年"}, u"x年", u"x年"},  // a one-character run is glued too
      {{u"中国"}, u"", u""},
  };
  for (const auto& c : cases) {
    Arrays a = arraysFor(c.words);
    LiteralLookup literal(a.index, a.dictionary);
    IndexedLookup indexed(a.index, a.dictionary);
    for (const WordLookup* lookup : {static_cast<const WordLookup*>(&literal), static_cast<const WordLookup*>(&indexed)}) {
      std::u16string out;
      ASSERT_EQ(Asegment(c.input, *lookup, &out), com::kOk) << utf8(c.input);
      EXPECT_EQ(utf8(out), utf8(c.expected)) << utf8(c.input) << (lookup == &literal ? " (literal)" : " (indexed)");
    }
  }
}

TEST(Segmentation, WithoutAnIndexOnlyLookupsFail) {
  struct Case {
    std::u16string input;
    HResult code;
    std::u16string expected;
  } cases[] = {
      {u"abc 123", com::kOk, u"abc|123"},
      {u"，", com::kOk, u""},
      {u"中", com::kSubscriptOutOfRange, u""},
      {u"ab，a中", com::kSubscriptOutOfRange, u""},
  };
  segment unloaded;
  LiteralLookup literal({}, {}, false);
  for (const auto& c : cases) {
    std::u16string out, literalOut;
    EXPECT_EQ(unloaded.Asegment(c.input, &out), c.code) << utf8(c.input);
    EXPECT_EQ(Asegment(c.input, literal, &literalOut), c.code) << utf8(c.input);
    if (c.code == com::kOk) {
      EXPECT_EQ(utf8(out), utf8(c.expected));
    }
  }
}

// Random dictionaries, odd ones included (repeated and long index entries,
// blank lines, an index longer than the dictionary), and random text over a
// small alphabet: the indexed lookup must give the literal one's answers and
// errors.
TEST(Segmentation, IndexedLookupAgreesWithLiteralOnRandomText) {
  const std::u16string alphabet = u"中国人民年华a1.，, |";
  std::mt19937 random(7);
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
  auto randomText = [&](size_t maxLength) {
    std::u16string s;
    for (size_t n = pick(maxLength + 1); n > 0; --n) s.push_back(alphabet[pick(alphabet.size())]);
    return s;
  };
  for (int round = 0; round < 300; ++round) {
    Arrays a;
    for (size_t n = pick(8); n > 0; --n) {
      a.index.push_back(pick(10) == 0 ? randomText(2) : std::u16string(1, alphabet[pick(6)]));
      a.dictionary.push_back(randomText(12));
    }
    if (!a.dictionary.empty() && pick(5) == 0) a.dictionary.pop_back();
    LiteralLookup literal(a.index, a.dictionary);
    IndexedLookup indexed(a.index, a.dictionary);
    for (int t = 0; t < 40; ++t) {
      std::u16string input = randomText(16), expected, out;
      HResult want = Asegment(input, literal, &expected);
      ASSERT_EQ(Asegment(input, indexed, &out), want) << utf8(input);
      if (com::succeeded(want)) {
        ASSERT_EQ(utf8(out), utf8(expected)) << utf8(input);
      }
    }
  }
}

TEST(Files, LinesAndTheCodeZeroCharacter) {
  struct Case {
    std::string buffer;
    std::vector<std::u16string> lines;
  } cases[] = {
      {std::string("a\r\nb\r\n\0", 7), {u"a", u"b", std::u16string(1, u'\0')}},
      {std::string("a\r\nb\0", 5), {u"a", std::u16string(u"b\0", 2)}},
      {std::string("a\nb\r\r\n\0", 7), {u"a\nb\r", std::u16string(1, u'\0')}},
      {std::string("\xD6\xD0\xB9\xFA,\xC8\xCB\r\n\0", 10), {u"中国,人", std::u16string(1, u'\0')}},
  };
  for (const auto& c : cases) EXPECT_EQ(dictionaryFromBuffer(c.buffer), c.lines) << c.buffer;
  EXPECT_EQ(unscramble("", kIndexKey), "1");
}

// Words with every kind of first character, one whose trail byte masking can
// turn into no valid trail byte (丂 is 81 40), and every printable ASCII
// character as a first character, so the index's extra last entry would
// collide with a real one unless the writer moves it.
TEST(Files, EveryWrittenWordIsFoundAfterLoad) {
  std::vector<std::u16string> words = {u"中国", u"中国人民", u"丂丂", u"丂", u"B超", u"人", u"中国",
                                       u"", u"a,b", u"x\r\ny", u"😀笑"};
  for (char16_t c = u'!'; c <= u'~'; ++c) words.push_back(std::u16string(1, c) + u"字");
  DictionaryFiles files;
  ASSERT_EQ(makeDictionaryFiles(words, &files), com::kOk);
  EXPECT_EQ(files.skipped, 6u);  // the repeat, the empty word, ",", the line break, the emoji, "," + 字
  EXPECT_EQ(files.words, words.size() - 6);
  EXPECT_NE(files.index.find('\xD6'), std::string::npos);  // lead bytes stay as they are
  EXPECT_EQ(files.index.find("\xD6\xD0\r\n"), std::string::npos);  // but the text is masked

  harbek::testing::TempDir dir;
  segment seg;
  seg.indexPath = text::fromUtf8(dir.write("t.idx", files.index).string());
  seg.dictPath = text::fromUtf8(dir.write("t.dic", files.dictionary).string());
  ASSERT_EQ(seg.load(), com::kOk);
  EXPECT_TRUE(seg.isLoad);
  Arrays a = {indexFromBuffer(files.index + '\0'), dictionaryFromBuffer(files.dictionary + '\0')};
  IndexedLookup lookup(a.index, a.dictionary);
  for (const auto& w : words) {
    if (w.empty() || w.find_first_of(u",\r\n") != std::u16string::npos || w[0] == 0xD83D) continue;
    int found = 0;
    ASSERT_EQ(lookup.inDictionary(w, &found), com::kOk) << utf8(w);
    EXPECT_EQ(found, 1) << utf8(w);
    std::u16string out;
    ASSERT_EQ(seg.Asegment(w, &out), com::kOk);
    EXPECT_FALSE(out.empty()) << utf8(w);
  }
  std::u16string out;
  ASSERT_EQ(seg.Asegment(u"丂丂中国人民", &out), com::kOk);
  EXPECT_EQ(utf8(out), "丂丂|中国人民");
}

TEST(Files, LoadFailsOnAFileItCannotRead) {
  harbek::testing::TempDir dir;
  DictionaryFiles files;
  ASSERT_EQ(makeDictionaryFiles({u"中国", u"人民"}, &files), com::kOk);
  std::string index = dir.write("t.idx", files.index).string();
  std::string dict = dir.write("t.dic", files.dictionary).string();
  std::string missing = dir.file("none").string();
  struct Case {
    std::string index, dict;
    HResult code;
    HResult segmentCode;  // of Asegment("中国人民") afterwards
  } cases[] = {
      {missing, dict, com::kFileNotFound, com::kSubscriptOutOfRange},
      {dir.path().string(), dict, com::fromFsError(fs::Error::kIsFolder), com::kSubscriptOutOfRange},
      // The index is taken; its lines then have no dictionary behind them.
      {index, missing, com::kFileNotFound, com::kSubscriptOutOfRange},
      {index, missing + "/x", com::kFileNotFound, com::kSubscriptOutOfRange},
      {index, dict, com::kOk, com::kOk},
  };
  for (const auto& c : cases) {
    segment seg;
    seg.indexPath = text::fromUtf8(c.index);
    seg.dictPath = text::fromUtf8(c.dict);
    EXPECT_EQ(seg.load(), c.code) << c.index << " " << c.dict;
    EXPECT_EQ(seg.isLoad, c.code == com::kOk);
    std::u16string out;
    EXPECT_EQ(seg.Asegment(u"中国人民", &out), c.segmentCode) << c.index << " " << c.dict;
  }
}

TEST(Files, WordListLines) {
  std::string list = "AT&T 3 nz\nB超 3 n\r\n\n中国人民 20 nt\n丂\n  \nlast 1";
  std::vector<std::u16string> expected = {u"AT&T", u"B超", u"中国人民", u"丂", u"last"};
  EXPECT_EQ(readWordList(list), expected);
}

}  // namespace
}  // namespace harbek::tamsel
