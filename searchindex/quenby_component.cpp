// The component quenby.SiteData over the search index store.

#include "platform/component/dispatch.h"

#include "searchindex/quenby_interface.h"
#include "searchindex/search_site_data.h"
#include "platform/component/factory.h"

namespace harbek::quenby {
namespace {

class SiteDataObject final : public com::DispatchObject<ISearchSiteData, SiteDataObject> {
 public:
  static const com::DispatchTable<ISearchSiteData>& dispatchTable() {
    using I = ISearchSiteData;
    static const com::DispatchTable<I> table =
        com::DispatchTable<I>(u"SiteData")
            .property(u"SavePath", &I::get_SavePath, &I::put_SavePath)
            .method(u"inputTmpUrl", &I::inputTmpUrl, {u"url", u"urlText", u"comeFromUrl", u"comeFromText"})
            .method(u"GetTmpUrl", &I::GetTmpUrl, {u"url", u"urlText", u"comeFromUrl", u"comeFromText", u"pos"})
            .method(u"inputToindex", &I::inputToindex, {u"str", u"pth"})
            .method(u"saveFileByUrl", &I::saveFileByUrl, {u"Turl", u"data", u"ISenCode"})
            .method(u"isExsitUrl", &I::isExsitUrl, {u"Turl", u"ISmd5"})
            .method(u"ChUrltoPath", &I::ChUrltoPath, {u"Turl"})
            .method(u"ChUrltoMd5path", &I::ChUrltoMd5path, {u"Turl"})
            .method(u"writeFile", &I::writeFile);
    return table;
  }

  com::HResult get_SavePath(std::u16string* value) override {
    return com::giveResult(value, store_.SavePath());
  }
  com::HResult put_SavePath(const std::u16string& value) override {
    store_.setSavePath(value);
    return com::kOk;
  }
  com::HResult inputTmpUrl(const std::u16string& url, const std::u16string& urlText,
                           const std::u16string& comeFromUrl, const std::u16string& comeFromText) override {
    store_.inputTmpUrl(url, urlText, comeFromUrl, comeFromText);
    return com::kOk;
  }
  com::HResult GetTmpUrl(std::u16string& url, std::u16string& urlText, std::u16string& comeFromUrl,
                         std::u16string& comeFromText, int32_t& pos) override {
    store_.GetTmpUrl(url, urlText, comeFromUrl, comeFromText, pos);
    return com::kOk;
  }
  com::HResult inputToindex(const std::u16string& str, const std::u16string& pth) override {
    SiteData::inputToindex(str, pth);
    return com::kOk;
  }
  com::HResult saveFileByUrl(const std::u16string& address, const com::Bytes& data, Flag ISenCode) override {
    return store_.saveFileByUrl(address, data, com::isTrue(ISenCode));
  }
  com::HResult isExsitUrl(const std::u16string& address, Flag ISmd5, Flag* result) override {
    return com::fillResult(result, [&](Flag& r) {
      bool exists = false;
      com::HResult h = store_.isExsitUrl(address, com::isTrue(ISmd5), &exists);
      if (com::succeeded(h)) r = com::toFlag(exists);
      return h;
    });
  }
  com::HResult ChUrltoPath(const std::u16string& address, std::u16string* result) override {
    return com::fillResult(result, [&](std::u16string& r) { return store_.ChUrltoPath(address, &r); });
  }
  com::HResult ChUrltoMd5path(const std::u16string& address, std::u16string* result) override {
    return com::fillResult(result, [&](std::u16string& r) { return store_.ChUrltoMd5path(address, &r); });
  }
  com::HResult writeFile() override { return com::kOk; }

 private:
  SiteData store_;
};

}  // namespace
}  // namespace harbek::quenby

HARBEK_COMPONENT_MODULE({harbek::quenby::kQuenbyClsid, "quenby.SiteData",
                         &harbek::com::createObjectOf<harbek::quenby::SiteDataObject>})
