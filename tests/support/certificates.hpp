#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "sandbox/certificates.hpp"

namespace velmar::testing {

// PEM files of a throwaway certificate authority and one server certificate it signed.
struct TestCertificates {
  std::filesystem::path caFile;    // the authority's certificate: what a client trusts
  std::filesystem::path certFile;  // the server's certificate
  std::filesystem::path keyFile;   // the server's private key (unencrypted)
};

// Generates a fresh P-256 authority and a server certificate for `dnsNames` (plus 127.0.0.1
// and localhost), valid for a day, and writes them into `directory` as ca.pem,
// server.pem and server.key. Each call makes a new authority, so certificates from two calls
// do not trust each other. Throws std::runtime_error when OpenSSL fails.
TestCertificates generateCertificates(const std::filesystem::path& directory,
                                      const std::vector<std::string>& dnsNames);

// A throwaway authority kept in memory, so that it can sign several server certificates:
// one for the right names, one for another host, one that expired.
class TestAuthority {
 public:
  // Makes the authority and writes its certificate to `directory`/ca.pem.
  explicit TestAuthority(std::filesystem::path directory);

  const std::filesystem::path& caFile() const { return caFile_; }

  // A server certificate for `dnsNames` (plus 127.0.0.1 and localhost) valid over
  // `validity`, written into the authority's directory as `name`.pem and `name`.key.
  TestCertificates issue(const std::string& name, const std::vector<std::string>& dnsNames,
                         sandbox::Validity validity = {});

 private:
  std::filesystem::path directory_;
  std::filesystem::path caFile_;
  sandbox::ServerIdentity identity_;
};

}  // namespace velmar::testing
