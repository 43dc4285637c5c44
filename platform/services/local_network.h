#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class RunLoop;

// An error of the network framework. Its two texts differ: a short plain one and a sentence for
// people.
struct NWError {
  enum class Domain { posix, dns, tls };
  Domain domain = Domain::dns;
  std::int64_t code = 0;
  std::string reason;  // "PolicyDenied", "Connection refused"

  // "-65570: PolicyDenied"
  std::string description() const;
  // "The operation couldn't be completed. (Network.NWError error -65570 - PolicyDenied)"
  std::string localizedDescription() const;

  // What a browse or publication gets when the user's local-network setting forbids it.
  static NWError policyDenied();

  bool operator==(const NWError&) const = default;
};

struct NWParameters {
  bool includePeerToPeer = false;
};

struct NWBrowserState {
  enum class Kind { setup, ready, waiting, failed, cancelled };
  Kind kind = Kind::setup;
  std::optional<NWError> error;  // with waiting and failed

  static NWBrowserState waiting(NWError e) { return {Kind::waiting, std::move(e)}; }
  static NWBrowserState failed(NWError e) { return {Kind::failed, std::move(e)}; }
};

namespace detail {
class LocalNetworkFacility;
}

// A browse for Bonjour services. It is idle until started; state changes are delivered one at a
// time on the queue it was started on, and none after cancel() (those already queued are dropped).
// Once started, the system keeps it until it is cancelled. The user's local-network choice decides
// what it reports: granted, ready; denied, waiting with the policy error; not yet asked, nothing
// until the user answers the alert that the first browse or publication raises.
class NWBrowser : public std::enable_shared_from_this<NWBrowser> {
 public:
  struct Descriptor {
    std::string type;
    std::optional<std::string> domain;
    static Descriptor bonjour(std::string type, std::optional<std::string> domain = std::nullopt) {
      return {std::move(type), std::move(domain)};
    }
  };
  using StateUpdateHandler = std::function<void(const NWBrowserState&)>;

  static std::shared_ptr<NWBrowser> make(Descriptor descriptor, NWParameters parameters);
  ~NWBrowser();
  NWBrowser(const NWBrowser&) = delete;
  NWBrowser& operator=(const NWBrowser&) = delete;

  const Descriptor& descriptor() const { return descriptor_; }
  const NWParameters& parameters() const { return parameters_; }
  std::uint64_t identifier() const { return id_; }

  void setStateUpdateHandler(StateUpdateHandler handler);
  // Once only; later calls do nothing.
  void start(RunLoop& queue);
  void cancel();

 private:
  friend class detail::LocalNetworkFacility;
  NWBrowser(Descriptor descriptor, NWParameters parameters, std::uint64_t id,
            std::shared_ptr<detail::LocalNetworkFacility> facility);

  const Descriptor descriptor_;
  const NWParameters parameters_;
  const std::uint64_t id_;
  const std::weak_ptr<detail::LocalNetworkFacility> facility_;
  // Guarded by the facility's lock.
  std::shared_ptr<const StateUpdateHandler> handler_;
  RunLoop* queue_ = nullptr;
  bool started_ = false;
  bool cancelled_ = false;
};

class NetService;

// Error dictionary keys of a failed publication.
inline constexpr const char* NSNetServicesErrorCode = "NSNetServicesErrorCode";
inline constexpr const char* NSNetServicesErrorDomain = "NSNetServicesErrorDomain";
inline constexpr std::int64_t NSNetServicesNotFoundError = -72002;

class NetServiceDelegate {
 public:
  virtual ~NetServiceDelegate() = default;
  virtual void netServiceDidPublish(NetService& /*sender*/) {}
  virtual void netServiceDidNotPublish(NetService& /*sender*/, const std::map<std::string, std::int64_t>& /*errors*/) {}
};

// A Bonjour service to publish. Its delegate (held weakly) hears on the main queue whether the
// publication came through: with the user's permission it does, once denied it does not, and while
// the alert waits for an answer neither comes. Nothing is delivered after stop(), nor for a
// publication that stop() ended.
class NetService : public std::enable_shared_from_this<NetService> {
 public:
  static std::shared_ptr<NetService> make(std::string domain, std::string type, std::string name, int port);
  ~NetService();
  NetService(const NetService&) = delete;
  NetService& operator=(const NetService&) = delete;

  const std::string& domain() const { return domain_; }
  const std::string& type() const { return type_; }
  const std::string& name() const { return name_; }
  int port() const { return port_; }
  std::uint64_t identifier() const { return id_; }

  std::shared_ptr<NetServiceDelegate> delegate() const;
  void setDelegate(const std::shared_ptr<NetServiceDelegate>& delegate);
  void publish();
  void stop();

 private:
  friend class detail::LocalNetworkFacility;
  NetService(std::string domain, std::string type, std::string name, int port, std::uint64_t id,
             std::shared_ptr<detail::LocalNetworkFacility> facility);

  const std::string domain_;
  const std::string type_;
  const std::string name_;
  const int port_;
  const std::uint64_t id_;
  const std::weak_ptr<detail::LocalNetworkFacility> facility_;
  // Guarded by the facility's lock.
  std::weak_ptr<NetServiceDelegate> delegate_;
  std::uint64_t publication_ = 0;  // which publish() a delivery belongs to; 0 while stopped
  bool awaitingAnswer_ = false;    // asked while the user had not answered the alert
};

}  // namespace platform
