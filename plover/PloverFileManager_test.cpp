#include "plover/PloverFileManager.h"

#include <zip.h>

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"

namespace {

namespace fs = std::filesystem;

// A zip archive of the given entries (name -> content; a name ending in "/" is a folder).
fs::path makeZip(const std::string& name,
                 const std::vector<std::pair<std::string, std::string>>& entries) {
    const fs::path path = platform::AppHome::temporary() / name;
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(archive, nullptr);
    for (const auto& [entry, content] : entries) {
        if (entry.back() == '/') {
            zip_dir_add(archive, entry.c_str(), ZIP_FL_ENC_UTF_8);
            continue;
        }
        zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
        EXPECT_GE(zip_file_add(archive, entry.c_str(), source, ZIP_FL_ENC_UTF_8), 0) << entry;
    }
    EXPECT_EQ(zip_close(archive), 0);
    return path;
}

// Everything under a folder, as relative paths.
std::set<std::string> listing(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec))
        names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

TEST(PloverFileManager, UnpacksFoldersAndFilesWithTheirBytes) {
    const auto archive = makeZip("card.zip", {{"index.html", "<p>card</p>"},
                                              {"img/", ""},
                                              {"img/logo.png", std::string("\x89PNG\0\1", 6)},
                                              {"js/deep/a.js", "var a = 1;"}});
    const fs::path destination = platform::AppHome::temporary() / "bundle" / "postbundle";
    platform::Error error;
    ASSERT_TRUE(PloverFileManager::unzipFileAtPath(archive, destination, &error))
        << error.localizedDescription();
    EXPECT_EQ(listing(destination), (std::set<std::string>{"index.html", "img", "img/logo.png",
                                                           "js", "js/deep", "js/deep/a.js"}));
    EXPECT_EQ(platform::files::readText(destination / "index.html"), "<p>card</p>");
    EXPECT_EQ(platform::files::readText(destination / "img/logo.png"),
              std::string("\x89PNG\0\1", 6));

    // The destination must be new: unpacking over it again is refused and leaves it alone.
    EXPECT_FALSE(PloverFileManager::unzipFileAtPath(archive, destination, &error));
    EXPECT_EQ(error.code, PloverFileManager::kErrorCannotCreate);
    EXPECT_TRUE(fs::exists(destination / "index.html"));
}

TEST(PloverFileManager, RefusesArchivesThatWouldWriteOutsideTheFolder) {
    const fs::path root = platform::AppHome::temporary() / "cache";
    const fs::path destination = root / "bundle" / "postbundle";
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> entries;
        int64_t code;
    };
    const Case cases[] = {
        {"parent folder",
         {{"index.html", "x"}, {"../escaped.txt", "x"}},
         PloverFileManager::kErrorUnsafeEntry},
        {"deep parent", {{"a/../../escaped.txt", "x"}}, PloverFileManager::kErrorUnsafeEntry},
        {"absolute",
         {{"index.html", "x"}, {"/tmp/plover-test-escaped.txt", "x"}},
         PloverFileManager::kErrorUnsafeEntry},
        {"backslash", {{"..\\escaped.txt", "x"}}, PloverFileManager::kErrorUnsafeEntry},
        {"dot folder", {{"./index.html", "x"}}, PloverFileManager::kErrorUnsafeEntry},
        // "indeX.html" is renamed to a second "index.html" below (libzip will not write two).
        {"twice", {{"index.html", "a"}, {"indeX.html", "b"}}, PloverFileManager::kErrorUnsafeEntry},
        {"file under a file",
         {{"index.html", "a"}, {"index.html/b", "b"}},
         PloverFileManager::kErrorCannotCreate},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ec;
        fs::remove_all(root, ec);
        fs::create_directories(root / "bundle", ec);
        const auto archive = makeZip("unsafe.zip", c.entries);
        if (std::string(c.what) == "twice") {
            auto bytes = *platform::files::readData(archive);
            std::string text = bytes.toString();
            for (size_t at = text.find("indeX.html"); at != std::string::npos;
                 at = text.find("indeX.html", at + 1))
                bytes.data()[at + 4] = 'x';
            ASSERT_TRUE(platform::files::writeAtomically(archive, bytes));
        }
        platform::Error error;
        EXPECT_FALSE(PloverFileManager::unzipFileAtPath(archive, destination, &error));
        EXPECT_EQ(error.domain, PloverFileManager::kErrorDomain);
        EXPECT_EQ(error.code, c.code);
        // Nothing written anywhere: not inside, not beside, not at the absolute path.
        EXPECT_FALSE(fs::exists(destination));
        EXPECT_EQ(listing(root), (std::set<std::string>{"bundle"}));
        EXPECT_FALSE(fs::exists("/tmp/plover-test-escaped.txt"));
        EXPECT_FALSE(fs::exists(root / "escaped.txt"));
    }
}

