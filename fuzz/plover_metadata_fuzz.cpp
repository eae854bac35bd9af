// The Plover SDK's files as another program (or a crash) may have left them: the "meta.data"
// archives of cached bundles, read back by the ad cache at start (each folder's bundle, its
// parts, its validity), then the cache's cleaning and the reads the SDK makes before a play,
// a save of every bundle, and the removal of every bundle with its files. Nothing outside the
// cache folder may be deleted or written: a file beside it that went missing, or a new one
// there, is a finding.
//
// Input: the pieces between "\n#file\n" separators are the meta.data files of the bundle folders
// "a", "b" and "c", in order (an absent piece writes no file; an empty one an empty file).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/foundation/AppHome.h"
#include "plover/PloverAd.h"
#include "plover/PloverAdPart.h"
#include "plover/PloverCacheManager.h"

namespace {

namespace fs = std::filesystem;

const char* const kFolders[] = {"a", "b", "c"};

fs::path cacheFolder() {
    return platform::AppHome::caches() / "plover";
}

// A file beside the cache folder and one in a folder next to it, which no run may touch.
fs::path keptBeside() {
    return platform::AppHome::caches() / "kept";
}

void checkBesideUntouched() {
    std::error_code ec;
    size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(platform::AppHome::caches(), ec)) {
        (void)entry;
        ++entries;
    }
    if (!fs::is_regular_file(keptBeside() / "file", ec) ||
        !fs::is_regular_file(platform::AppHome::caches() / "kept.txt", ec) || entries != 3) {
        std::fprintf(stderr, "a file beside the cache folder was deleted or written\n");
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    fs::create_directories(keptBeside());
    std::ofstream(keptBeside() / "file") << "kept";
    std::ofstream(platform::AppHome::caches() / "kept.txt") << "kept";
    fs::create_directories(cacheFolder());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qen::fuzz::emptyFolder(cacheFolder());
    const auto pieces = qen::fuzz::split(
        std::string_view(reinterpret_cast<const char*>(data), size), "\n#file\n", 3);
    for (size_t i = 0; i < pieces.size(); ++i) {
        fs::create_directories(cacheFolder() / kFolders[i]);
        std::ofstream out(cacheFolder() / kFolders[i] / "meta.data",
                          std::ios::binary | std::ios::trunc);
        out.write(pieces[i].data(), static_cast<std::streamsize>(pieces[i].size()));
    }

    {
        PloverCacheManager cache("plover");
        for (const auto& bundle : cache.bundles()) {
            bundle->isValid();
            bundle->isDownloaded();
            bundle->hasUsableCTAURLResolved();
            for (const auto& part : bundle->parts()) {
                part->isValid();
                part->indexPath();
            }
            bundle->save();
        }
        cache.cleanCache();
        if (auto ready = cache.readyBundle()) {
            ready->tpatEvents();
            ready->ctaURL();
            if (auto campaign = ready->campaign())
                cache.markCampaignViewed(*campaign, true, ready->expireDate());
        }
        cache.contents();
        cache.clearCache();
    }
    for (const char* folder : kFolders)
        PloverAdLegacy::bundleWithCampaignId(folder, cacheFolder());
    checkBesideUntouched();
    return 0;
}
