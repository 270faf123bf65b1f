#include "certificates.hpp"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <stdexcept>

namespace velmar::sandbox {
namespace {

struct ExtensionDeleter {
  void operator()(X509_EXTENSION* extension) const { X509_EXTENSION_free(extension); }
};
struct BioDeleter {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
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

bool isIpAddress(const std::string& name) {
  unsigned char buffer[sizeof(in6_addr)];
  return inet_pton(AF_INET, name.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, name.c_str(), buffer) == 1;
}

void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()));
  check(extension != nullptr, "extension");
  check(X509_add_ext(certificate, extension.get(), -1) == 1, "add extension");
}

// A certificate for `key` named `commonName`, without issuer, extensions or signature yet.
CertificatePtr newCertificate(EVP_PKEY* key, const std::string& commonName,
                              Validity validity = {}) {
  // Distinct serials keep clients that cache certificates from confusing two runs.
  static std::atomic<long> serial{1};
  CertificatePtr certificate(X509_new());
  check(certificate != nullptr, "X509_new");
  check(X509_set_version(certificate.get(), 2) == 1, "version");
  check(ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial++) == 1, "serial");
  check(X509_gmtime_adj(X509_getm_notBefore(certificate.get()), validity.notBefore.count()) !=
            nullptr,
        "not before");
  check(X509_gmtime_adj(X509_getm_notAfter(certificate.get()), validity.notAfter.count()) !=
            nullptr,
        "not after");
  check(X509_set_pubkey(certificate.get(), key) == 1, "public key");
  X509_NAME* name = X509_get_subject_name(certificate.get());
  check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                                   -1, 0) == 1,
        "subject");
  return certificate;
}

std::string alternativeNames(const std::vector<std::string>& hostNames) {
  std::string names = "IP:127.0.0.1,DNS:localhost";
  for (const auto& host : hostNames) {
    if (host.empty() || host == "127.0.0.1" || host == "localhost") continue;
    // A comma would start another entry of the configuration string.
    if (host.find_first_of(", ") != std::string::npos) {
      throw std::runtime_error("invalid host name: " + host);
    }
    names += (isIpAddress(host) ? ",IP:" : ",DNS:") + host;
  }
  return names;
}

}  // namespace

ServerIdentity generateServerIdentity(const std::vector<std::string>& hostNames) {
  ServerIdentity identity;
  identity.authorityKey = newKey();
  identity.authority = newCertificate(identity.authorityKey.get(), "Velmar Sandbox Authority");
  X509* authority = identity.authority.get();
  check(X509_set_issuer_name(authority, X509_get_subject_name(authority)) == 1, "issuer");
  addExtension(authority, authority, NID_basic_constraints, "critical,CA:TRUE");
  addExtension(authority, authority, NID_key_usage, "critical,keyCertSign,cRLSign");
  addExtension(authority, authority, NID_subject_key_identifier, "hash");
  check(X509_sign(authority, identity.authorityKey.get(), EVP_sha256()) > 0, "sign authority");

  auto server = issueServerCertificate(identity, hostNames);
  identity.certificate = std::move(server.certificate);
  identity.key = std::move(server.key);
  return identity;
}

IssuedCertificate issueServerCertificate(const ServerIdentity& identity,
                                         const std::vector<std::string>& hostNames,
                                         Validity validity) {
  IssuedCertificate issued;
  issued.key = newKey();
  issued.certificate = newCertificate(issued.key.get(), "Velmar Sandbox", validity);
  X509* authority = identity.authority.get();
  X509* server = issued.certificate.get();
  check(X509_set_issuer_name(server, X509_get_subject_name(authority)) == 1, "issuer");
  addExtension(server, authority, NID_basic_constraints, "critical,CA:FALSE");
  addExtension(server, authority, NID_key_usage, "critical,digitalSignature");
  addExtension(server, authority, NID_ext_key_usage, "serverAuth");
  addExtension(server, authority, NID_subject_alt_name, alternativeNames(hostNames));
  addExtension(server, authority, NID_authority_key_identifier, "keyid:always");
  check(X509_sign(server, identity.authorityKey.get(), EVP_sha256()) > 0, "sign server");
  return issued;
}

std::string toPem(X509* certificate) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  check(bio != nullptr && PEM_write_bio_X509(bio.get(), certificate) == 1, "PEM");
  char* data = nullptr;
  long length = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(length));
}

void writePem(const std::filesystem::path& path, X509* certificate) {
  BioPtr bio(BIO_new_file(path.c_str(), "w"));
  if (bio == nullptr || PEM_write_bio_X509(bio.get(), certificate) != 1) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

}  // namespace velmar::sandbox