TEST(PloverFileManager, RefusesLinksAndDamagedArchives) {
    const fs::path destination = platform::AppHome::temporary() / "out";

    // A symbolic link entry (Unix mode 0120777) pointing outside.
    const auto linked = makeZip("link.zip", {{"index.html", "x"}, {"link", "/etc/passwd"}});
    {
        int error = 0;
        zip_t* archive = zip_open(linked.c_str(), 0, &error);
        ASSERT_NE(archive, nullptr);
        zip_file_set_external_attributes(archive, 1, 0, ZIP_OPSYS_UNIX, 0120777u << 16);
        ASSERT_EQ(zip_close(archive), 0);
    }
    platform::Error error;
    EXPECT_FALSE(PloverFileManager::unzipFileAtPath(linked, destination, &error));
    EXPECT_EQ(error.code, PloverFileManager::kErrorUnsafeEntry);
    EXPECT_FALSE(fs::exists(destination));

    // Not an archive at all, and an archive whose entry's bytes were changed after it was made.
    const fs::path garbage = platform::AppHome::temporary() / "garbage.zip";
    ASSERT_TRUE(platform::files::writeAtomically(garbage, "PK not really a zip"));
    EXPECT_FALSE(PloverFileManager::unzipFileAtPath(garbage, destination, &error));
    EXPECT_EQ(error.code, PloverFileManager::kErrorNotAnArchive);

    const std::string content(4000, 'a');
    const auto stored = makeZip("stored.zip", {{"index.html", content}});
    {
        int e = 0;
        zip_t* archive = zip_open(stored.c_str(), 0, &e);
        zip_set_file_compression(archive, 0, ZIP_CM_STORE, 0);
        zip_close(archive);
    }
    auto bytes = *platform::files::readData(stored);
    const std::string text = bytes.toString();
    const size_t at = text.find(content.substr(0, 100));
    ASSERT_NE(at, std::string::npos);
    bytes.data()[at + 10] = 'b';  // the checksum no longer matches
    ASSERT_TRUE(platform::files::writeAtomically(stored, bytes));
    EXPECT_FALSE(PloverFileManager::unzipFileAtPath(stored, destination, &error));
    EXPECT_EQ(error.code, PloverFileManager::kErrorCannotRead);
    EXPECT_FALSE(fs::exists(destination));
}

TEST(PloverFileManager, SafePathComponents) {
    for (const char* good : {"campaign-1", "a b", "x.y", "...", "活动"})
        EXPECT_TRUE(PloverFileManager::isSafePathComponent(good)) << good;
    for (const char* bad : {"", ".", "..", "../x", "a/b", "/", "a\\b", "a\nb"})
        EXPECT_FALSE(PloverFileManager::isSafePathComponent(bad)) << bad;
    EXPECT_FALSE(PloverFileManager::isSafePathComponent(std::string("a\0b", 3)));
    EXPECT_FALSE(PloverFileManager::isSafePathComponent(std::string(201, 'a')));
}

TEST(PloverFileManager, DeletingRefusesTheRootAndRelativePaths) {
    platform::Error error;
    EXPECT_FALSE(PloverFileManager::deleteDirectoryAtPath("/", &error));
    EXPECT_EQ(error.code, PloverFileManager::kErrorUnsafePath);
    EXPECT_FALSE(PloverFileManager::deleteDirectoryAtPath("relative/folder", &error));
    EXPECT_FALSE(PloverFileManager::deleteDirectoryAtPath("", &error));

    const fs::path folder = platform::AppHome::temporary() / "doomed" / "inner";
    ASSERT_TRUE(PloverFileManager::createDirectoryAtPath(folder, &error));
    ASSERT_TRUE(platform::files::writeAtomically(folder / "f", "x"));
    EXPECT_TRUE(PloverFileManager::deleteDirectoryAtPath(folder.parent_path(), &error));
    EXPECT_FALSE(fs::exists(folder.parent_path()));
    EXPECT_TRUE(PloverFileManager::deleteDirectoryAtPath(folder.parent_path(), &error));
}

}  // namespace
