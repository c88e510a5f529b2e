#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "platform/component/fs_errors.h"
#include "platform/component/runtime.h"
#include "platform/component/tests/sample_component.h"

namespace harbek::com {
namespace {

using testing::ISample;
using testing::kSampleClsid;

TEST(Guid, ParseAndPrint) {
  struct Case {
    const char* text;
    const char* printed;  // nullptr: malformed
  } cases[] = {
      {"{93230451-C2DF-4170-B76B-CF301AA382C8}", "{93230451-C2DF-4170-B76B-CF301AA382C8}"},
      {"{93230451-c2df-4170-b76b-cf301aa382c8}", "{93230451-C2DF-4170-B76B-CF301AA382C8}"},
      {"93230451-C2DF-4170-B76B-CF301AA382C8", "{93230451-C2DF-4170-B76B-CF301AA382C8}"},
      {"{93230451-C2DF-4170-B76B-CF301AA382C}", nullptr},
      {"{93230451-C2DF-4170-B76BXCF301AA382C8}", nullptr},
      {"{9323045G-C2DF-4170-B76B-CF301AA382C8}", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    auto g = Guid::parse(c.text);
    if (c.printed) {
      ASSERT_TRUE(g) << c.text;
      EXPECT_EQ(g->toString(), c.printed);
    } else {
      EXPECT_FALSE(g) << c.text;
    }
  }
}

TEST(Errors, FileSystemErrorsMapToPlatformCodes) {
  struct Case {
    fs::Error error;
    HResult code;
  } cases[] = {{fs::Error::kOk, kOk},           {fs::Error::kNotFound, kFileNotFound},
               {fs::Error::kNotFolder, kPathNotFound}, {fs::Error::kDenied, kPermissionDenied},
               {fs::Error::kNoSpace, kDiskFull}, {fs::Error::kIo, kFileIo}};
  for (const auto& c : cases) EXPECT_EQ(fromFsError(c.error), c.code) << fs::errorName(c.error);
}

TEST(Variant, Conversions) {
  struct Case {
    Variant in;
    VarType to;
    HResult code;
    Variant out;
  } cases[] = {
      {u"12", VarType::kI16, kOk, int16_t{12}},
      {u" -7 ", VarType::kI32, kOk, int32_t{-7}},
      {u"2.5", VarType::kI16, kOk, int16_t{2}},  // half to even
      {u"3.5", VarType::kI16, kOk, int16_t{4}},
      {u"40000", VarType::kI16, kOverflow, {}},
      {u"abc", VarType::kI32, kTypeMismatch, {}},
      {u"", VarType::kI32, kTypeMismatch, {}},
      {int32_t{70000}, VarType::kI16, kOverflow, {}},
      {int16_t{5}, VarType::kText, kOk, u"5"},
      {2.25, VarType::kText, kOk, u"2.25"},
      {Flag::kTrue, VarType::kText, kOk, u"True"},
      {u"true", VarType::kFlag, kOk, Flag::kTrue},
      {u"0", VarType::kFlag, kOk, Flag::kFalse},
      {int32_t{3}, VarType::kFlag, kOk, Flag::kTrue},
      {Flag::kTrue, VarType::kI32, kOk, int32_t{-1}},
      {u"2024-02-29", VarType::kDate, kOk, dateFromYmd(2024, 2, 29)},
      {u"2023-02-29", VarType::kDate, kTypeMismatch, {}},
      {Date{0}, VarType::kText, kOk, u"1899-12-30"},
      {Bytes("ab"), VarType::kText, kTypeMismatch, {}},
      {u"ab", VarType::kBytes, kTypeMismatch, {}},
      {Variant(), VarType::kText, kOk, u""},
      {u"x", VarType::kAny, kOk, u"x"},
  };
  for (const auto& c : cases) {
    Variant out;
    HResult h = convert(c.in, c.to, out);
    EXPECT_EQ(h, c.code) << varTypeName(c.in.type()) << " -> " << varTypeName(c.to);
    if (h == kOk) {
      EXPECT_EQ(out, c.out) << varTypeName(c.in.type()) << " -> " << varTypeName(c.to);
    }
  }
  int y, m, d;
  ymdFromDate(dateFromYmd(1600, 3, 1), y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 16000301);
  EXPECT_EQ(dateFromYmd(1900, 1, 1).days, 2);
}

class Runtime : public ::testing::Test {
 protected:
  ComPtr<ISample> make() {
    ComPtr<ISample> s;
    std::string message;
    EXPECT_EQ(create(kSampleClsid, s, &message), kOk) << message;
    return s;
  }
};

TEST_F(Runtime, CreatesByClassIdentifierAndByProgId) {
  ComPtr<ISample> byId = make();
  ASSERT_TRUE(byId);
  ComPtr<IDispatch> byName;
  for (const char* name : {"sampletest.Sample", "SAMPLETEST.sample", "{0C0FFEE0-1111-4222-8333-944445555666}"}) {
    std::string message;
    ASSERT_EQ(createByName(name, byName, &message), kOk) << name << ": " << message;
    EXPECT_EQ(byName->typeInfo().className, u"Sample");
  }
  ComPtr<ISample> again;
  EXPECT_EQ(byName.as(again), kOk);
  ComPtr<IClassFactory> notThere;
  EXPECT_EQ(byName.as(notThere), kNoInterface);
  EXPECT_FALSE(notThere);
}

TEST_F(Runtime, FailuresNameTheClassAndTheFile) {
  std::string message;
  ComPtr<IDispatch> d;
  EXPECT_EQ(createByName("nosuch.Thing", d, &message), kClassNotRegistered);
  EXPECT_NE(message.find("nosuch.Thing"), std::string::npos) << message;
  EXPECT_NE(message.find("components.reg"), std::string::npos) << message;

  auto dir = std::filesystem::temp_directory_path() / ("comtest" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string reg = (dir / "components.reg").string();
  ASSERT_EQ(addRegistryEntries(reg, {{kSampleClsid, "gone.Sample", "/nonexistent/gone.so"}}), kOk);
  const char* saved = std::getenv("HARBEK_REGISTRY");
  std::string savedValue = saved ? saved : "";
  setenv("HARBEK_REGISTRY", reg.c_str(), 1);
  HResult h = createByName("gone.Sample", d, &message);
  if (saved) setenv("HARBEK_REGISTRY", savedValue.c_str(), 1); else unsetenv("HARBEK_REGISTRY");
  EXPECT_EQ(h, kModuleNotFound);
  EXPECT_NE(message.find("/nonexistent/gone.so"), std::string::npos) << message;
  EXPECT_NE(message.find("{0C0FFEE0-1111-4222-8333-944445555666}"), std::string::npos) << message;
  std::filesystem::remove_all(dir);
}

// A module built against other interfaces is refused before any of its
// code runs, with a message that says why.
TEST_F(Runtime, AModuleOfAnotherBuildIsRefused) {
  const std::string module = (std::filesystem::current_path() / "sampleotherabi.so").string();
  ASSERT_TRUE(std::filesystem::exists(module)) << module;
  auto dir = std::filesystem::temp_directory_path() / ("comabi" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string reg = (dir / "components.reg").string();
  ASSERT_EQ(addRegistryEntries(reg, {{kSampleClsid, "other.Sample", module}}), kOk);
  const char* saved = std::getenv("HARBEK_REGISTRY");
  const std::string savedValue = saved ? saved : "";
  setenv("HARBEK_REGISTRY", reg.c_str(), 1);
  std::string message;
  ComPtr<IDispatch> d;
  const HResult h = createByName("other.Sample", d, &message);
  if (saved) setenv("HARBEK_REGISTRY", savedValue.c_str(), 1); else unsetenv("HARBEK_REGISTRY");
  std::filesystem::remove_all(dir);
  EXPECT_EQ(h, kModuleNotFound);
  EXPECT_FALSE(d);
  EXPECT_NE(message.find(module + " was built for component ABI 0"), std::string::npos) << message;
}

TEST_F(Runtime, DispatchCallsConvertAndWriteBack) {
  ComPtr<ISample> s = make();
  ASSERT_TRUE(s);
  auto id = [&](std::u16string_view n) {
    DispId i = 0;
    EXPECT_EQ(s->getIdOfName(n, &i), kOk) << text::toUtf8(std::u16string(n));
    return i;
  };
  EXPECT_EQ(id(u"name"), 1);
  EXPECT_EQ(id(u"JOIN"), 2);
  DispId none;
  EXPECT_EQ(s->getIdOfName(u"Nothing", &none), kUnknownName);

  struct Case {
    std::u16string member;
    InvokeKind kind;
    std::vector<Variant> args;
    HResult code;
    Variant result;
  } cases[] = {
      {u"Join", InvokeKind::kMethod, {u"ab", u"3"}, kOk, u"ababab"},
      {u"Join", InvokeKind::kMethod, {u"ab", 3.0}, kOk, u"ababab"},
      {u"Join", InvokeKind::kMethod, {u"ab", u"x"}, kTypeMismatch, {}},
      {u"Join", InvokeKind::kMethod, {u"ab", u"99999"}, kOverflow, {}},
      {u"Join", InvokeKind::kMethod, {u"ab"}, kBadParamCount, {}},
      {u"Join", InvokeKind::kMethod, {u"ab", int16_t{-1}}, kInvalidArgument, {}},
      {u"Half", InvokeKind::kMethod, {u"5"}, kOk, 2.5},
      {u"Negate", InvokeKind::kMethod, {u"false"}, kOk, Flag::kTrue},
      {u"NextDay", InvokeKind::kMethod, {u"2024-02-28"}, kOk, dateFromYmd(2024, 2, 29)},
      {u"Reverse", InvokeKind::kMethod, {Bytes("\x01\x02")}, kOk, Bytes("\x02\x01")},
      {u"Reverse", InvokeKind::kMethod, {u"12"}, kTypeMismatch, {}},
      {u"Fail", InvokeKind::kMethod, {int32_t{0}}, kOk, int32_t{80}},
      {u"Fail", InvokeKind::kMethod, {int32_t{kOverflow}}, kOverflow, {}},
      {u"Name", InvokeKind::kPropertyPut, {int16_t{42}}, kOk, {}},
      {u"Name", InvokeKind::kPropertyGet, {}, kOk, u"42"},
      {u"Name", InvokeKind::kMethod, {}, kOk, u"42"},
      {u"Objects", InvokeKind::kPropertyPut, {int32_t{1}}, kMemberNotFound, {}},
  };
  for (auto& c : cases) {
    Variant result;
    HResult h = s->invoke(id(c.member), c.kind, c.args, &result);
    EXPECT_EQ(h, c.code) << text::toUtf8(c.member);
    if (h == kOk) {
      EXPECT_EQ(result, c.result) << text::toUtf8(c.member);
    }
  }

  std::vector<Variant> refs = {u"7", u"9"};
  Variant result;
  ASSERT_EQ(s->invoke(id(u"swap"), InvokeKind::kMethod, refs, &result), kOk);
  EXPECT_EQ(refs[0], Variant(u"9"));
  EXPECT_EQ(refs[1], Variant(int32_t{7}));  // written back in its declared type
  EXPECT_EQ(result.type(), VarType::kEmpty);

  const TypeInfo& info = s->typeInfo();
  ASSERT_EQ(info.members.size(), 9u);
  EXPECT_TRUE(info.members[2].params[0].byRef);
  EXPECT_EQ(info.members[1].params[1].name, u"n");
  EXPECT_EQ(info.members[1].params[1].type, VarType::kI16);
  EXPECT_TRUE(info.members[0].canPut);
  EXPECT_FALSE(info.members[8].canPut);
}

TEST_F(Runtime, ModuleCountsItsObjects) {
  ComPtr<ISample> a = make();
  int32_t one = 0, two = 0;
  a->get_Objects(&one);
  {
    ComPtr<ISample> b = make();
    b->get_Objects(&two);
  }
  EXPECT_EQ(two, one + 1);
  int32_t after = 0;
  a->get_Objects(&after);
  EXPECT_EQ(after, one);
  EXPECT_GE(one, 1);
}

// The module's may-unload answer, asked as another loader would ask it: no
// while an object or a lock of its class object is alive, yes once none is.
TEST_F(Runtime, ModuleMayUnloadOnlyWhenNothingIsAlive) {
  ComPtr<ISample> object = make();
  ASSERT_TRUE(object);
  auto entry = findByClsid(readRegistry(defaultRegistryPath()), kSampleClsid);
  ASSERT_TRUE(entry);
  void* module = dlopen(entry->modulePath.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(module, nullptr);
  auto canUnloadNow = reinterpret_cast<CanUnloadFn>(dlsym(module, kCanUnloadEntry));
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(module, kGetClassObjectEntry));
  ASSERT_TRUE(canUnloadNow && getClassObject);
  auto lockServer = [&](bool lock) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(&kSampleClsid, &IClassFactory::iid, factory.out()), kOk);
    factory->lockServer(lock);
  };
  struct Step {
    const char* what;
    std::function<void()> act;
    HResult answer;
  } steps[] = {
      {"an object alive", [] {}, kFalse},
      {"no object", [&] { object.reset(); }, kOk},
      {"the class object locked", [&] { lockServer(true); }, kFalse},
      {"unlocked again", [&] { lockServer(false); }, kOk},
  };
  for (const auto& step : steps) {
    step.act();
    EXPECT_EQ(canUnloadNow(), step.answer) << step.what;
  }
  dlclose(module);
}

TEST(Registry, ParallelWritersKeepEveryEntry) {
  auto dir = std::filesystem::temp_directory_path() / ("regtest" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string reg = (dir / "r.reg").string();
  std::vector<std::thread> writers;
  for (int t = 0; t < 8; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        char id[40];
        std::snprintf(id, sizeof id, "{%08X-0000-0000-0000-000000000000}", t * 100 + i);
        addRegistryEntries(reg, {{*Guid::parse(id), "lib" + std::to_string(t) + ".C" + std::to_string(i), "/m.so"}});
      }
    });
  }
  for (auto& w : writers) w.join();
  auto entries = readRegistry(reg);
  EXPECT_EQ(entries.size(), 80u);
  ASSERT_EQ(removeRegistryEntries(reg, {entries[0].clsid}), kOk);
  EXPECT_EQ(readRegistry(reg).size(), 79u);
  // A re-registration under the same ProgID replaces the old line.
  ASSERT_EQ(addRegistryEntries(reg, {{kSampleClsid, entries[1].progId, "/n.so"}}), kOk);
  EXPECT_EQ(readRegistry(reg).size(), 79u);
  {
    std::ofstream garbage(reg, std::ios::app);
    garbage << "not a line\n{zz}\tx\ty\n";
  }
  EXPECT_EQ(readRegistry(reg).size(), 79u);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace harbek::com
