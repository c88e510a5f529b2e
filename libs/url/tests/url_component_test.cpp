#include <string>
#include <functional>
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
  return obj.invoke(id, InvokeKind::kMethod, args, result);
}

TEST(UrlComponents, RightUrlThroughTheTypedInterfaces) {
  ComPtr<IWebUrl> vornet = byClassId<IWebUrl>(kVornetClsid);
  ComPtr<ICorvinWebUrl> corvin = byClassId<ICorvinWebUrl>(kCorvinClsid);
  ASSERT_TRUE(vornet && corvin);
  for (const auto& c : testing::rightUrlCases()) {
    std::u16string fromVornet, fromCorvin;
    ASSERT_EQ(vornet->rightUrl(c.url1, c.url2, &fromVornet), com::kOk);
    ASSERT_EQ(corvin->rightUrl(c.url1, c.url2, &fromCorvin), com::kOk);
    EXPECT_EQ(u8(fromVornet), u8(c.vornet)) << u8(c.url1) << " + " << u8(c.url2);
    EXPECT_EQ(u8(fromCorvin), u8(c.corvin)) << u8(c.url1) << " + " << u8(c.url2);
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
      {"vornet.WebUrl", u"fullUrl", {u"page_https.html"}, com::kOk, Flag::kTrue},
      {"{FBE47733-097B-457E-9717-D2D2FF962432}", u"fullUrl", {u"HTTP://X"}, com::kOk, Flag::kFalse},
      {"vornet.WebUrl", u"gethost", {u"HTTP://SITE:81/a/b"}, com::kOk, u"site:81"},
      {"corvin.WebUrl", u"setHttp", {u"http://x"}, com::kOk, u"http://http://x"},
      {"{93230451-C2DF-4170-B76B-CF301AA382C8}", u"nohttp", {u"http://site//a/./b.html"}, com::kOk,
       u"site/a/./b.html"},
      {"vornet.WebUrl", u"RIGHTURL", {u"http://site/news/list.html", u"c.html#s"}, com::kOk,
       u"http://site/news/c.html"},
      {"corvin.WebUrl", u"rightUrl", {u"http://site/news/list.html", u"c.html#s"}, com::kOk,
       u"http://site/news/c.html#s"},
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
  const std::u16string shared =
      u"rightUrl(url1,url2) fullUrl(urlx) gethost(Turl) GotoURL(Turl) setHttp(str) nohttp(httpSTR) "
      u"URLEncode(text) getPort(url)";
  struct Case {
    const char* component;
    std::u16string className, members;
  } cases[] = {
      {"vornet.WebUrl", u"WebUrl", shared + u" noJin(url)"},
      {"corvin.WebUrl", u"WebUrl", shared},
      {"routa.url", u"url", u"GotoURL(Turl)"},
  };
  for (const auto& c : cases) {
    ComPtr<IDispatch> obj = byName(c.component);
    ASSERT_TRUE(obj);
    const com::TypeInfo& info = obj->typeInfo();
    std::u16string members;
    for (const auto& m : info.members) {
      members += (members.empty() ? u"" : u" ") + m.name + u"(";
      for (const auto& p : m.params) members += (members.back() == u'(' ? u"" : u",") + p.name;
      members += m.isProperty ? u"[property])" : u")";
    }
    EXPECT_EQ(u8(info.className), u8(c.className));
    EXPECT_EQ(u8(members), u8(c.members));
  }
}

TEST(UrlComponents, GotoUrlHandsTheUrlToTheOpener) {
  shell::testing::RecordingOpener opener;
  const std::u16string url = u"http://site/a b.html?x=1&y=2;z=$HOME`id`\"q\"'s'|中";
  ComPtr<IWebUrl> vornet = byClassId<IWebUrl>(kVornetClsid);
  ComPtr<IRoutaUrl> routa = byClassId<IRoutaUrl>(kRoutaClsid);
  ASSERT_TRUE(vornet && routa);
  int32_t fromVornet = -1, fromRouta = -1;
  ASSERT_EQ(vornet->GotoURL(url, &fromVornet), com::kOk);
  EXPECT_EQ(opener.nextCall(), "1:" + u8(url));
  ASSERT_EQ(routa->GotoURL(url, &fromRouta), com::kOk);
  EXPECT_EQ(opener.nextCall(), "1:" + u8(url));
  EXPECT_EQ(fromVornet, 0);
  EXPECT_EQ(fromRouta, 0);
}

// A typed caller that passes no place for the result gets kPointer, and
// GotoURL then opens nothing.
TEST(UrlComponents, NoResultPointerIsAnError) {
  shell::testing::RecordingOpener opener;
  ComPtr<IWebUrl> vornet = byClassId<IWebUrl>(kVornetClsid);
  ComPtr<ICorvinWebUrl> corvin = byClassId<ICorvinWebUrl>(kCorvinClsid);
  ComPtr<IRoutaUrl> routa = byClassId<IRoutaUrl>(kRoutaClsid);
  ASSERT_TRUE(vornet && corvin && routa);
  const std::function<com::HResult()> calls[] = {
      [&] { return vornet->rightUrl(u"http://a/", u"b", nullptr); },
      [&] { return vornet->noJin(u"a#b", nullptr); },
      [&] { return vornet->getPort(u"http://a/", nullptr); },
      [&] { return corvin->fullUrl(u"http://a/", nullptr); },
      [&] { return vornet->GotoURL(u"http://a/", nullptr); },
      [&] { return routa->GotoURL(u"http://a/", nullptr); },
  };
  for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i](), com::kPointer) << "call " << i + 1;
  EXPECT_EQ(opener.nextCall(), std::nullopt);
}

}  // namespace
}  // namespace harbek::url
