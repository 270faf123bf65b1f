// Reads the command line with CLI11 into Options; usage errors become one line and status 2.
#include "options.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <ostream>
#include <string_view>

namespace velmar::cli {
namespace {

// Splits curl's "HOST:PORT:TO_HOST:TO_PORT" on colons outside IPv6 brackets.
std::vector<std::string> splitRoute(const std::string& route) {
  std::vector<std::string> parts(1);
  bool inBrackets = false;
  for (char c : route) {
    if (c == '[') inBrackets = true;
    if (c == ']') inBrackets = false;
    if (c == ':' && !inBrackets) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

bool isPort(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  const int port = std::stoi(text);
  return port >= 1 && port <= 65535;
}

// curl leaves the source host or target host empty to mean "any" or "the same"; the ports
// must be real ports.
std::string checkRoute(const std::string& route) {
  const std::vector<std::string> parts = splitRoute(route);
  if (parts.size() != 4 || !isPort(parts[1]) || !isPort(parts[3])) {
    return "expected HOST:PORT:TO_HOST:TO_PORT, got \"" + route + "\"";
  }
  return {};
}

std::string checkKeyStore(const std::string& text) {
  if (parseKeyStoreChoice(text)) return {};
  return "expected secret-service, memory or file:PATH, got \"" + text + "\"";
}

// Options whose value is true or false, kept absent when not given.
void addFlagOption(CLI::App& command, const std::string& name, std::optional<bool>& target,
                   const std::string& help) {
  command
      .add_option_function<std::string>(
          name, [&target](const std::string& value) { target = value == "true"; }, help)
      ->check(CLI::IsMember({"true", "false"}))
      ->type_name("true|false");
}

void addTextOption(CLI::App& command, const std::string& name, std::optional<std::string>& target,
                   const std::string& help) {
  command.add_option_function<std::string>(
      name, [&target](const std::string& value) { target = value; }, help);
}

std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

std::optional<KeyStoreChoice> parseKeyStoreChoice(const std::string& text) {
  using Kind = KeyStoreChoice::Kind;
  if (text == "secret-service") return KeyStoreChoice{Kind::secretService, {}};
  if (text == "memory") return KeyStoreChoice{Kind::memory, {}};
  constexpr std::string_view kFilePrefix = "file:";
  if (text.starts_with(kFilePrefix) && text.size() > kFilePrefix.size()) {
    return KeyStoreChoice{Kind::file, text.substr(kFilePrefix.size())};
  }
  return std::nullopt;
}

const char* environmentName(ApiEnvironment environment) {
  switch (environment) {
    case ApiEnvironment::DEV:
      return "dev";
    case ApiEnvironment::STG:
      return "stg";
    case ApiEnvironment::PROD:
      return "prod";
  }
  return "dev";
}

SignUpEntity makeSignUpEntity(const SignUpFields& fields, const std::string& email,
                              const std::string& password) {
  return SignUpEntity(fields.companyId, fields.firstName, fields.lastName, fields.dateOfBirth,
                      fields.contactNumber, fields.country, fields.address, fields.city,
                      fields.postCode, email, password, fields.currencyId, fields.offerEmail,
                      fields.emailVerified, fields.idVerified);
}

ParseResult parseArguments(int argc, const char* const* argv, std::ostream& out,
                           std::ostream& err) {
  Options options;
  std::string environment = "dev";
  std::string keyStore;
  std::string password;

  CLI::App app{"velmar: the Velmar platform from the command line"};
  app.name("velmar");
  app.require_subcommand(1);
  app.add_option("--env", environment, "Server environment (default dev)")
      ->check(CLI::IsMember({"dev", "stg", "prod"}));
  auto* mock = app.add_flag("--mock", options.mock, "Answer from the canned answers, no network");
  auto* sandbox = app.add_flag("--sandbox", options.sandbox,
                               "Start a sandbox server in this process and talk to it");
  auto* connectTo = app.add_option("--connect-to", options.connectTo,
                                   "Route HOST:PORT to TO_HOST:TO_PORT (repeatable)")
                        ->check(CLI::Validator(checkRoute, "HOST:PORT:TO_HOST:TO_PORT", "route"));
  auto* caFile = app.add_option_function<std::string>(
      "--cacert", [&options](const std::string& path) { options.caFile = path; },
      "PEM file of the authorities to trust");
  app.add_option("--keystore", keyStore, "secret-service, file:PATH or memory")
      ->check(CLI::Validator(checkKeyStore, "STORE", "keystore"));
  app.add_flag("--json", options.json, "Write one JSON document on standard output");
  app.add_flag("-v,--verbose", options.verbose,
               "Print each request's method, path, status and timing on standard error");
  app.set_version_flag("--version", std::string("velmar ") + VELMAR_VERSION);
  mock->excludes(sandbox)->excludes(connectTo)->excludes(caFile);
  sandbox->excludes(caFile);

  CLI::App* login = app.add_subcommand("login", "Log a player in");
  login->add_option("EMAIL", options.email, "E-mail address")->required();
  auto* loginPassword = login->add_option("PASSWORD", password, "Password (or --password-stdin)");
  login
      ->add_flag("--password-stdin", options.passwordFromStdin,
                 "Read the password from standard input")
      ->excludes(loginPassword);

  CLI::App* signup = app.add_subcommand("signup", "Register a player, then log in");
  signup->add_option("--email", options.email, "E-mail address")->required();
  auto* signupPassword = signup->add_option("--password", password, "Password");
  signup
      ->add_flag("--password-stdin", options.passwordFromStdin,
                 "Read the password from standard input")
      ->excludes(signupPassword);
  SignUpFields& form = options.signUp;
  addTextOption(*signup, "--company-id", form.companyId, "Operator company");
  addTextOption(*signup, "--first-name", form.firstName, "Given name");
  addTextOption(*signup, "--last-name", form.lastName, "Family name");
  addTextOption(*signup, "--date-of-birth", form.dateOfBirth, "Date of birth (YYYY-MM-DD)");
  addTextOption(*signup, "--contact-number", form.contactNumber, "Telephone number");
  addTextOption(*signup, "--country", form.country, "Country");
  addTextOption(*signup, "--address", form.address, "Postal address");
  addTextOption(*signup, "--city", form.city, "City");
  addTextOption(*signup, "--post-code", form.postCode, "Postal code");
  addTextOption(*signup, "--currency-id", form.currencyId, "Wallet currency");
  addFlagOption(*signup, "--offer-email", form.offerEmail, "Accept offers by e-mail");
  addFlagOption(*signup, "--email-verified", form.emailVerified, "E-mail address verified");
  addFlagOption(*signup, "--id-verified", form.idVerified, "Identity verified");

  CLI::App* logout = app.add_subcommand("logout", "Forget the stored player");
  CLI::App* whoami =
      app.add_subcommand("whoami", "Show the stored e-mail and user id (never a secret)");
  CLI::App* games = app.add_subcommand("games", "List games, page by page");
  games->add_option("--pages", options.pages, "Number of pages to fetch (default 1)")
      ->check(CLI::Range(1, 10000));
  CLI::App* launch = app.add_subcommand("launch", "Launch a game and print its address");
  launch->add_option("--game-id", options.gameId, "The game's \"game_id\"")->required();
  launch->add_option("--provider-id", options.providerId, "The provider's id")
      ->required()
      ->check(CLI::Validator(
          [](const std::string& text) {
            return text.starts_with("-") ? std::string("must not be negative") : std::string();
          },
          "N>=0", "non-negative"));
  launch->add_option("--provider-slug", options.providerSlug, "The provider's slug")->required();
  CLI::App* balance = app.add_subcommand("balance", "Show the stored player's balance");
  CLI::App* currencies = app.add_subcommand("currencies", "List the platform's currencies");
  CLI::App* demo = app.add_subcommand(
      "demo", "Tour: log in, two pages of games, launch, balance, currencies, log out");
  demo->add_option("--email", options.email, "Player to log in as (default: a demo player)");
  auto* demoPassword = demo->add_option("--password", password, "That player's password");
  demo->add_flag("--password-stdin", options.passwordFromStdin,
                 "Read the password from standard input")
      ->excludes(demoPassword);

  try {
    app.parse(argc, argv);
    if (login->parsed() && password.empty() == !options.passwordFromStdin) {
      throw CLI::ValidationError("login", "give PASSWORD or --password-stdin, not both");
    }
    if (signup->parsed() && password.empty() && !options.passwordFromStdin) {
      throw CLI::RequiredError("--password or --password-stdin");
    }
  } catch (const CLI::CallForHelp& help) {
    return {std::nullopt, app.exit(help, out, err)};
  } catch (const CLI::CallForAllHelp& help) {
    return {std::nullopt, app.exit(help, out, err)};
  } catch (const CLI::CallForVersion& version) {
    return {std::nullopt, app.exit(version, out, err)};
  } catch (const CLI::ParseError& error) {
    err << "velmar: " << oneLine(error.what()) << " (see velmar --help)\n";
    return {std::nullopt, kExitUsage};
  }

  options.environment = environment == "prod"  ? ApiEnvironment::PROD
                        : environment == "stg" ? ApiEnvironment::STG
                                               : ApiEnvironment::DEV;
  if (!keyStore.empty()) options.keyStore = parseKeyStoreChoice(keyStore);
  if (!password.empty()) options.password = password;

  const std::pair<CLI::App*, Command> commands[] = {
      {login, Command::login},     {signup, Command::signup},         {logout, Command::logout},
      {whoami, Command::whoami},   {games, Command::games},           {launch, Command::launch},
      {balance, Command::balance}, {currencies, Command::currencies}, {demo, Command::demo}};
  for (const auto& [subcommand, command] : commands) {
    if (subcommand->parsed()) options.command = command;
  }
  return {std::move(options), kExitSuccess};
}

}  // namespace velmar::cli
