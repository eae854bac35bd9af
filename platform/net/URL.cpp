#include "platform/net/URL.h"

#include <cctype>
#include <vector>

namespace platform::net {
namespace {

bool isHex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// Characters a URL may carry as given: unreserved, reserved, '%' escapes, and a few that
// browsers let through in queries ('[', ']' outside hosts).
bool validText(const std::string& s) {
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c <= 0x20 || c >= 0x7f) return false;
        switch (c) {
            case '"':
            case '<':
            case '>':
            case '\\':
            case '^':
            case '`':
            case '{':
            case '|':
            case '}':
                return false;
            case '%':
                if (i + 2 >= s.size() || !isHex(s[i + 1]) || !isHex(s[i + 2])) return false;
                break;
            default:
                break;
        }
    }
    return true;
}

// RFC 3986 section 5.2.4.
std::string removeDotSegments(const std::string& path) {
    std::string in = path;
    std::string out;
    while (!in.empty()) {
        if (in.rfind("../", 0) == 0) {
            in.erase(0, 3);
        } else if (in.rfind("./", 0) == 0) {
            in.erase(0, 2);
        } else if (in.rfind("/./", 0) == 0) {
            in.erase(0, 2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.rfind("/../", 0) == 0 || in == "/..") {
            in = in == "/.." ? "/" : in.substr(3);
            const auto slash = out.rfind('/');
            out.erase(slash == std::string::npos ? 0 : slash);
        } else if (in == "." || in == "..") {
            in.clear();
        } else {
            const size_t start = in[0] == '/' ? 1 : 0;
            const size_t next = in.find('/', start);
            out += in.substr(0, next);
            in.erase(0, next == std::string::npos ? in.size() : next);
        }
    }
    return out;
}

}  // namespace

std::optional<URL> URL::parse(const std::string& text) {
    if (!validText(text)) return std::nullopt;
    URL url;
    std::string rest = text;
    if (auto hash = rest.find('#'); hash != std::string::npos) {
        url.fragment_ = rest.substr(hash + 1);
        rest.erase(hash);
    }
    if (auto q = rest.find('?'); q != std::string::npos) {
        url.query_ = rest.substr(q + 1);
        rest.erase(q);
    }
    // A scheme: a letter, then letters, digits, '+', '-', '.', up to the first ':' that comes
    // before any '/'.
    const auto colon = rest.find(':');
    if (colon != std::string::npos && colon > 0 && colon < rest.find('/') &&
        std::isalpha(static_cast<unsigned char>(rest[0]))) {
        bool ok = true;
        for (size_t i = 0; i < colon; ++i) {
            const char c = rest[i];
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
                ok = false;
        }
        if (ok) {
            std::string scheme = rest.substr(0, colon);
            for (auto& c : scheme)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            url.scheme_ = scheme;
            rest.erase(0, colon + 1);
        }
    }
    if (rest.rfind("//", 0) == 0) {
        const auto end = rest.find('/', 2);
        std::string authority =
            rest.substr(2, end == std::string::npos ? std::string::npos : end - 2);
        rest.erase(0, end == std::string::npos ? rest.size() : end);
        if (auto at = authority.rfind('@'); at != std::string::npos) {
            std::string userinfo = authority.substr(0, at);
            authority.erase(0, at + 1);
            if (auto c = userinfo.find(':'); c != std::string::npos) {
                url.password_ = userinfo.substr(c + 1);
                userinfo.erase(c);
            }
            url.user_ = userinfo;
        }
        std::string host = authority;
        if (!authority.empty() && authority[0] == '[') {
            const auto close = authority.find(']');
            if (close == std::string::npos) return std::nullopt;
            host = authority.substr(1, close - 1);
            url.bracketed_ = true;
            const std::string after = authority.substr(close + 1);
            if (!after.empty()) {
                if (after[0] != ':') return std::nullopt;
                url.port_ = after.substr(1);
            }
        } else if (auto c = authority.rfind(':'); c != std::string::npos) {
            url.port_ = authority.substr(c + 1);
            host = authority.substr(0, c);
        }
        if (url.port_) {
            if (url.port_->size() > 5) return std::nullopt;
            for (char c : *url.port_)
                if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        }
        if (!url.bracketed_ &&
            (host.find('[') != std::string::npos || host.find(']') != std::string::npos))
            return std::nullopt;
        url.host_ = host;
    }
    url.path_ = rest;
    return url;
}

std::optional<URL> URL::resolve(const std::string& reference, const URL& base) {
    auto ref = parse(reference);
    if (!ref || !base.isAbsolute()) return std::nullopt;
    URL t = *ref;
    if (ref->scheme_) {
        t.path_ = removeDotSegments(ref->path_);
        return t;
    }
    t.scheme_ = base.scheme_;
    if (ref->host_) {
        t.path_ = removeDotSegments(ref->path_);
        return t;
    }
    t.user_ = base.user_;
    t.password_ = base.password_;
    t.host_ = base.host_;
    t.bracketed_ = base.bracketed_;
    t.port_ = base.port_;
    if (ref->path_.empty()) {
        t.path_ = base.path_;
        if (!ref->query_) t.query_ = base.query_;
    } else if (ref->path_[0] == '/') {
        t.path_ = removeDotSegments(ref->path_);
    } else {
        std::string merged;
        if (base.host_ && base.path_.empty()) {
            merged = "/" + ref->path_;
        } else {
            const auto slash = base.path_.rfind('/');
            merged =
                (slash == std::string::npos ? "" : base.path_.substr(0, slash + 1)) + ref->path_;
        }
        t.path_ = removeDotSegments(merged);
    }
    return t;
}

const std::string& URL::scheme() const {
    static const std::string empty;
    return scheme_ ? *scheme_ : empty;
}

const std::string& URL::host() const {
    static const std::string empty;
    return host_ ? *host_ : empty;
}

std::optional<int> URL::port() const {
    if (!port_ || port_->empty()) return std::nullopt;
    return std::stoi(*port_);
}

std::string URL::absoluteString() const {
    std::string s;
    if (scheme_) s += *scheme_ + ":";
    if (host_) {
        s += "//";
        if (user_) {
            s += *user_;
            if (password_) s += ":" + *password_;
            s += "@";
        }
        s += bracketed_ ? "[" + *host_ + "]" : *host_;
        if (port_) s += ":" + *port_;
    }
    s += path_;
    if (query_) s += "?" + *query_;
    if (fragment_) s += "#" + *fragment_;
    return s;
}

URL URL::withoutFragment() const {
    URL u = *this;
    u.fragment_.reset();
    return u;
}

}  // namespace platform::net
