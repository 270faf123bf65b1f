#include "support/certificates.hpp"

#include <openssl/bio.h>
#include <openssl/pem.h>

#include <memory>
#include <stdexcept>
#include <utility>

namespace velmar::testing {
namespace {

void writeKey(const std::filesystem::path& path, EVP_PKEY* key) {
  std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new_file(path.c_str(), "w"), &BIO_free);
  if (!out ||
      PEM_write_bio_PrivateKey(out.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

}  // namespace

// The sandbox's generator, written out as files for servers that load PEM from disk.
TestCertificates generateCertificates(const std::filesystem::path& directory,
                                      const std::vector<std::string>& dnsNames) {
  auto identity = sandbox::generateServerIdentity(dnsNames);
  TestCertificates files{directory / "ca.pem", directory / "server.pem", directory / "server.key"};
  sandbox::writePem(files.caFile, identity.authority.get());
  sandbox::writePem(files.certFile, identity.certificate.get());
  writeKey(files.keyFile, identity.key.get());
  return files;
}

TestAuthority::TestAuthority(std::filesystem::path directory)
    : directory_(std::move(directory)),
      caFile_(directory_ / "ca.pem"),
      identity_(sandbox::generateServerIdentity({})) {
  sandbox::writePem(caFile_, identity_.authority.get());
}

TestCertificates TestAuthority::issue(const std::string& name,
                                      const std::vector<std::string>& dnsNames,
                                      sandbox::Validity validity) {
  auto issued = sandbox::issueServerCertificate(identity_, dnsNames, validity);
  TestCertificates files{caFile_, directory_ / (name + ".pem"), directory_ / (name + ".key")};
  sandbox::writePem(files.certFile, issued.certificate.get());
  writeKey(files.keyFile, issued.key.get());
  return files;
}

}  // namespace velmar::testing
