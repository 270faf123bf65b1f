#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sandbox/certificates.hpp"

namespace velmar::testing {

struct TestCertificates {
  std::filesystem::path caFile;  // the authority's certificate: what a client trusts
  std::shared_ptr<const sandbox::IssuedCertificate> server;  // what a server shows
};

// A throwaway authority, written to `directory`/ca.pem, signing certificates for given names.
class TestAuthority {
 public:
  explicit TestAuthority(const std::filesystem::path& directory)
      : caFile_(directory / "ca.pem"), identity_(sandbox::generateServerIdentity({})) {
    sandbox::writePem(caFile_, identity_.authority.get());
  }
  TestCertificates issue(const std::vector<std::string>& names, sandbox::Validity validity = {}) {
    return {caFile_, std::make_shared<const sandbox::IssuedCertificate>(
                         sandbox::issueServerCertificate(identity_, names, validity))};
  }

 private:
  std::filesystem::path caFile_;
  sandbox::ServerIdentity identity_;
};

}  // namespace velmar::testing
