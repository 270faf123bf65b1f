#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace velmar::sandbox {

struct KeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateDeleter {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyDeleter>;
using CertificatePtr = std::unique_ptr<X509, CertificateDeleter>;

// A throwaway certificate authority and one server certificate it signed, in memory.
struct ServerIdentity {
  CertificatePtr authority;
  CertificatePtr certificate;
  KeyPtr key;  // the server certificate's private key
};

// Makes a fresh P-256 authority and a server certificate valid for a day for `hostNames`.
// Names that read as IPv4 or IPv6 addresses become IP entries, the others DNS entries;
// 127.0.0.1 and localhost are always included. Throws std::runtime_error when OpenSSL fails.
ServerIdentity generateServerIdentity(const std::vector<std::string>& hostNames);

// The certificate in PEM form.
std::string toPem(X509* certificate);

// Writes the certificate as PEM to `path`. Throws std::runtime_error when that fails.
void writePem(const std::filesystem::path& path, X509* certificate);

}  // namespace velmar::sandbox
