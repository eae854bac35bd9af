#include "platform/net/CookieStorage.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>

namespace platform::net {
namespace {

std::mutex& shareMutex() {
    static std::mutex m;
    return m;
}

void lockShare(CURL*, curl_lock_data, curl_lock_access, void*) {
    shareMutex().lock();
}
void unlockShare(CURL*, curl_lock_data, void*) {
    shareMutex().unlock();
}

}  // namespace

CookieStorage& CookieStorage::shared() {
    // Made once, never destroyed: the network thread may use it until the process ends.
    static CookieStorage* storage = new CookieStorage();
    return *storage;
}

CookieStorage::CookieStorage() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        std::fprintf(stderr, "platform/net: libcurl could not be initialised\n");
        std::abort();
    }
    CURLSH* share = curl_share_init();
    curl_share_setopt(share, CURLSHOPT_LOCKFUNC, lockShare);
    curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, unlockShare);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    // TLS sessions too: each load has an easy handle of its own, and a session kept here lets
    // the next connection to the same server resume it.
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    share_ = share;
}

std::vector<Cookie> CookieStorage::cookies() const {
    std::vector<Cookie> out;
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_SHARE, share_);
    curl_slist* list = nullptr;
    curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &list);
    for (curl_slist* item = list; item; item = item->next) {
        // domain, subdomains flag, path, secure, expiry, name, value: tab-separated
        std::vector<std::string> fields;
        std::stringstream line(item->data);
        std::string field;
        while (std::getline(line, field, '\t'))
            fields.push_back(field);
        if (fields.size() < 6) continue;
        Cookie c;
        c.domain = fields[0];
        if (c.domain.rfind("#HttpOnly_", 0) == 0) c.domain.erase(0, 10);
        c.path = fields[2];
        c.secure = fields[3] == "TRUE";
        c.name = fields[5];
        c.value = fields.size() > 6 ? fields[6] : "";
        out.push_back(std::move(c));
    }
    curl_slist_free_all(list);
    curl_easy_cleanup(easy);
    return out;
}

void CookieStorage::removeAll() {
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_SHARE, share_);
    curl_easy_setopt(easy, CURLOPT_COOKIELIST, "ALL");
    curl_easy_cleanup(easy);
}

}  // namespace platform::net
