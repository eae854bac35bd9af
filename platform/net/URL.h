#pragma once
// URL: a URI reference split into its parts (RFC 3986), as the loaders, the cache key and the
// web view's resolution of links need it. Parts keep their percent-escapes exactly as given;
// nothing is decoded or re-encoded. The scheme is kept in lower case. An optional part that is
// absent (no "?") differs from one that is empty ("?" with nothing after it).
//
// parse() refuses text with spaces, control characters, non-ASCII bytes, a stray '%' or a
// non-numeric port, and answers std::nullopt for it. A value is immutable and thread-safe.

#include <optional>
#include <string>

namespace platform::net {

class URL {
  public:
    // Any URI reference: absolute ("http://h/p") or relative ("../a?b").
    static std::optional<URL> parse(const std::string& text);
    // `reference` resolved against `base` (RFC 3986 section 5.2); std::nullopt when either does
    // not parse or the base is not absolute.
    static std::optional<URL> resolve(const std::string& reference, const URL& base);
    std::optional<URL> resolve(const std::string& reference) const {
        return resolve(reference, *this);
    }

    bool isAbsolute() const { return scheme_.has_value(); }
    const std::string& scheme() const;  // empty when relative
    bool hasAuthority() const { return host_.has_value(); }
    const std::optional<std::string>& user() const { return user_; }
    const std::optional<std::string>& password() const { return password_; }
    const std::string& host() const;  // without brackets for an IPv6 literal; empty when none
    std::optional<int> port() const;  // std::nullopt when absent or empty
    const std::string& path() const { return path_; }
    const std::optional<std::string>& query() const { return query_; }
    const std::optional<std::string>& fragment() const { return fragment_; }

    // The text recomposed from the parts (equal to the parsed text, scheme case aside).
    std::string absoluteString() const;
    // The same URL without its fragment.
    URL withoutFragment() const;

    friend bool operator==(const URL& a, const URL& b) {
        return a.absoluteString() == b.absoluteString();
    }

  private:
    URL() = default;

    std::optional<std::string> scheme_;
    std::optional<std::string> user_;
    std::optional<std::string> password_;
    std::optional<std::string> host_;  // set when there is an authority
    bool bracketed_ = false;
    std::optional<std::string> port_;  // the digits as given ("h:" keeps an empty one)
    std::string path_;
    std::optional<std::string> query_;
    std::optional<std::string> fragment_;
};

}  // namespace platform::net
