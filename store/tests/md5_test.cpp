#include "store/md5.h"

#include <gtest/gtest.h>

#include "platform/text/text.h"

namespace harbek::store {
namespace {

std::u16string letters(size_t n) {
  std::u16string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char16_t>(u'a' + i % 26));
  return s;
}

TEST(MD5, Digests) {
  struct Case {
    std::u16string text;
    const char* digest;
  } cases[] = {
      // RFC 1321's test suite.
      {u"", "d41d8cd98f00b204e9800998ecf8427e"},
      {u"a", "0cc175b9c0f1b6a831c399e269772661"},
      {u"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {u"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {u"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {u"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      // Around the block boundaries: 56 characters no longer leave room for the length.
      {letters(55), "0d7ae056b2f015cd7dc67494efd658f1"},
      {letters(56), "31fcfb5165169eb55898e7e4cf34d19a"},
      {letters(63), "1b30c0670c15e7da3c2ba7bce77ebe99"},
      {letters(64), "a2eaf6295c32adc403865fd96a2f182b"},
      {letters(65), "eba2cce0ca8df47e62414a736b3105a2"},
      // Double-byte characters, from the character-position message (worked
      // out separately from the rules; a byte MD5 gives other digests, e.g.
      // 5301da37e5ffca1823a5cef67488d4bf for the two bytes of 中).
      {u"中", "6cba308f8d5f2b49971dbb43879a078c"},
      {u"中文", "f3b679619b195beba139fcbb4b486630"},
      {u"a中b", "964019e416c72c2c4ec12f2932d2673d"},
      {u"abc中", "34a3d53acf9543d17b55ca74c71df56d"},
      {u"www.site.com/新闻/index.html", "5c01baf5462b7e934800cc2b91cbd28e"},
  };
  for (const auto& c : cases) EXPECT_EQ(text::toUtf8(MD5()(c.text)), c.digest) << text::toUtf8(c.text);
}

TEST(MD5, MessageWords) {
  struct Case {
    std::u16string text;
    size_t words;
    std::vector<std::pair<size_t, uint32_t>> nonZero;  // every word not listed is 0
  } cases[] = {
      {u"", 16, {{0, 0x80}}},
      {u"abc", 16, {{0, 0x80636261}, {14, 24}}},
      // 中 is D6D0: its trail byte first, then the lead byte, then the sign.
      {u"中", 16, {{0, 0xFFFFD6D0}, {14, 8}}},
      // 文 (CEC4) shifted into the same word is swallowed by 中's sign bytes.
      {u"中文", 16, {{0, 0xFFFFD6D0}, {14, 16}}},
      {u"a中b", 16, {{0, 0xFFF6D061}, {14, 24}}},
      {u"abc中", 16, {{0, 0xD0636261}, {1, 0x80}, {14, 32}}},
  };
  for (const auto& c : cases) {
    std::vector<uint32_t> want(c.words, 0);
    for (auto [i, v] : c.nonZero) want[i] = v;
    EXPECT_EQ(MD5::messageWords(c.text), want) << text::toUtf8(c.text);
  }
  // 56 characters leave no room for the length in the first block.
  EXPECT_EQ(MD5::messageWords(letters(55)).size(), 16u);
  EXPECT_EQ(MD5::messageWords(letters(56)).size(), 32u);
}

}  // namespace
}  // namespace harbek::store
