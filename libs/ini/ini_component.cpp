// The component setfile.ini over the ini logic. It holds no state.
#include "libs/ini/ini.h"
#include "libs/ini/ini_interface.h"
#include "platform/component/factory.h"

namespace harbek::ini {
namespace {

class Ini final : public com::DispatchObject<IIni, Ini> {
 public:
  static const com::DispatchTable<IIni>& dispatchTable() {
    static const com::DispatchTable<IIni> table =
        com::DispatchTable<IIni>(u"ini")
            .method(u"getIni", &IIni::getIni, {u"pfileName", u"psection", u"pkey"})
            .method(u"WriteIni", &IIni::WriteIni, {u"psection", u"pkey", u"pvalue", u"Filepath"});
    return table;
  }

  com::HResult getIni(const std::u16string& file, const std::u16string& section, const std::u16string& key,
                      std::u16string* result) override {
    return com::giveResult(result, ini::getIni(file, section, key));
  }
  com::HResult WriteIni(const std::u16string& section, const std::u16string& key, const std::u16string& value,
                        const std::u16string& file, com::Flag* result) override {
    // Writes a file: only for a caller that can take the answer.
    return com::fillResult(result, [&](com::Flag& r) {
      r = com::toFlag(writeIni(section, key, value, file));
      return com::kOk;
    });
  }
};

}  // namespace
}  // namespace harbek::ini

HARBEK_COMPONENT_MODULE({harbek::ini::kIniClsid, "setfile.ini", &harbek::com::createObjectOf<harbek::ini::Ini>})
