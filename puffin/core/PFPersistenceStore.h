#pragma once
// Small objects of the Puffin SDK kept as files in named folders under the app's Caches folder:
// one value per file, written atomically as a keyed archive, read back with a fallback to JSON
// text. A file that cannot be read back in either form is deleted so the next read starts
// clean. Failures are logged through PFLog and surface only as missing results.
//
// Threading: no locks; any thread, as far as the file system allows. The atomic write means a
// reader never sees a half-written file; callers sharing one file serialize their own access.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

class PFPersistenceStore {
  public:
    using Name = std::optional<std::string>;

    static std::shared_ptr<PFPersistenceStore> shared();

    // Writes nothing (and logs the dictionary) when it is not a valid JSON object.
    static void persistDictionary(const platform::Value& dictionary,
                                  const Name& directory,
                                  const Name& name);
    static void persistObject(const std::optional<platform::Value>& object,
                              const Name& directory,
                              const Name& name);
    static std::optional<platform::Value> loadObjectInDirectory(const Name& directory,
                                                                const Name& name);
    static void deleteFileInDirectory(const Name& directory, const Name& name);
    static void deleteDirectory(const Name& directory);
    static std::optional<std::vector<std::string>> namesOfFilesInDirectory(const Name& directory);

    void writeObjectToFile(const std::optional<platform::Value>& object,
                           const Name& directory,
                           const Name& name);
    // The file's path, its folder made when missing; std::nullopt when the folder cannot be made.
    std::optional<std::string> createFileInDirectory(const Name& directory, const Name& name);
    // Caches/<directory>/<name>; the folder itself without a name.
    std::string cachePathInDirectory(const Name& directory, const Name& name) const;
    // Removes the entries of the folder (a full path) larger than `bytes`; errors are ignored.
    void deleteItemsInDirectory(const std::filesystem::path& directory, int64_t bytes);
};
