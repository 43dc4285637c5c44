#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <iterator>
#include <set>
#include <vector>
#include <string>

#include "platform/foundation/json.h"
#include "platform/network/url_session.h"
#include "platform/security/keychain_wrapper.h"
#include "platform/testing/sandbox.h"
#include "platform/testing/unprivileged.h"
#include "service_client/string_cipher.h"
#include "tests/service_client/exchange_fixture.h"
#include "tools/local_service.h"
#include "vpn_core/server_list.h"

namespace {

namespace fs = std::filesystem;
using orvane_service::LocalService;
using platform::testing::Sandbox;

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Posts an envelope as it stands, not as the application builds one, and waits for the reply.
void postEnvelope(Sandbox& sandbox, const LocalService& service, const nlohmann::json& envelope) {
  platform::URLRequest request(*platform::URL::parse(service.server().url("/data/server/")));
  request.HTTPMethod = "POST";
  request.setValueForHTTPHeaderField("application/json", "Content-Type");
  auto done = std::make_shared<std::atomic<bool>>(false);
  platform::URLSession::sharedSession()
      ->uploadTaskWithRequest(request, platform::toBytes(envelope.dump()), [done](auto, auto, auto) { *done = true; })
      ->resume();
  EXPECT_TRUE(sandbox.loop().runUntil([&] { return done->load(); }));
}

// A directory of the test's own, gone at the end.
struct ScratchDirectory {
  explicit ScratchDirectory(const std::string& name)
      : path(fs::path(::testing::TempDir()) / (name + "-" + std::to_string(::getpid()))) {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~ScratchDirectory() { fs::remove_all(path); }
  const fs::path path;
};

TEST(LocalServiceFixture, DefaultServerListIsCleanAndRealistic) {
  Sandbox sandbox;
  const std::string text = fileText(LocalService::defaultFixturesDirectory() / "server-list.json");
  const auto json = platform::JSONObjectWithData(text);
  ASSERT_TRUE(json.value);
  std::size_t listed = 0;
  for (const auto& country : (*json.value)["premiumServers"]["countries"])
    for (const auto& city : country["cities"]) listed += city["servers"].size();

  VPNServerManager::shared()->parseServers(text);
  const auto premium = VPNServerManager::shared()->premiumVPNServersArray();
  const auto free = VPNServerManager::shared()->freeVPNServersArray();
  EXPECT_EQ(premium.size(), listed);  // nothing skipped
  EXPECT_EQ(free.size(), (*json.value)["freeServers"].size());
  EXPECT_FALSE(free.empty());
  std::set<std::string> countries, cities, addresses;
  for (const auto* list : {&premium, &free}) {
    for (const auto& server : *list) {
      ASSERT_TRUE(server->address() && server->psk() && server->title() && server->city() && server->country() &&
                  server->countryCode() && server->loadPercent())
          << server->title().value_or("(untitled)");
      EXPECT_TRUE(addresses.insert(*server->address()).second) << *server->address();
      countries.insert(*server->country());
      cities.insert(*server->city());
    }
  }
  EXPECT_GE(countries.size(), 12u);
  EXPECT_GT(cities.size(), countries.size());
}

TEST(LocalServiceState, KnownInstallGetsItsTokenBackAfterARestart) {
  const fs::path state = fs::path(::testing::TempDir()) / ("orvane-service-state-" + std::to_string(::getpid()));
  fs::remove(state);
  std::string install, token;
  {
    LocalService service({.stateFile = state});
    Sandbox sandbox(service_testing::optionsFor(service.host(), service.certificateFile()));
    service_testing::callAndWait(sandbox, "sl");
    ASSERT_EQ(service.exchanges().size(), 1u);
    install = service.exchanges().back().issuedInstall;
    token = service.exchanges().back().issuedToken;
  }
  LocalService again({.stateFile = state});
  {
    Sandbox sandbox(service_testing::optionsFor(again.host(), again.certificateFile()));
    ASSERT_TRUE(platform::KeychainWrapper("com.orvane.vpn").set("index", install));
    service_testing::callAndWait(sandbox, "sl");
    ASSERT_EQ(again.exchanges().size(), 1u);
    EXPECT_EQ(again.exchanges().back().issuedInstall, install);
    EXPECT_EQ(again.exchanges().back().issuedToken, token);
    EXPECT_EQ(platform::KeychainWrapper("com.orvane.vpn").get("tag1"), token);
  }
  // a new install still gets a new identifier, not one issued before the restart
  Sandbox fresh(service_testing::optionsFor(again.host(), again.certificateFile()));
  service_testing::callAndWait(fresh, "sl");
  EXPECT_NE(again.exchanges().back().issuedInstall, install);
  fs::remove(state);
}

// A damaged state is kept aside under a new name and the service starts afresh, whatever the damage.
TEST(LocalServiceState, DamagedStateFileIsKeptAsideAndTheServiceStartsAfresh) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("orvane-service-damage-" + std::to_string(::getpid()));
  const fs::path state = dir / "local-service.json";
  struct Damage {
    const char* name;
    std::function<void()> make;
  };
  auto write = [&](const std::string& text) { std::ofstream(state, std::ios::binary) << text; };
  const std::vector<Damage> damages = {
      {"empty", [&] { write(""); }},
      {"cut short", [&] { write("{\"issued\":3,\"tok"); }},
      {"random bytes", [&] { write(std::string("\x8f\x00\xff{\x01", 5)); }},
      {"wrong shape", [&] { write("{\"issued\":\"x\"}"); }},
      {"a directory", [&] { fs::create_directory(state); }},
      {"larger than its limit", [&] {
         write("{}");
         fs::resize_file(state, (1u << 20) + 1);
       }},
  };
  for (const auto& damage : damages) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    damage.make();
    std::optional<LocalService> service;
    EXPECT_NO_THROW(service.emplace(LocalService::Options{.stateFile = state})) << damage.name;
    if (!service) continue;
    EXPECT_TRUE(fs::exists(fs::symlink_status(fs::path(state.string() + ".damaged")))) << damage.name;
    Sandbox sandbox(service_testing::optionsFor(service->host(), service->certificateFile()));
    service_testing::callAndWait(sandbox, "sl");
    ASSERT_EQ(service->exchanges().size(), 1u) << damage.name;
    EXPECT_EQ(service->exchanges().back().issuedInstall.rfind("install-1-", 0), 0u) << damage.name;
    EXPECT_NE(fileText(state).find(service->exchanges().back().issuedInstall), std::string::npos) << damage.name;
  }
  fs::remove_all(dir);
}

