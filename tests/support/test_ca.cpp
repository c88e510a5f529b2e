#include "tests/support/test_ca.h"

#include <cstdlib>
#include <fstream>

namespace harbek::testing {
namespace {

// P-256 keys: quick to make, and every TLS version takes them.
constexpr const char* kNewKey = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";

std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

}  // namespace

TestCa::TestCa() {
  ready_ = !dir_.path().empty() &&
           run(std::string("openssl req -x509") + kNewKey + " -keyout " + quoted(dir_.file("ca.key")) + " -out " +
               quoted(certificate()) + " -days 2 -subj '/CN=harbek test CA'");
}

TestCa::Issued TestCa::issue(const std::string& subjectAltNames, int days) {
  if (!ready_) return {};
  const std::string n = std::to_string(issued_++);
  Issued out{dir_.file("server" + n + ".pem"), dir_.file("server" + n + ".key")};
  const std::filesystem::path request = dir_.file("server" + n + ".csr"), ext = dir_.file("server" + n + ".ext");
  std::ofstream(ext) << "subjectAltName=" << subjectAltNames << "\n";
  const bool ok = run(std::string("openssl req") + kNewKey + " -keyout " + quoted(out.key) + " -out " +
                      quoted(request) + " -subj '/CN=harbek test server'") &&
                  run("openssl x509 -req -in " + quoted(request) + " -CA " + quoted(certificate()) + " -CAkey " +
                      quoted(dir_.file("ca.key")) + " -CAcreateserial -days " + std::to_string(days) + " -extfile " + quoted(ext) + " -out " +
                      quoted(out.certificate));
  return ok ? out : Issued{};
}

bool TestCa::run(const std::string& command) const {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace harbek::testing
