#pragma once
// The Plover SDK's file work: the base folders it keeps its files under, making and deleting
// folders, the test that a name from the server may stand as one path component, and the
// unpacking of a downloaded zip archive into a folder.
//
// Everything here is a pure function of its arguments and the file system: any thread.
// Nothing here deletes or writes outside the folders it is given; callers make sure those lie
// inside the SDK's own folders (isSafePathComponent for names that came from the server).

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/foundation/Error.h"

class PloverFileManager {
  public:
    // Error domain of the unpacking and folder failures below.
    static constexpr const char* kErrorDomain = "PloverFileManager";
    enum ErrorCode : int64_t {
        kErrorCannotCreate = 1,  // a folder or file could not be made
        kErrorCannotDelete = 2,  // a folder could not be deleted
        kErrorNotAnArchive = 3,  // not a zip archive, or damaged
        kErrorUnsafeEntry = 4,   // an entry that would land outside the folder, or a link
        kErrorTooLarge = 5,      // more entries or bytes than an ad bundle can hold
        kErrorCannotRead = 6,    // an entry's bytes could not be read (checksum, truncation)
        kErrorUnsafePath = 7,    // a folder outside what the caller may touch
    };

    // Directory types as the platform numbers them: 9 documents, 13 caches, 14 application
    // support (created when missing). Any other type gives the app's home folder.
    static std::filesystem::path basePathForDirectory(int directoryType);

    // Creates the folder and its missing parents. True when it exists afterwards.
    static bool createDirectoryAtPath(const std::filesystem::path& path, platform::Error* error);
    // Deletes the folder with everything in it. True when it is gone afterwards (also when it
    // never existed). Refuses (false) an empty or relative path and the file-system root.
    static bool deleteDirectoryAtPath(const std::filesystem::path& path, platform::Error* error);

    // Whether a name from outside (a campaign, a file name) may be one component of a path:
    // not empty, not "." or "..", no "/" or "\", no NUL or other control characters, and at
    // most 200 bytes.
    static bool isSafePathComponent(const std::string& name);

    // Limits of one unpacked archive.
    static constexpr uint64_t kMaxUnpackedBytes = 256ull * 1024 * 1024;
    static constexpr uint64_t kMaxEntries = 10000;

    // Unpacks the zip archive at `archive` into `destination`, which must not exist yet and is
    // created. Every entry is checked before anything is written: a name that is absolute,
    // holds a ".." component or a backslash, a symbolic link, two entries for one path, or
    // more than the limits above refuse the whole archive. On any failure `destination` is
    // removed again, so a caller sees either the whole archive unpacked or nothing.
    static bool unzipFileAtPath(const std::filesystem::path& archive,
                                const std::filesystem::path& destination,
                                platform::Error* error);
};