TEST(LocalServiceExchange, TheParametersAreRecordedAsTheClientSentThem) {
  LocalService service;
  Sandbox sandbox(service_testing::optionsFor(service.host(), service.certificateFile()));
  const nlohmann::json sent = {{"d1", "phone"}};  // no call name
  postEnvelope(sandbox, service, {{"data", QVExtStore::qv_add(sent.dump(), exchangeKeyFor(std::nullopt))}});
  ASSERT_EQ(service.exchanges().size(), 1u);
  EXPECT_EQ(service.exchanges().back().parameters, sent);
}

// A service left running answers as ever but keeps nothing of what it answered.
TEST(LocalServiceExchange, AServiceWithoutRecordsAnswersAndKeepsNothing) {
  LocalService service({.keepRecords = false});
  Sandbox sandbox(service_testing::optionsFor(service.host(), service.certificateFile()));
  for (int i = 0; i < 3; ++i) {
    const auto outcome = service_testing::callAndWait(sandbox, "sl");
    EXPECT_FALSE(outcome.error) << outcome.error->localizedDescription;
    EXPECT_TRUE(outcome.result && outcome.result->contains("servers"));
  }
  EXPECT_TRUE(service.exchanges().empty());
  EXPECT_TRUE(service.server().requests().empty());
  EXPECT_EQ(service.server().requestCount(), 3u);
  EXPECT_TRUE(service.server().waitForRequests(3, std::chrono::milliseconds(0)));
}

// What a client sends cannot make the state file one that the next start sets aside.
TEST(LocalServiceState, AnOverlongInstallIdentifierIsAnsweredButNotRemembered) {
  ScratchDirectory dir("orvane-service-long");
  const fs::path state = dir.path / "local-service.json";
  const std::string longInstall(1100 * 1024, 'i');
  {
    LocalService service({.stateFile = state});
    Sandbox sandbox(service_testing::optionsFor(service.host(), service.certificateFile()));
    ASSERT_TRUE(platform::KeychainWrapper("com.orvane.vpn").set("index", longInstall));
    EXPECT_FALSE(service_testing::callAndWait(sandbox, "sl").error);
    ASSERT_EQ(service.exchanges().size(), 1u);
    EXPECT_EQ(service.exchanges().back().issuedInstall, longInstall);
    EXPECT_FALSE(service.exchanges().back().issuedToken.empty());
  }
  if (fs::exists(state)) {
    EXPECT_LE(fs::file_size(state), 1u << 20);
  }
  LocalService again({.stateFile = state});
  EXPECT_FALSE(fs::exists(fs::symlink_status(state.string() + ".damaged")));
}

