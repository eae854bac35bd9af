// A downloaded end card: the bytes of a zip archive handed to the Plover SDK's ad part as a
// finished download, which checks every entry and unpacks the archive into the bundle folder
// (PloverAdPart::saveDownloadedFile, then PloverFileManager::unzipFileAtPath), then reads the
// unpacked card as the player does (validity, the page to load). Afterwards nothing may exist
// beside the bundle folder but the download itself: a file anywhere else is a finding.
//
// Input: the archive's bytes.

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

namespace {

namespace fs = std::filesystem;

struct Fixture {
    fs::path root;  // holds only "download.zip" and "cache/card/..."
    std::shared_ptr<PloverAdLegacy> bundle;
    std::shared_ptr<PloverAdPart> part;
};

Fixture& fixture() {
    static Fixture made;
    return made;
}

// Aborts when anything lies in the fixture's folder outside the bundle folder.
void checkNothingOutside(const fs::path& root, const fs::path& bundleFolder) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::end(it);
         it.increment(ec)) {
        const fs::path path = it->path();
        if (path == root / "download.zip" || path == root / "cache" || path == bundleFolder)
            continue;
        const auto relative = path.lexically_relative(bundleFolder);
        if (!relative.empty() && *relative.begin() != "..") continue;
        std::fprintf(stderr, "written outside the bundle folder: %s\n", path.c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    Fixture& f = fixture();
    f.root = platform::AppHome::caches() / "zip-fuzz";
    fs::create_directories(f.root / "cache");
    f.bundle = PloverAdLegacy::create(platform::Dictionary{
        {"campaign", "card"}, {"basePath", (f.root / "cache").string()}, {"expire_at", 4e9}});
    f.part = PloverAdPart::create("http://127.0.0.1/card.zip", PloverAdPart::kTypePostBundle, true);
    f.bundle->addPart(f.part);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Fixture& f = fixture();
    f.part->removeFiles();
    const fs::path download = f.root / "download.zip";
    {
        std::ofstream out(download, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    platform::Error error;
    if (f.part->saveDownloadedFile(download, &error)) {
        f.part->isValid();
        f.part->indexPath();
    }
    checkNothingOutside(f.root, f.bundle->bundlePath());
    std::error_code ec;
    fs::remove(download, ec);
    return 0;
}
