#include "support/certificates.hpp"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <memory>
#include <stdexcept>

namespace velmar::testing {
namespace {

struct KeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertDeleter {
  void operator()(X509* cert) const { X509_free(cert); }
};
struct ExtensionDeleter {
  void operator()(X509_EXTENSION* ext) const { X509_EXTENSION_free(ext); }
};
struct BioDeleter {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyDeleter>;
using CertPtr = std::unique_ptr<X509, CertDeleter>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, ExtensionDeleter>;
using BioPtr = std::unique_ptr<BIO, BioDeleter>;

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("OpenSSL: ") + what);
}

KeyPtr newKey() {
  KeyPtr key(EVP_EC_gen("P-256"));
  check(key != nullptr, "key generation");
  return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
  ExtensionPtr ext(X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()));
  check(ext != nullptr, "extension");
  check(X509_add_ext(cert, ext.get(), -1) == 1, "add extension");
}

// A certificate for `key` named `commonName`, without extensions or signature yet.
CertPtr newCertificate(EVP_PKEY* key, const std::string& commonName) {
  static std::atomic<long> serial{1};
  CertPtr cert(X509_new());
  check(cert != nullptr, "X509_new");
  check(X509_set_version(cert.get(), 2) == 1, "version");
  check(ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial++) == 1, "serial");
  check(X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) != nullptr, "not before");
  check(X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600) != nullptr, "not after");
  check(X509_set_pubkey(cert.get(), key) == 1, "public key");
  X509_NAME* name = X509_get_subject_name(cert.get());
  check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                                   -1, 0) == 1,
        "subject");
  return cert;
}

void writePem(const std::filesystem::path& path, X509* cert) {
  BioPtr bio(BIO_new_file(path.c_str(), "w"));
  check(bio != nullptr && PEM_write_bio_X509(bio.get(), cert) == 1, "write certificate");
}

void writePem(const std::filesystem::path& path, EVP_PKEY* key) {
  BioPtr bio(BIO_new_file(path.c_str(), "w"));
  check(bio != nullptr &&
            PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
        "write key");
}

}  // namespace

TestCertificates generateCertificates(const std::filesystem::path& directory,
                                      const std::vector<std::string>& dnsNames) {
  KeyPtr caKey = newKey();
  CertPtr ca = newCertificate(caKey.get(), "Velmar Test Authority");
  check(X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get())) == 1, "issuer");
  addExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE");
  addExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
  addExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash");
  check(X509_sign(ca.get(), caKey.get(), EVP_sha256()) > 0, "sign authority");

  KeyPtr serverKey = newKey();
  CertPtr server =
      newCertificate(serverKey.get(), dnsNames.empty() ? "localhost" : dnsNames.front());
  check(X509_set_issuer_name(server.get(), X509_get_subject_name(ca.get())) == 1, "issuer");
  std::string altNames = "IP:127.0.0.1";
  for (const auto& name : dnsNames) altNames += ",DNS:" + name;
  addExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
  addExtension(server.get(), ca.get(), NID_key_usage, "critical,digitalSignature");
  addExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth");
  addExtension(server.get(), ca.get(), NID_subject_alt_name, altNames);
  addExtension(server.get(), ca.get(), NID_authority_key_identifier, "keyid:always");
  check(X509_sign(server.get(), caKey.get(), EVP_sha256()) > 0, "sign server");

  TestCertificates files{directory / "ca.pem", directory / "server.pem", directory / "server.key"};
  writePem(files.caFile, ca.get());
  writePem(files.certFile, server.get());
  writePem(files.keyFile, serverKey.get());
  return files;
}

}  // namespace velmar::testing
