// The bundle files the Plover peer serves, written with libzip.

#include <zip.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "peers/plover-api/PloverAPIServer.h"

namespace peers {

namespace {

// The end card: a page with the four actions the SDK's end-card view understands, as links
// on its "plover://actions/" scheme.
const char* const kEndCardPage = R"(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Plover end card</title>
<link rel="stylesheet" href="style.css">
<script src="js/endcard.js"></script>
</head>
<body style="background-color: #203040">
<div id="card" style="background-color: #f0a020; height: 300px">
<img id="logo" src="img/logo.png" width="64" height="64">
<p id="title">Plover Racers</p>
</div>
<p><a id="download" href="plover://actions/download">Install now</a></p>
<p><a id="replay" href="plover://actions/replay">Watch again</a></p>
<p><a id="privacy" href="plover://actions/privacy">Privacy</a></p>
<p><a id="close" href="plover://actions/close">Close</a></p>
</body>
</html>
)";

const char* const kEndCardScript = R"(// Marks the page as ready for the SDK's checks.
document.addEventListener("DOMContentLoaded", function () {
  window.ploverEndCardReady = true;
});
)";

const char* const kEndCardStyle = "body { margin: 0; color: #ffffff; }\n#card { padding: 16px; }\n";

// A 1x1 PNG picture.
const unsigned char kLogoPNG[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
    0x00, 0x1f, 0x15, 0xc4, 0x89, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0xf0, 0x1f, 0x00, 0x05, 0x00, 0x01, 0xff, 0x89, 0x99,
    0x3d, 0x1d, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

struct Entry {
    std::string name;
    std::string bytes;
};

bool writeZip(const std::filesystem::path& path,
              const std::vector<Entry>& entries,
              std::string* error) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive) {
        if (error) *error = "cannot create " + path.string();
        return false;
    }
    for (const Entry& entry : entries) {
        zip_source_t* source =
            zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
        if (!source || zip_file_add(archive, entry.name.c_str(), source,
                                    ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
            if (source) zip_source_free(source);
            if (error) *error = "cannot add " + entry.name + ": " + zip_strerror(archive);
            zip_discard(archive);
            return false;
        }
    }
    if (zip_close(archive) != 0) {
        if (error) *error = "cannot write " + path.string() + ": " + zip_strerror(archive);
        zip_discard(archive);
        return false;
    }
    return true;
}

std::vector<Entry> endCardEntries() {
    return {
        {"index.html", kEndCardPage},
        {"style.css", kEndCardStyle},
        {"js/endcard.js", kEndCardScript},
        {"img/logo.png", std::string(reinterpret_cast<const char*>(kLogoPNG), sizeof kLogoPNG)}};
}

}  // namespace

bool writePloverBundleFiles(const std::filesystem::path& folder, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);

    if (!writeZip(folder / "endcard.zip", endCardEntries(), error)) return false;

    auto traversal = endCardEntries();
    traversal.push_back({"../escaped.txt", "written outside the bundle\n"});
    if (!writeZip(folder / "traversal.zip", traversal, error)) return false;

    auto absolute = endCardEntries();
    absolute.push_back({"/tmp/plover-absolute-escaped.txt", "written outside the bundle\n"});
    if (!writeZip(folder / "absolute.zip", absolute, error)) return false;

    // A few megabytes: pictures that do not compress and script text that does.
    auto large = endCardEntries();
    std::mt19937 random(20261211);
    for (int i = 0; i < 6; ++i) {
        std::string picture(512 * 1024, '\0');
        for (char& c : picture)
            c = static_cast<char>(random() & 0xff);
        large.push_back({"img/frame-" + std::to_string(i) + ".jpg", std::move(picture)});
    }
    std::string script;
    while (script.size() < 1024 * 1024)
        script += "function step" + std::to_string(script.size()) + "(t) { return Math.sin(t) * " +
                  std::to_string(script.size() % 97) + "; }\n";
    large.push_back({"js/animation.js", std::move(script)});
    if (!writeZip(folder / "large.zip", large, error)) return false;

    std::ofstream bad(folder / "bad.zip", std::ios::binary | std::ios::trunc);
    for (int i = 0; i < 64; ++i)
        bad << "PK this is no zip archive, only a text that starts like one\n";
    if (!bad.good()) {
        if (error) *error = "cannot write bad.zip";
        return false;
    }
    return true;
}

}  // namespace peers
