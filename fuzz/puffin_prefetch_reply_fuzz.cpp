// What the video network's prefetcher does with a prefetch reply and with a web ad's template
// data: the videos and web-ad files it is told to keep (names, folders, URLs), the files it
// deletes, the downloads it starts and their outcomes, the templates' records and pages. Every
// download reaches a loopback server that answers a few bytes. A run ends when every download
// it started has an outcome; nothing may then lie outside the prefetcher's folders.
//
// Input: the reply (JSON: "videos" and "cache_assets"), the separator "\n--ad--\n", then the ad's
// "webview" data (JSON: "template", "elements").

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"
#include "platform/net/Reachability.h"
#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/core/PFVideoPrefetcher.h"

namespace {

namespace fs = std::filesystem;

qen::fuzz::LoopbackServer*& server() {
    static qen::fuzz::LoopbackServer* instance = nullptr;
    return instance;
}

// Whether `path` lies in one of the prefetcher's folders.
bool isPrefetchFile(const fs::path& path) {
    for (const fs::path& folder :
         {PFVideoPrefetcher::cacheFolder(""), PFVideoPrefetcher::cacheFolder(),
          PFVideoPrefetcher::temporaryFolder()}) {
        const auto relative = path.lexically_relative(folder);
        if (!relative.empty() && *relative.begin() != "..") return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    PFRegisterClasses();
    server() = new qen::fuzz::LoopbackServer;  // lives as long as the process
    server()->setAnswer("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nbytes");
    server()->becomeProxyForOtherHosts();
    platform::net::setReachabilityOverride(0x2u);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto parts = qen::fuzz::split(input, "\n--ad--\n", 2);
    auto prefetcher = PFVideoPrefetcher::shared();
    if (auto reply = platform::json::parse(std::string(parts[0]))) {
        const platform::Value* videos = reply->find("videos");
        prefetcher->synchronizeLocalVideosWithNewListKeepVideos(
            videos ? *videos : platform::Value(), {});
        const platform::Value* assets = reply->find("cache_assets");
        prefetcher->updateLocalAssetsWithNewDict(assets ? *assets : platform::Value());
    }
    if (parts.size() > 1) {
        auto ad = platform::json::parse(std::string(parts[1]));
        if (ad && ad->isDictionary()) {
            const platform::Value* id = ad->find("template");
            auto record = prefetcher->createTemplateForAdAdIdData(
                id && id->isString() ? *id->string() : "", "fuzz-ad", *ad->dictionary());
            if (prefetcher->isTemplateReady(record->ID))
                (void)prefetcher->getTemplateHTML(record->ID);
        }
    }
    platform::RunLoop::main().runUntil(
        [&] {
            return prefetcher->totalDownloads() <=
                   prefetcher->completedDownloads() + prefetcher->failedDownloads();
        },
        10);
    // Every download holds the server's "bytes": none may lie beside the prefetcher's folders.
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(platform::AppHome::home(), error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file() || it->file_size() != 5 || isPrefetchFile(it->path())) continue;
        std::ifstream file(it->path());
        std::string text;
        file >> text;
        if (text == "bytes") __builtin_trap();
    }
    PFVideoPrefetcher::cleanFolders();
    return 0;
}
