#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "libs/url/tests/url_cases.h"
#include "libs/url/web_url_interface.h"
#include "platform/component/runtime.h"
#include "platform/shell/tests/recording_opener.h"

namespace harbek::url {
namespace {

using com::ComPtr;
using com::DispId;
using com::IDispatch;
using com::InvokeKind;

std::string u8(std::u16string_view s) { return text::toUtf8(s); }

template <class I>
ComPtr<I> byClassId(const Guid& clsid) {
  ComPtr<I> obj;
  std::string message;
  EXPECT_EQ(com::create(clsid, obj, &message), com::kOk) << message;
  return obj;
}

ComPtr<IDispatch> byName(const char* name) {
  ComPtr<IDispatch> obj;
  std::string message;
  EXPECT_EQ(com::createByName(name, obj, &message), com::kOk) << name << ": " << message;
  return obj;
}

// Calls a member by name, as a late-bound caller does.
com::HResult call(IDispatch& obj, std::u16string_view member, std::vector<Variant> args, Variant* result) {
  DispId id = 0;
  com::HResult h = obj.getIdOfName(member, &id);
  if (com::failed(h)) return h;
  return obj.invoke(id, InvokeKind::Method, args, result);
}

TEST(UrlComponents, RightUrlThroughTypedAndDispatchInterfaces) {
  ComPtr<IWebUrl> vornet = byClassId<IWebUrl>(kVornetClsid);
  ComPtr<ICorvinWebUrl> corvin = byClassId<ICorvinWebUrl>(kCorvinClsid);
  ASSERT_TRUE(vornet && corvin);
  ComPtr<IDispatch> lateVornet = byName("vornet.WebUrl"), lateCorvin = byName("corvin.WebUrl");
  ASSERT_TRUE(lateVornet && lateCorvin);
  for (const auto& c : testing::rightUrlCases()) {
    std::string where = u8(c.url1) + " + " + u8(c.url2);
    std::u16string typed;
    ASSERT_EQ(vornet->rightUrl(c.url1, c.url2, &typed), com::kOk);
    EXPECT_EQ(u8(typed), u8(c.vornet)) << where;
    ASSERT_EQ(corvin->rightUrl(c.url1, c.url2, &typed), com::kOk);
    EXPECT_EQ(u8(typed), u8(c.corvin)) << where;
    Variant late;
    ASSERT_EQ(call(*lateVornet, u"RIGHTURL", {c.url1, c.url2}, &late), com::kOk);
    EXPECT_EQ(late, Variant(c.vornet)) << where;
    ASSERT_EQ(call(*lateCorvin, u"rightUrl", {c.url1, c.url2}, &late), com::kOk);
    EXPECT_EQ(late, Variant(c.corvin)) << where;
  }
}

TEST(UrlComponents, LateBoundCalls) {
  struct Case {
    const char* component;
    std::u16string member;
    std::vector<Variant> args;
    com::HResult code;
    Variant result;
  } cases[] = {
      {"vornet.WebUrl", u"fullUrl", {u"page_https.html"}, com::kOk, Flag::True},
      {"{FBE47733-097B-457E-9717-D2D2FF962432}", u"fullUrl", {u"HTTP://X"}, com::kOk, Flag::False},
      {"vornet.WebUrl", u"gethost", {u"HTTP://SITE:81/a/b"}, com::kOk, u"site:81"},
      {"corvin.WebUrl", u"setHttp", {u"http://x"}, com::kOk, u"http://http://x"},
      {"{93230451-C2DF-4170-B76B-CF301AA382C8}", u"nohttp", {u"http://site//a/./b.html"}, com::kOk,
       u"site/a/./b.html"},
      {"vornet.WebUrl", u"URLEncode", {u"a b1.htm"}, com::kOk, u"a%20b%31%2Ehtm"},
      {"corvin.WebUrl", u"urlencode", {u"中\t"}, com::kOk, u"%D6%D0%9"},
      {"vornet.WebUrl", u"getPort", {u"http://site:8080/x.html"}, com::kOk, u"8080"},
      {"corvin.WebUrl", u"getPort", {u"http://site/x.html"}, com::kOk, int16_t{80}},
      {"vornet.WebUrl", u"getPort", {u"site:8080"}, com::kInvalidArgument, {}},
      {"vornet.WebUrl", u"noJin", {u"a.html#x#y"}, com::kOk, u"a.html"},
      {"corvin.WebUrl", u"noJin", {u"a.html#x"}, com::kUnknownName, {}},
      {"vornet.WebUrl", u"rightUrl", {u"x"}, com::kBadParamCount, {}},
      {"vornet.WebUrl", u"gethost", {int32_t{42}}, com::kOk, u"42"},
      {"vornet.WebUrl", u"gethost", {com::Bytes("x")}, com::kTypeMismatch, {}},
      {"routa.url", u"rightUrl", {u"a", u"b"}, com::kUnknownName, {}},
  };
  for (const auto& c : cases) {
    ComPtr<IDispatch> obj = byName(c.component);
    ASSERT_TRUE(obj) << c.component;
    Variant result = u"untouched";
    EXPECT_EQ(call(*obj, c.member, c.args, &result), c.code) << c.component << " " << u8(c.member);
    if (c.code == com::kOk) {
      EXPECT_EQ(result, c.result) << c.component << " " << u8(c.member);
    } else {
      EXPECT_EQ(result, Variant(u"untouched")) << c.component << " " << u8(c.member);
    }
  }
}

TEST(UrlComponents, TypeInfoListsOperationsInInterfaceOrder) {
  struct Case {
    const char* component;
    std::u16string className;
    std::vector<std::u16string> members;
  } cases[] = {
      {"vornet.WebUrl",
       u"WebUrl",
       {u"rightUrl:url1,url2", u"fullUrl:urlx", u"gethost:Turl", u"GotoURL:Turl", u"setHttp:str",
        u"nohttp:httpSTR", u"URLEncode:text", u"getPort:url", u"noJin:url"}},
      {"corvin.WebUrl",
       u"WebUrl",
       {u"rightUrl:url1,url2", u"fullUrl:urlx", u"gethost:Turl", u"GotoURL:Turl", u"setHttp:str",
        u"nohttp:httpSTR", u"URLEncode:text", u"getPort:url"}},
      {"routa.url", u"url", {u"GotoURL:Turl"}},
  };
  for (const auto& c : cases) {
    ComPtr<IDispatch> obj = byName(c.component);
    ASSERT_TRUE(obj);
    const com::TypeInfo& info = obj->typeInfo();
    EXPECT_EQ(u8(info.className), u8(c.className));
    std::vector<std::u16string> members;
    for (const auto& m : info.members) {
      std::u16string line = m.name + u":";
      for (const auto& p : m.params) line += (line.back() == u':' ? u"" : u",") + p.name;
      members.push_back(line);
      EXPECT_FALSE(m.isProperty);
    }
    EXPECT_EQ(members, c.members) << c.component;
  }
}

TEST(UrlComponents, EachClassAnswersOnlyItsOwnInterface) {
  ComPtr<IWebUrl> vornet = byClassId<IWebUrl>(kVornetClsid);
  ComPtr<IRoutaUrl> routa = byClassId<IRoutaUrl>(kRoutaClsid);
  ASSERT_TRUE(vornet && routa);
  ComPtr<ICorvinWebUrl> wrong;
  EXPECT_EQ(vornet.as(wrong), com::kNoInterface);
  ComPtr<IRoutaUrl> wrongRouta;
  EXPECT_EQ(com::create(kCorvinClsid, wrongRouta), com::kNoInterface);
  EXPECT_EQ(vornet->getPort(u"http://site:81/", nullptr), com::kPointer);
  std::u16string host;
  EXPECT_EQ(vornet->gethost(u"http://Site/x", &host), com::kOk);
  EXPECT_EQ(host, u"site");
}

TEST(UrlComponents, GotoUrlHandsTheUrlToTheOpener) {
  shell::testing::RecordingOpener opener;
  const std::u16string url = u"http://site/a b.html?x=1&y=2;z=$HOME`id`\"q\"'s'|中";
  const std::string expected = "1:" + u8(url);
  ComPtr<IWebUrl> vornet = byClassId<IWebUrl>(kVornetClsid);
  ComPtr<IRoutaUrl> routa = byClassId<IRoutaUrl>(kRoutaClsid);
  ASSERT_TRUE(vornet && routa);
  int32_t result = -1;
  ASSERT_EQ(vornet->GotoURL(url, &result), com::kOk);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(opener.nextCall(), expected);
  result = -1;
  ASSERT_EQ(routa->GotoURL(url, &result), com::kOk);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(opener.nextCall(), expected);
  for (const char* name : {"corvin.WebUrl", "routa.url", "{641E9EFD-25CB-42F1-8F6C-C49EBC000FB7}"}) {
    ComPtr<IDispatch> obj = byName(name);
    ASSERT_TRUE(obj);
    Variant late;
    ASSERT_EQ(call(*obj, u"gotourl", {url}, &late), com::kOk) << name;
    EXPECT_EQ(late, Variant(int32_t{0})) << name;
    EXPECT_EQ(opener.nextCall(), expected) << name;
  }
}

TEST(UrlComponents, GotoUrlReturnsZeroWhenNothingCanOpen) {
  setenv("HARBEK_URL_OPENER", "/nonexistent/opener", 1);
  ComPtr<IDispatch> routa = byName("routa.url");
  ASSERT_TRUE(routa);
  Variant late;
  EXPECT_EQ(call(*routa, u"GotoURL", {u"http://site/"}, &late), com::kOk);
  EXPECT_EQ(late, Variant(int32_t{0}));
  unsetenv("HARBEK_URL_OPENER");
}

}  // namespace
}  // namespace harbek::url