TEST(LocalServiceCertificate, TheAuthorityStaysValidForAtLeastAYear) {
  LocalService service;
  std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(service.certificateFile().c_str(), "r"), &std::fclose);
  ASSERT_TRUE(file);
  std::unique_ptr<X509, decltype(&X509_free)> cert(PEM_read_X509(file.get(), nullptr, nullptr, nullptr), &X509_free);
  ASSERT_TRUE(cert);
  int days = 0, seconds = 0;
  ASSERT_EQ(ASN1_TIME_diff(&days, &seconds, nullptr, X509_get0_notAfter(cert.get())), 1);
  EXPECT_GE(days, 365);
  EXPECT_LE(X509_cmp_current_time(X509_get0_notBefore(cert.get())), 0);  // valid from now on
}

// The state file and the certificate the session's service keeps in the device directory: a
// link in their place is damage or replaced, and what it points at is never read or written.
TEST(LocalServiceState, LinksInPlaceOfItsFilesLeadNowhere) {
  ScratchDirectory dir("orvane-service-links");
  const fs::path device = dir.path / "device", outside = dir.path / "outside";
  fs::create_directories(device);
  fs::create_directories(outside);
  const std::string outsideState = R"({"issued":7,"tokens":{"install-7-abc":"token-outside"}})";
  const std::string outsideCertificate = "not to be replaced";
  std::ofstream(outside / "state.json") << outsideState;
  std::ofstream(outside / "ca.pem") << outsideCertificate;
  const fs::path state = device / "local-service.json", certificate = device / "loopback-ca.pem";
  fs::create_symlink(outside / "state.json", state);
  fs::create_symlink(outside / "ca.pem", certificate);
  {
    LocalService service({.stateFile = state, .certificateDirectory = device});
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(state.string() + ".damaged")));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(certificate)));
    EXPECT_EQ(service.certificateFile(), certificate);
    Sandbox sandbox(service_testing::optionsFor(service.host(), service.certificateFile()));
    ASSERT_TRUE(platform::KeychainWrapper("com.orvane.vpn").set("index", "install-7-abc"));
    EXPECT_FALSE(service_testing::callAndWait(sandbox, "sl").error);
    ASSERT_EQ(service.exchanges().size(), 1u);
    EXPECT_NE(service.exchanges().back().issuedToken, "token-outside");  // started afresh
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(state)));
  }
  EXPECT_EQ(fileText(outside / "state.json"), outsideState);
  EXPECT_EQ(fileText(outside / "ca.pem"), outsideCertificate);
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(outside), fs::directory_iterator()).size(), 2u);
}

TEST(LocalServiceCertificate, ADirectoryInPlaceOfTheCertificateIsKeptAside) {
  ScratchDirectory dir("orvane-service-certificate");
  const fs::path certificate = dir.path / "loopback-ca.pem";
  fs::create_directories(certificate / "inside");
  ::testing::internal::CaptureStderr();
  std::optional<LocalService> service;
  EXPECT_NO_THROW(service.emplace(LocalService::Options{.certificateDirectory = dir.path}));
  const std::string said = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(service);
  EXPECT_EQ(said, "orvane-service: " + certificate.string() + " is damaged (it is a directory); kept it as " +
                      certificate.string() + ".damaged and made it afresh\n");
  EXPECT_TRUE(fs::is_directory(certificate.string() + ".damaged/inside"));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(certificate)));
  Sandbox sandbox(service_testing::optionsFor(service->host(), service->certificateFile()));
  EXPECT_FALSE(service_testing::callAndWait(sandbox, "sl").error);
}

// Not readable is the user's to mend: a clear error, and the file stays as it was.
TEST(LocalServiceState, AnUnreadableStateFileIsAnErrorAndStaysUntouched) {
  ScratchDirectory dir("orvane-service-unreadable");
  fs::permissions(dir.path, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  const fs::path state = dir.path / "local-service.json";
  const std::string text = R"({"issued":1,"tokens":{"install-1-abc":"token-abc"}})";
  std::ofstream(state) << text;
  fs::permissions(state, fs::perms::none);
  // as a user who is not root, in a child: the test's own ids stay as they are
  const std::string result = platform::testing::runAsUnprivilegedUser([&] {
    LocalService service({.stateFile = state});
    return std::string("started");
  });
  EXPECT_EQ(result.rfind("threw: cannot read the state file " + state.string(), 0), 0u) << result;
  EXPECT_NE(result.find("Permission denied"), std::string::npos) << result;
  EXPECT_EQ(fs::status(state).permissions(), fs::perms::none);
  fs::permissions(state, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fileText(state), text);
  EXPECT_FALSE(fs::exists(fs::symlink_status(state.string() + ".damaged")));
}

}  // namespace
