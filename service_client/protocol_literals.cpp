#include "service_client/protocol_literals.h"

namespace qv_literal {

using detail::Masked;

std::string bb() {
  static constexpr Masked masked("bb");
  return masked.reveal();
}

std::string system() {
  static constexpr Masked masked("system");
  return masked.reveal();
}

std::string version() {
  static constexpr Masked masked("version");
  return masked.reveal();
}

std::string in() {
  static constexpr Masked masked("in");
  return masked.reveal();
}

std::string data() {
  static constexpr Masked masked("data");
  return masked.reveal();
}

std::string c1() {
  static constexpr Masked masked("c1");
  return masked.reveal();
}

std::string ap() {
  static constexpr Masked masked("ap");
  return masked.reveal();
}

std::string d1() {
  static constexpr Masked masked("d1");
  return masked.reveal();
}

std::string sv() {
  static constexpr Masked masked("sv");
  return masked.reveal();
}

std::string d2() {
  static constexpr Masked masked("d2");
  return masked.reveal();
}

std::string lan() {
  static constexpr Masked masked("lan");
  return masked.reveal();
}

std::string lc1() {
  static constexpr Masked masked("lc1");
  return masked.reveal();
}

std::string lc2() {
  static constexpr Masked masked("lc2");
  return masked.reveal();
}

std::string zone() {
  static constexpr Masked masked("zone");
  return masked.reveal();
}

std::string n1() {
  static constexpr Masked masked("n1");
  return masked.reveal();
}

std::string tm() {
  static constexpr Masked masked("tm");
  return masked.reveal();
}

std::string enUS() {
  static constexpr Masked masked("en_US");
  return masked.reveal();
}

std::string rp() {
  static constexpr Masked masked("rp");
  return masked.reveal();
}

std::string callNew() {
  static constexpr Masked masked("new");
  return masked.reveal();
}

std::string index() {
  static constexpr Masked masked("index");
  return masked.reveal();
}

std::string tag1() {
  static constexpr Masked masked("tag1");
  return masked.reveal();
}

std::string cdnRayKey() {
  static constexpr Masked masked("cdn-ray-key");
  return masked.reveal();
}

std::string contentType() {
  static constexpr Masked masked("Content-Type");
  return masked.reveal();
}

std::string accept() {
  static constexpr Masked masked("Accept");
  return masked.reveal();
}

std::string applicationJSON() {
  static constexpr Masked masked("application/json");
  return masked.reveal();
}

std::string post() {
  static constexpr Masked masked("POST");
  return masked.reveal();
}

std::string urlPrefixFormat() {
  static constexpr Masked masked("https://%@/");
  return masked.reveal();
}

std::string serverComponent() {
  static constexpr Masked masked("server/");
  return masked.reveal();
}

std::string shortVersionKey() {
  static constexpr Masked masked("CFBundleShortVersionString");
  return masked.reveal();
}

std::string errorDomain() {
  static constexpr Masked masked("ADomain");
  return masked.reveal();
}

std::string scoped() {
  static constexpr Masked masked("__SCOPED__");
  return masked.reveal();
}

std::string tap() {
  static constexpr Masked masked("tap");
  return masked.reveal();
}

std::string tun() {
  static constexpr Masked masked("tun");
  return masked.reveal();
}

std::string ipsec() {
  static constexpr Masked masked("ipsec");
  return masked.reveal();
}

std::string ppp() {
  static constexpr Masked masked("ppp");
  return masked.reveal();
}

std::string cacheFileName() {
  static constexpr Masked masked("keys");
  return masked.reveal();
}

std::string hostWithData(const std::string& host) {
  static constexpr Masked masked("/data");
  return host + masked.reveal();
}

}  // namespace qv_literal
