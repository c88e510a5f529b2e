// A certificate authority made at test time, for https servers on loopback.
//
// The openssl command makes a CA certificate and, on request, server
// certificates it signs, each for the names given (subjectAltName entries
// such as "IP:127.0.0.1" or "DNS:www.example.test"). Everything is written in
// a temporary folder that goes with the object.
#pragma once

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace harbek::testing {

class TestCa {
 public:
  struct Issued {
    std::filesystem::path certificate;
    std::filesystem::path key;
  };

  TestCa();
  // False when the CA could not be made (no openssl command).
  bool ready() const { return ready_; }
  // The CA's certificate (PEM), to be trusted by the client.
  std::filesystem::path certificate() const { return dir_.file("ca.pem"); }
  // A server certificate for the names, valid for the days given from now
  // (a negative number: one that expired that long ago); empty paths when it
  // failed.
  Issued issue(const std::string& subjectAltNames, int days = 2);

 private:
  bool run(const std::string& command) const;

  TempDir dir_;
  bool ready_ = false;
  int issued_ = 0;
};

}  // namespace harbek::testing
