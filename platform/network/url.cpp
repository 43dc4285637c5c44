#include "platform/network/url.h"

#include <algorithm>
#include <string>

#include "platform/foundation/console.h"

namespace platform {

namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isUnreserved(char c) { return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }
bool isSubDelim(char c) {
  switch (c) {
    case '!': case '$': case '&': case '\'': case '(': case ')':
    case '*': case '+': case ',': case ';': case '=':
      return true;
    default:
      return false;
  }
}
bool isGenDelim(char c) {
  switch (c) {
    case ':': case '/': case '?': case '#': case '[': case ']': case '@':
      return true;
    default:
      return false;
  }
}

// Every character of the text is a URL character and every "%" starts an escape.
bool hasOnlyURLCharacters(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '%') {
      if (i + 2 >= s.size() || !isHex(s[i + 1]) || !isHex(s[i + 2])) return false;
      i += 2;
      continue;
    }
    if (!isUnreserved(c) && !isSubDelim(c) && !isGenDelim(c)) return false;
  }
  return true;
}

// The part holds only unreserved characters, sub-delims, escapes and the characters of `extra`.
bool partAllows(std::string_view part, std::string_view extra) {
  for (char c : part) {
    if (isUnreserved(c) || isSubDelim(c) || c == '%') continue;
    if (extra.find(c) == std::string_view::npos) return false;
  }
  return true;
}

// An IPv6 address or a future-format literal; only its characters are checked.
bool isIPLiteral(std::string_view s) {
  if (s.empty()) return false;
  if (s[0] == 'v' || s[0] == 'V') return s.size() > 1 && partAllows(s.substr(1), ":");
  bool colon = false;
  for (char c : s) {
    if (c == ':') colon = true;
    else if (!isHex(c) && c != '.') return false;
  }
  return colon;
}

}  // namespace

std::optional<URL> URL::parse(std::string_view text) {
  if (text.empty() || !hasOnlyURLCharacters(text)) return std::nullopt;
  URL u;
  u.text_ = std::string(text);

  // scheme
  if (!isAlpha(text[0])) return std::nullopt;
  std::size_t i = 1;
  while (i < text.size() && (isAlpha(text[i]) || isDigit(text[i]) || text[i] == '+' || text[i] == '-' || text[i] == '.'))
    ++i;
  if (i >= text.size() || text[i] != ':') return std::nullopt;
  u.schemeEnd_ = i;
  ++i;

  // authority
  if (text.substr(i, 2) == "//") {
    u.hasAuthority_ = true;
    i += 2;
    const std::size_t end = std::min(text.find_first_of("/?#", i), text.size());
    std::string_view authority = text.substr(i, end - i);
    std::size_t hostOffset = 0;
    if (const auto at = authority.find('@'); at != std::string_view::npos) {
      // the user information ends at the first "@"; a second one stays in the host, which refuses it
      if (!partAllows(authority.substr(0, at), ":")) return std::nullopt;
      hostOffset = at + 1;
    }
    std::string_view hostPort = authority.substr(hostOffset);
    std::string_view portText;
    if (!hostPort.empty() && hostPort[0] == '[') {
      const auto close = hostPort.find(']');
      if (close == std::string_view::npos || !isIPLiteral(hostPort.substr(1, close - 1))) return std::nullopt;
      u.hostBegin_ = i + hostOffset + 1;
      u.hostEnd_ = i + hostOffset + close;
      std::string_view after = hostPort.substr(close + 1);
      if (!after.empty()) {
        if (after[0] != ':') return std::nullopt;
        portText = after.substr(1);
      }
    } else {
      const auto colon = hostPort.find(':');
      std::string_view hostName = hostPort.substr(0, colon);
      if (!partAllows(hostName, "")) return std::nullopt;
      u.hostBegin_ = i + hostOffset;
      u.hostEnd_ = u.hostBegin_ + hostName.size();
      if (colon != std::string_view::npos) portText = hostPort.substr(colon + 1);
    }
    if (!portText.empty()) {
      long value = 0;
      for (char c : portText) {
        if (!isDigit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 65535) return std::nullopt;
      }
      u.port_ = static_cast<int>(value);
    }
    i = end;
  }

  // path, query, fragment
  const std::size_t hash = text.find('#', i);
  const std::size_t pathAndQueryEnd = std::min(hash, text.size());
  const std::size_t question = text.find('?', i);
  u.pathBegin_ = i;
  u.pathEnd_ = std::min(question, pathAndQueryEnd);
  if (!partAllows(text.substr(u.pathBegin_, u.pathEnd_ - u.pathBegin_), ":@/")) return std::nullopt;
  if (u.pathEnd_ < pathAndQueryEnd) {
    u.queryBegin_ = u.pathEnd_ + 1;
    if (!partAllows(text.substr(*u.queryBegin_, pathAndQueryEnd - *u.queryBegin_), ":@/?")) return std::nullopt;
  }
  if (hash != std::string_view::npos) {
    u.fragmentBegin_ = hash + 1;
    if (!partAllows(text.substr(*u.fragmentBegin_), ":@/?")) return std::nullopt;
  }
  return u;
}

std::optional<std::string> URL::host() const {
  if (!hasAuthority_) return std::nullopt;
  return text_.substr(hostBegin_, hostEnd_ - hostBegin_);
}

std::optional<std::string> URL::query() const {
  if (!queryBegin_) return std::nullopt;
  const std::size_t end = fragmentBegin_ ? *fragmentBegin_ - 1 : text_.size();
  return text_.substr(*queryBegin_, end - *queryBegin_);
}

std::optional<std::string> URL::fragment() const {
  if (!fragmentBegin_) return std::nullopt;
  return text_.substr(*fragmentBegin_);
}

URL URL::appendingPathComponent(std::string_view component) const {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (char c : component) {
    if (isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@' || c == '/') {
      encoded += c;
    } else {
      const auto b = static_cast<unsigned char>(c);
      encoded += '%';
      encoded += kHex[b >> 4];
      encoded += kHex[b & 0x0F];
    }
  }
  if (encoded.empty()) return *this;

  std::string path = this->path();
  // one "/" between the parts, whichever side brings it; and a path without an authority must
  // not start with "//"
  encoded.erase(0, encoded.find_first_not_of('/'));
  if (path.empty()) {
    if (hasAuthority_) path = "/";
  } else if (path.back() != '/') {
    path += '/';
  }
  path += encoded;

  auto result = parse(text_.substr(0, pathBegin_) + path + text_.substr(pathEnd_));
  if (!result) fatalError("appendingPathComponent made a text that is not a URL");
  return *result;
}

}  // namespace platform
