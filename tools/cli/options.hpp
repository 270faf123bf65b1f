#pragma once

// The command line: global options, the command and its arguments, checked before any work.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>
#include <velmar/api_environment.hpp>
#include <velmar/entities/sign_up_entity.hpp>

namespace velmar::cli {

// Exit statuses of the tool.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInvalidCredentials = 3;
inline constexpr int kExitInternalError = 4;

enum class Command { login, signup, logout, whoami, games, launch, balance, currencies, demo };

// Where credentials are kept, as `--keystore` names it.
struct KeyStoreChoice {
  enum class Kind { secretService, file, memory };
  Kind kind = Kind::memory;
  std::string path;  // for Kind::file
};

// The registration form's fields besides e-mail and password, as `signup` options gave them.
struct SignUpFields {
  std::optional<std::string> companyId;
  std::optional<std::string> firstName;
  std::optional<std::string> lastName;
  std::optional<std::string> dateOfBirth;
  std::optional<std::string> contactNumber;
  std::optional<std::string> country;
  std::optional<std::string> address;
  std::optional<std::string> city;
  std::optional<std::string> postCode;
  std::optional<std::string> currencyId;
  std::optional<bool> offerEmail;
  std::optional<bool> emailVerified;
  std::optional<bool> idVerified;
};

// The form `signup` sends.
SignUpEntity makeSignUpEntity(const SignUpFields& fields, const std::string& email,
                              const std::string& password);

// Everything the command line said, checked and converted; nothing has been done yet.
struct Options {
  ApiEnvironment environment = ApiEnvironment::DEV;
  bool mock = false;
  bool sandbox = false;
  bool json = false;
  bool verbose = false;  // each request's event on standard error
  std::vector<std::string> connectTo;
  std::optional<std::string> caFile;
  std::optional<KeyStoreChoice> keyStore;  // absent: the SDK's own choice

  Command command = Command::demo;
  // login, signup and demo.
  std::string email;
  std::optional<std::string> password;
  bool passwordFromStdin = false;
  SignUpFields signUp;
  // games.
  int pages = 1;
  // launch.
  std::string gameId;
  std::int64_t providerId = 0;
  std::string providerSlug;
};

// The outcome of reading the command line: options to run, or an exit status when parsing
// already decided it (help printed: 0; a usage error reported on `err`: 2).
struct ParseResult {
  std::optional<Options> options;
  int exitStatus = kExitSuccess;
};

// Reads argv. Help goes to `out`; a usage error becomes one line on `err`.
ParseResult parseArguments(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// Parses "secret-service", "memory" or "file:PATH".
std::optional<KeyStoreChoice> parseKeyStoreChoice(const std::string& text);

// "dev", "stg" or "prod" for an environment.
const char* environmentName(ApiEnvironment environment);

}  // namespace velmar::cli
