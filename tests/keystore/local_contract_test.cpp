#include "keystore/key_store_contract.hpp"
#include "support/temp_dir.hpp"

namespace velmar::testing {
namespace {

class MemoryStorage : public ContractStorage {
 public:
  std::shared_ptr<KeyStore> open() override { return std::make_shared<MemoryKeyStore>(); }
  std::shared_ptr<KeyStore> openSecond() override { return nullptr; }
};

class FileStorage : public ContractStorage {
 public:
  std::shared_ptr<KeyStore> open() override {
    return std::make_shared<FileKeyStore>(dir_.path() / "velmar" / "credentials.json");
  }
  std::shared_ptr<KeyStore> openSecond() override { return open(); }

 private:
  TempDir dir_;
};

INSTANTIATE_TEST_SUITE_P(
    Local, KeyStoreContractTest,
    ::testing::Values(ContractBackend{"Memory", [] { return std::make_unique<MemoryStorage>(); }},
                      ContractBackend{"File", [] { return std::make_unique<FileStorage>(); }}),
    backendName);

}  // namespace
}  // namespace velmar::testing
