#include "platform/ui/URLOpening.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/URLDelivery.h"

namespace platform::ui {
namespace {

namespace fs = std::filesystem;

std::mutex& listMutex() {
    static std::mutex m;
    return m;
}

std::vector<std::string>& openedList() {
    static std::vector<std::string> list;
    return list;
}

std::string lowercase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The scheme of the URL, lowercased: a letter, then letters, digits, "+", "-" or ".", before
// the first ":".
std::optional<std::string> schemeOf(const std::string& url) {
    auto colon = url.find(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    for (size_t i = 0; i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(url[i]);
        bool ok =
            std::isalpha(c) || (i > 0 && (std::isdigit(c) || c == '+' || c == '-' || c == '.'));
        if (!ok) return std::nullopt;
    }
    return lowercase(url.substr(0, colon));
}

// A bundle identifier as one file or folder name.
std::string fileNameFor(std::string bundleIdentifier) {
    std::replace(bundleIdentifier.begin(), bundleIdentifier.end(), '/', '_');
    return bundleIdentifier;
}

fs::path appsFolder() {
    return AppHome::deviceRoot() / "apps";
}

fs::path inboxFolder(const std::string& bundleIdentifier) {
    return AppHome::deviceRoot() / "inbox" / fileNameFor(bundleIdentifier);
}

// The bundle identifier of the installed app that handles the scheme.
std::optional<std::string> appForScheme(const std::string& scheme) {
    std::error_code ec;
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(appsFolder(), ec)) {
        if (entry.path().extension() == ".plist") entries.push_back(entry.path());
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& path : entries) {
        auto app = plist::readFile(path);
        if (!app) continue;
        const Value* id = app->find("bundleIdentifier");
        const Value* schemes = app->find("urlSchemes");
        if (!id || !id->string() || !schemes || !schemes->array()) continue;
        for (const Value& s : *schemes->array()) {
            if (s.string() && lowercase(*s.string()) == scheme) return *id->string();
        }
    }
    return std::nullopt;
}

bool isBrowserScheme(const std::string& scheme) {
    return scheme == "http" || scheme == "https";
}

std::function<void(const std::string&)>& systemBrowser() {
    static std::function<void(const std::string&)> browser;
    return browser;
}

}  // namespace

void registerInstalledApplication(const std::string& bundleIdentifier,
                                  const std::vector<std::string>& urlSchemes) {
    Array schemes(urlSchemes.begin(), urlSchemes.end());
    Dictionary app{{"bundleIdentifier", bundleIdentifier}, {"urlSchemes", std::move(schemes)}};
    if (!plist::writeFile(appsFolder() / (fileNameFor(bundleIdentifier) + ".plist"), app)) {
        log("Could not register the installed application " + bundleIdentifier);
    }
}

bool canOpenURL(const std::string& url) {
    auto scheme = schemeOf(url);
    if (!scheme) return false;
    return isBrowserScheme(*scheme) || appForScheme(*scheme).has_value();
}

bool openURL(const std::string& url) {
    auto scheme = schemeOf(url);
    if (!scheme) return false;
    if (!isBrowserScheme(*scheme)) {
        auto app = appForScheme(*scheme);
        if (!app) return false;
        // Names sort in the order the URLs were opened: wall time, then a process counter.
        static std::atomic<uint64_t> counter{0};
        char name[96];
        std::snprintf(name, sizeof name, "%020" PRIu64 "-%08" PRIu64 "-%d.plist",
                      static_cast<uint64_t>(Clock::wallNow() * 1e6), counter++,
                      static_cast<int>(getpid()));
        Dictionary entry{{"url", url}, {"sourceApplication", AppHome::bundleIdentifier()}};
        if (!plist::writeFile(inboxFolder(*app) / name, entry)) return false;
        knockRunningApplication(*app);  // a running app takes it now, else at its launch
    } else {
        std::function<void(const std::string&)> browser;
        {
            std::lock_guard lock(listMutex());
            browser = systemBrowser();
        }
        if (browser) {
            browser(url);
        } else {
            log("Opened in the system browser: " + url);
        }
    }
    std::lock_guard lock(listMutex());
    openedList().push_back(url);
    return true;
}

void setSystemBrowser(std::function<void(const std::string& url)> browser) {
    std::lock_guard lock(listMutex());
    systemBrowser() = std::move(browser);
}

std::vector<std::string> openedURLs() {
    std::lock_guard lock(listMutex());
    return openedList();
}

std::vector<std::string> takeInboxURLs(const std::string& bundleIdentifier) {
    std::vector<std::string> urls;
    for (auto& entry : takeInboxEntries(bundleIdentifier))
        urls.push_back(std::move(entry.url));
    return urls;
}

std::vector<InboxEntry> takeInboxEntries(const std::string& bundleIdentifier) {
    std::error_code ec;
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(inboxFolder(bundleIdentifier), ec)) {
        if (entry.path().extension() == ".plist") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<InboxEntry> entries;
    for (const auto& path : paths) {
        auto entry = plist::readFile(path);
        files::remove(path);
        const Value* url = entry ? entry->find("url") : nullptr;
        const Value* source = entry ? entry->find("sourceApplication") : nullptr;
        if (!url || !url->string()) continue;
        entries.push_back({*url->string(), source && source->string() ? *source->string() : ""});
    }
    return entries;
}

}  // namespace platform::ui
