#pragma once

#include <cstddef>
#include <string>

// The exchange's protocol literals. None of them sits in the binary's table of constant strings:
// each is kept masked and produced afresh by a routine of its own.
namespace qv_literal {

namespace detail {

inline constexpr unsigned char kMask = 0x5A;

template <std::size_t N>
class Masked {
 public:
  consteval Masked(const char (&text)[N]) {
    for (std::size_t i = 0; i < N; ++i) bytes_[i] = static_cast<char>(text[i] ^ kMask);
  }
  std::string reveal() const {
    std::string out(N - 1, '\0');
    // the volatile read keeps the compiler from folding the text back into a constant
    volatile unsigned char mask = kMask;
    for (std::size_t i = 0; i + 1 < N; ++i) out[i] = static_cast<char>(bytes_[i] ^ mask);
    return out;
  }

 private:
  char bytes_[N]{};
};

}  // namespace detail

// envelope members
std::string bb();
std::string system();
std::string version();
std::string in();
std::string data();
// parameter member: the call name
std::string c1();
// device parameters
std::string ap();
std::string d1();
std::string sv();
std::string d2();
std::string lan();
std::string lc1();
std::string lc2();
std::string zone();
std::string n1();
std::string tm();
std::string enUS();
// reply member: the result
std::string rp();
// call name of the remote configuration
std::string callNew();
// keychain accounts
std::string index();
std::string tag1();
// request and reply header of the service token
std::string cdnRayKey();
// request headers and method
std::string contentType();
std::string accept();
std::string applicationJSON();
std::string post();
// URL: prefix (a placeholder for the host), the host followed by "/data", the last component
std::string urlPrefixFormat();
std::string hostWithData(const std::string& host);
std::string serverComponent();
// information key of the application version
std::string shortVersionKey();
// error domain
std::string errorDomain();
// tunnel-active test
std::string scoped();
std::string tap();
std::string tun();
std::string ipsec();
std::string ppp();
// file name of the remote-configuration cache
std::string cacheFileName();

}  // namespace qv_literal
