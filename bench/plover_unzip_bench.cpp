// Unpacking a downloaded ad bundle: the peer's large end card (a zip of a few megabytes: six
// pictures that do not compress and a megabyte of script that does) moved into its bundle folder
// through the Plover SDK's ad part and file manager (every entry checked, then unpacked into a
// staging folder that is renamed into place), against a bare in-process extraction of the same
// archive with libzip into a fresh folder of the same kind, and against the unzip program.
// Each repetition starts from a bundle folder without the unpacked end card (the removal of
// the previous one is not timed). The reported figure is the ratio of the SDK's median to the
// bare median. Run with --benchmark_repetitions=15 --benchmark_enable_random_interleaving=true
// --benchmark_report_aggregates_only=true: interleaved repetitions keep a shared machine's drift
// out of the ratio.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "plover/PloverAd.h"
#include "plover/PloverAdPart.h"

namespace {

namespace fs = std::filesystem;

const fs::path kArchive = fs::path(QEN_PLOVER_BUNDLES_DIR) / "large.zip";

fs::path benchRoot() {
    static const fs::path root = [] {
        const fs::path r =
            fs::temp_directory_path() / ("qen-plover-unzip-bench-" + std::to_string(getpid()));
        fs::remove_all(r);
        fs::create_directories(r);
        platform::AppHome::setHome(r / "home");
        return r;
    }();
    return root;
}

void BM_PloverAdPartUnpack(benchmark::State& state) {
    const fs::path cache = benchRoot() / "cache";
    auto bundle = PloverAdLegacy::create(platform::Dictionary{
        {"campaign", "bench"}, {"basePath", cache.string()}, {"expire_at", 4e9}});
    auto part = PloverAdPart::create("https://peer.test/bundles/large.zip",
                                     PloverAdPart::kTypePostBundle, true);
    bundle->addPart(part);
    for (auto _ : state) {
        state.PauseTiming();
        part->removeFiles();
        state.ResumeTiming();
        platform::Error error;
        if (!part->saveDownloadedFile(kArchive, &error)) {
            state.SkipWithError(error.localizedDescription().c_str());
            break;
        }
    }
    if (!part->isValid()) state.SkipWithError("the end card is not in place");
}

// The same archive unpacked the plain way: open, walk the entries, write each file.
bool bareExtract(const fs::path& archivePath, const fs::path& destination) {
    int error = 0;
    zip_t* archive = zip_open(archivePath.c_str(), ZIP_RDONLY, &error);
    if (!archive) return false;
    std::vector<char> buffer(256 * 1024);
    fs::create_directories(destination);
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    bool ok = true;
    for (zip_int64_t i = 0; i < count && ok; ++i) {
        const std::string name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        const fs::path target = destination / name;
        if (name.back() == '/') {
            fs::create_directories(target);
            continue;
        }
        fs::create_directories(target.parent_path());
        zip_file_t* in = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (!in || fd < 0) ok = false;
        zip_int64_t n;
        while (ok && (n = zip_fread(in, buffer.data(), buffer.size())) > 0)
            ok = ::write(fd, buffer.data(), static_cast<size_t>(n)) == n;
        if (fd >= 0) ::close(fd);
        if (in) zip_fclose(in);
    }
    zip_discard(archive);
    return ok;
}

void BM_BareLibzipExtract(benchmark::State& state) {
    const fs::path folder = benchRoot() / "bare" / "bench" / "postbundle";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(folder);
        state.ResumeTiming();
        if (!bareExtract(kArchive, folder)) {
            state.SkipWithError("bare extraction failed");
            break;
        }
    }
}

void BM_UnzipProgram(benchmark::State& state) {
    const fs::path folder = benchRoot() / "program" / "bench" / "postbundle";
    const std::string command =
        "unzip -q -o '" + kArchive.string() + "' -d '" + folder.string() + "'";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(folder);
        fs::create_directories(folder.parent_path());
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("unzip failed");
            break;
        }
    }
}

BENCHMARK(BM_PloverAdPartUnpack)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareLibzipExtract)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UnzipProgram)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(benchRoot(), ec);
    return 0;
}
