#include "fetcher/html_properties.h"

#include <gtest/gtest.h>

#include <vector>

namespace harbek::fetcher {
namespace {

using com::Flag;
using com::Variant;

// Keys in declaration order, with their initial values.
const std::vector<std::pair<std::u16string, Variant>>& initialTable() {
  static const std::vector<std::pair<std::u16string, Variant>> table = {
      {u"url", int16_t{0}},          {u"WaitTime", int16_t{15}},    {u"State", u"0"},
      {u"urlText", u"0"},            {u"comeFromUrl", u"0"},        {u"comeFromText", u"0"},
      {u"HtmlTextor", u"0"},         {u"CharSet", u"GB2312"},       {u"HTMLcode", u"0"},
      {u"isFirstResponse", Flag::kTrue}, {u"getHtmlCodeIsOver", Flag::kTrue}, {u"FileName", u"0"},
      {u"Cookie", u"0"},             {u"host", u"0"},               {u"Location", u"0"},
      {u"contentType", u"0"},        {u"htmlLen", int32_t{0}},      {u"Status", u"0"},
      {u"SendHeader", u"0"},         {u"reHeader", u"0"},           {u"CurrLen", int32_t{0}},
      {u"ReMax", int32_t{0}},        {u"Port", int32_t{80}},        {u"getTagINChost", Flag::kTrue},
      {u"HostIP", u""},
  };
  return table;
}

// Records every write, in order, with its default.
struct RecordingStore : PropertyStore {
  std::vector<std::pair<std::u16string, Variant>> reads, writes;
  std::vector<Variant> defaults;
  Variant read(const std::u16string& key, const Variant& d) override {
    reads.emplace_back(key, d);
    return d;
  }
  void write(const std::u16string& key, const Variant& value, const Variant& d) override {
    writes.emplace_back(key, value);
    defaults.push_back(d);
  }
};

TEST(HtmlProperties, EveryPropertyInOrderWithItsKeyAndInitialValue) {
  HtmlProperties p;
  RecordingStore store;
  p.save(store);
  ASSERT_EQ(store.writes.size(), 25u);
  for (size_t i = 0; i < 25; ++i) {
    EXPECT_EQ(store.writes[i], initialTable()[i]) << i;
    EXPECT_EQ(store.defaults[i], initialTable()[i].second) << i;
  }
  p.load(store);
  EXPECT_EQ(store.reads, initialTable());
}

TEST(HtmlProperties, SaveKeepsOnlyChangedValuesAndLoadRestoresThem) {
  HtmlProperties p;
  MemoryPropertyStore store;
  p.save(store);
  EXPECT_TRUE(store.values().empty());

  p.setFileName(u"/Dir/Page.htm");
  p.setWaitTime(3);
  p.setGetHtmlCodeIsOver(false);
  p.setUrl(std::u16string(u"http://site/"));
  p.setHostIP(u"127.0.0.1");
  p.save(store);
  EXPECT_EQ(store.values().size(), 5u);
  EXPECT_EQ(store.values().at(u"FileName"), Variant(u"/Dir/Page.htm"));
  EXPECT_EQ(store.values().at(u"getHtmlCodeIsOver"), Variant(Flag::kFalse));

  HtmlProperties q;
  q.load(store);
  EXPECT_EQ(q.fileName(), u"/Dir/Page.htm");
  EXPECT_EQ(q.WaitTime(), 3);
  EXPECT_FALSE(q.getHtmlCodeIsOver());
  EXPECT_EQ(q.url(), Variant(std::u16string(u"http://site/")));
  EXPECT_EQ(q.HostIP(), u"127.0.0.1");

  // Back at its initial value, a property leaves the store.
  p.setWaitTime(15);
  p.save(store);
  EXPECT_EQ(store.values().count(u"WaitTime"), 0u);
}

TEST(HtmlProperties, LoadConvertsTextFallsBackOnNonsenseAndSettersMarkTheirKey) {
  MemoryPropertyStore store;
  store.values() = {{u"WaitTime", Variant(u"30")}, {u"Port", Variant(u"not a port")},
                    {u"isFirstResponse", Variant(int32_t{0})}, {u"htmlLen", Variant(u"99999999999")}};
  HtmlProperties p;
  std::vector<std::u16string> marked;
  p.setPropertyChangedHandler([&](std::u16string_view key) { marked.emplace_back(key); });
  p.setPort(8080);
  p.setFileName(u"/x");
  p.load(store);
  EXPECT_EQ(p.WaitTime(), 30);
  EXPECT_EQ(p.Port(), 80);
  EXPECT_FALSE(p.isFirstResponse());
  EXPECT_EQ(p.htmlLen(), 0);
  EXPECT_EQ(marked, (std::vector<std::u16string>{u"Port", u"FileName"}));  // loading marks nothing
}

}  // namespace
}  // namespace harbek::fetcher
