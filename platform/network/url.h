#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// An absolute URL. Every place that turns text into a URL uses this one strict rule (RFC 3986,
// absolute form only):
//
// - The text is not empty and holds only URL characters: ASCII letters and digits,
//   - . _ ~ : / ? # [ ] @ ! $ & ' ( ) * + , ; = and "%" followed by two hex digits.
//   Anything else (spaces, control characters, non-ASCII bytes, < > " { } | \ ^ and the
//   backquote) makes the text not a URL; nothing is escaped on the caller's behalf.
// - It starts with a scheme: a letter, then letters, digits, "+", "-" or ".", then ":".
// - "//" after the scheme starts an authority: optional user information ending in "@", a host
//   (a name, possibly empty, or an IP literal in brackets) and an optional ":port" (digits,
//   at most 65535; an empty port is no port).
// - Then the path, an optional query after "?" and an optional fragment after "#". Brackets
//   appear only around an IP literal; "#" appears at most once.
//
// The text is kept exactly as given (absoluteString()); the parts are views of it, still
// percent-encoded.
class URL {
 public:
  static std::optional<URL> parse(std::string_view text);
  // The platform's name for the same rule.
  static std::optional<URL> URLWithString(std::string_view text) { return parse(text); }

  const std::string& absoluteString() const { return text_; }
  // As written; compare schemes without regard to case.
  std::string scheme() const { return text_.substr(0, schemeEnd_); }
  // Absent when there is no authority ("app-settings:"); empty for "fb://". An IP literal
  // comes without its brackets.
  std::optional<std::string> host() const;
  std::optional<int> port() const { return port_; }
  std::string path() const { return text_.substr(pathBegin_, pathEnd_ - pathBegin_); }
  std::optional<std::string> query() const;
  std::optional<std::string> fragment() const;

  // A copy with `component` added to the end of the path after a "/" (one "/" between them,
  // never two). Characters that may not stand in a path are percent-encoded, "%" included, so
  // the result always parses; "/" inside the component separates further segments. The query
  // and fragment stay. An empty component gives the URL unchanged.
  URL appendingPathComponent(std::string_view component) const;

  bool operator==(const URL& other) const { return text_ == other.text_; }

 private:
  URL() = default;

  std::string text_;
  std::size_t schemeEnd_ = 0;  // position of the ":" after the scheme
  bool hasAuthority_ = false;
  std::size_t hostBegin_ = 0, hostEnd_ = 0;
  std::optional<int> port_;
  std::size_t pathBegin_ = 0, pathEnd_ = 0;
  std::optional<std::size_t> queryBegin_;     // just after "?"
  std::optional<std::size_t> fragmentBegin_;  // just after "#"
};

}  // namespace platform
