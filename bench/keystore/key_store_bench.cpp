// Read cost of the key-store backends: the request router reads the token for every request.
// The Secret Service figures appear only when one answers (run the program through
// tests/with_secret_service.sh to get them without touching the user's key ring).

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "velmar/key_store.hpp"
#include "velmar/velmar.hpp"

namespace velmar {
namespace {

namespace fs = std::filesystem;

const std::string kToken(300, 't');  // about the size of a real access token

// A private directory for the file store's benchmarks, removed at exit.
const fs::path& scratch() {
  static const fs::path dir = [] {
    std::string pattern = (fs::temp_directory_path() / "velmar-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    std::atexit([] { fs::remove_all(scratch()); });
    return fs::path(pattern);
  }();
  return dir;
}

std::shared_ptr<FileKeyStore> filledFileStore() {
  auto store = std::make_shared<FileKeyStore>(scratch() / "credentials.json");
  store->set("player@example.com", "email");
  store->set("correct horse battery staple", "password");
  store->set(kToken, "token");
  store->set("123456", "userId");
  return store;
}

std::string readText(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::shared_ptr<MemoryKeyStore> filledMemoryStore() {
  auto store = std::make_shared<MemoryKeyStore>();
  store->set(kToken, "token");
  return store;
}

void readLoop(benchmark::State& state, KeyStore& store) {
  for (auto _ : state) {
    auto value = store.string("token");
    benchmark::DoNotOptimize(value);
  }
}

void BM_FileStoreReadUnchanged(benchmark::State& state) {
  auto store = filledFileStore();
  readLoop(state, *store);
}
BENCHMARK(BM_FileStoreReadUnchanged);

// A read right after another process replaced the file: one stat, one open and one parse.
// The replacement is made outside the timing, without the store's fsyncs.
void BM_FileStoreReadAfterReplace(benchmark::State& state) {
  auto reader = filledFileStore();
  const auto path = reader->path();
  const std::string text = readText(path);
  int n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const auto temp = fs::path(path).concat(".bench");
    std::ofstream(temp, std::ios::trunc) << text << std::string(++n % 2, ' ');
    fs::rename(temp, path);
    state.ResumeTiming();
    auto value = reader->string("token");
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_FileStoreReadAfterReplace)->Unit(benchmark::kMicrosecond);

// Every write is fsynced twice (file and directory).
void BM_FileStoreWrite(benchmark::State& state) {
  auto store = filledFileStore();
  int n = 0;
  for (auto _ : state) store->set(std::to_string(++n), "userId");
}
BENCHMARK(BM_FileStoreWrite)->Unit(benchmark::kMicrosecond)->Iterations(200);

void BM_MemoryStoreRead(benchmark::State& state) {
  auto store = filledMemoryStore();
  readLoop(state, *store);
}
BENCHMARK(BM_MemoryStoreRead);

void wrapperReadLoop(benchmark::State& state, std::shared_ptr<KeyStore> backend) {
  auto& wrapper = KeychainWrapper::standard();
  wrapper.setBackend(std::move(backend));
  for (auto _ : state) {
    auto value = wrapper.string("token");
    benchmark::DoNotOptimize(value);
  }
}

void BM_WrapperOverFileStoreRead(benchmark::State& state) {
  wrapperReadLoop(state, filledFileStore());
}
BENCHMARK(BM_WrapperOverFileStoreRead);

void BM_WrapperOverMemoryStoreRead(benchmark::State& state) {
  wrapperReadLoop(state, filledMemoryStore());
}
BENCHMARK(BM_WrapperOverMemoryStoreRead);

void BM_SecretServiceRead(benchmark::State& state) {
  auto store = std::make_shared<SecretServiceKeyStore>();
  store->set(kToken, "token");
  readLoop(state, *store);
  store->removeObject("token");
}

void BM_WrapperOverSecretServiceRead(benchmark::State& state) {
  auto store = std::make_shared<SecretServiceKeyStore>();
  store->set(kToken, "token");
  wrapperReadLoop(state, store);
  store->removeObject("token");
}

// A bus socket that accepts connections and never answers: a hung D-Bus daemon.
int silentBus(const fs::path& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(fd, 64) != 0) {
    std::abort();
  }
  return fd;
}

// The host's start-up with nothing chosen and a Secret Service that never answers: the one
// probe's deadline, then every read from memory. Canned answers keep the network out of it.
void BM_InitializeAgainstSilentDaemon(benchmark::State& state) {
  const auto bus = scratch() / "silent-bus";
  const int fd = silentBus(bus);
  ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + bus.string()).c_str(), 1);
  ::setenv("XDG_DATA_HOME", (scratch() / "data").c_str(), 1);
  ::unsetenv("VELMAR_KEYSTORE");
  auto& sdk = Velmar::instance();
  sdk.setLogSink([](std::string_view) {});
  sdk.useCannedAnswers();
  for (auto _ : state) {
    KeychainWrapper::standard().setBackend(nullptr);  // choose afresh, as a new process does
    sdk.initialize(ApiEnvironment::DEV);
    for (int read = 0; read < 4; ++read) benchmark::DoNotOptimize(sdk.player()->getToken());
    MainQueue::main().runUntilIdle(std::chrono::seconds(10));
  }
  ::close(fd);
  fs::remove(bus);
}

}  // namespace
}  // namespace velmar

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  // Only a throwaway key ring: never write into the user's own.
  if (std::getenv("VELMAR_TEST_SECRET_SERVICE") != nullptr &&
      velmar::SecretServiceKeyStore::available()) {
    benchmark::RegisterBenchmark("BM_SecretServiceRead", velmar::BM_SecretServiceRead)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("BM_WrapperOverSecretServiceRead",
                                 velmar::BM_WrapperOverSecretServiceRead)
        ->Unit(benchmark::kMicrosecond);
  }
  // Last: it changes the process's environment.
  benchmark::RegisterBenchmark("BM_InitializeAgainstSilentDaemon",
                               velmar::BM_InitializeAgainstSilentDaemon)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
