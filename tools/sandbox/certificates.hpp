#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <chrono>
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
  KeyPtr authorityKey;  // signs further server certificates under the same authority
  CertificatePtr certificate;
  KeyPtr key;  // the server certificate's private key
};

// When a server certificate is valid, relative to the moment it is made: from an hour ago
// for a day unless told otherwise (an end in the past makes an expired one).
struct Validity {
  std::chrono::seconds notBefore{-3600};
  std::chrono::seconds notAfter{24 * 3600};
};

// A server certificate and its private key.
struct IssuedCertificate {
  CertificatePtr certificate;
  KeyPtr key;
};

// Makes a fresh P-256 authority and a server certificate valid for a day for `hostNames`.
// Names that read as IPv4 or IPv6 addresses become IP entries, the others DNS entries;
// 127.0.0.1 and localhost are always included. Throws std::runtime_error when OpenSSL fails.
ServerIdentity generateServerIdentity(const std::vector<std::string>& hostNames);

// Another server certificate from `identity`'s authority, for `hostNames` (named as above)
// and valid over `validity`. Throws std::runtime_error when OpenSSL fails.
IssuedCertificate issueServerCertificate(const ServerIdentity& identity,
                                         const std::vector<std::string>& hostNames,
                                         Validity validity = {});

// The certificate in PEM form.
std::string toPem(X509* certificate);

// Writes the certificate as PEM to `path`. Throws std::runtime_error when that fails.
void writePem(const std::filesystem::path& path, X509* certificate);

}  // namespace velmar::sandbox
