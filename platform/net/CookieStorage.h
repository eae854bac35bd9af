#pragma once
// The process's cookie jar, in memory. Loads whose request says HTTPShouldHandleCookies take
// the cookies their responses set and send the matching ones with their requests; the others
// neither send nor keep any. Thread-safe.

#include <string>
#include <vector>

namespace platform::net {

struct Cookie {
    std::string domain;
    std::string path;
    std::string name;
    std::string value;
    bool secure = false;
};

class CookieStorage {
  public:
    static CookieStorage& shared();
    std::vector<Cookie> cookies() const;
    void removeAll();

    // The handle loads attach to (the network layer's own use); it also keeps their TLS
    // sessions.
    void* shareHandle() const { return share_; }

  private:
    CookieStorage();
    void* share_;
};

}  // namespace platform::net
