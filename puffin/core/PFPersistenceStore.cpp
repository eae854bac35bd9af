#include "puffin/core/PFPersistenceStore.h"

#include <cmath>
#include <system_error>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"
#include "puffin/core/PFLog.h"

namespace fs = std::filesystem;
using platform::Value;

namespace {

const char* text(const PFPersistenceStore::Name& name) {
    return name ? name->c_str() : "(null)";
}

bool isJSONObject(const Value& value) {
    if (!value.isDictionary() && !value.isArray()) return false;
    bool valid = true;
    auto check = [&](auto&& self, const Value& v) -> void {
        switch (v.type()) {
            case Value::Type::Data:
            case Value::Type::Date:
                valid = false;
                break;
            case Value::Type::Real:
                if (!std::isfinite(v.asReal())) valid = false;
                break;
            case Value::Type::Array:
                for (const Value& item : *v.array())
                    self(self, item);
                break;
            case Value::Type::Dictionary:
                for (const auto& [key, item] : *v.dictionary())
                    self(self, item);
                break;
            default:
                break;
        }
    };
    check(check, value);
    return valid;
}

}  // namespace

std::shared_ptr<PFPersistenceStore> PFPersistenceStore::shared() {
    // Never destroyed: network work still running at exit may persist through it.
    static const auto* instance =
        new std::shared_ptr<PFPersistenceStore>(std::make_shared<PFPersistenceStore>());
    return *instance;
}

void PFPersistenceStore::persistDictionary(const Value& dictionary,
                                           const Name& directory,
                                           const Name& name) {
    if (!isJSONObject(dictionary)) {
        PFLogError(
            "PFPersistenceStore Error: Dictionary is not a valid JSON object. \n Bad Dict: %s",
            platform::json::serialize(dictionary, true).value_or("<not JSON>").c_str());
        return;
    }
    persistObject(dictionary, directory, name);
}

void PFPersistenceStore::persistObject(const std::optional<Value>& object,
                                       const Name& directory,
                                       const Name& name) {
    shared()->writeObjectToFile(object, directory, name);
}

void PFPersistenceStore::writeObjectToFile(const std::optional<Value>& object,
                                           const Name& directory,
                                           const Name& name) {
    if (!object || !directory || !name) {
        PFLogError("PFPersistenceStore Error: Missing paramters for write operation.");
        return;
    }
    auto path = createFileInDirectory(directory, name);
    if (!path) return;
    platform::Error error;
    const platform::Data bytes = platform::archive::archive(*object, &error);
    const bool archived = error.domain.empty();
    if (!archived || !platform::files::writeAtomically(*path, bytes)) {
        PFLogError("Error %s \n Could not write to file path. \n Directory: %s Filename: %s",
                   archived ? "write failed" : error.localizedDescription().c_str(),
                   directory->c_str(), name->c_str());
        deleteFileInDirectory(directory, name);
    }
}

std::optional<std::string> PFPersistenceStore::createFileInDirectory(const Name& directory,
                                                                     const Name& name) {
    const fs::path folder = cachePathInDirectory(directory, std::nullopt);
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec) {
            PFLogError("Error %s \n Could not create directory path. \n Directory: %s ",
                       ec.message().c_str(), text(directory));
            return std::nullopt;
        }
    }
    return cachePathInDirectory(directory, name);
}

std::string PFPersistenceStore::cachePathInDirectory(const Name& directory,
                                                     const Name& name) const {
    fs::path path = platform::AppHome::caches();
    if (directory) path /= *directory;
    if (name) path /= *name;
    return path.string();
}

std::optional<Value> PFPersistenceStore::loadObjectInDirectory(const Name& directory,
                                                               const Name& name) {
    auto store = shared();
    const std::string path = store->cachePathInDirectory(directory, name);
    std::error_code ec;
    if (!name || !fs::is_regular_file(path, ec)) {
        PFLogInfo("PFPersistenceStore Error: %s from directory %s does not exist ", text(name),
                  text(directory));
        return std::nullopt;
    }
    auto bytes = platform::files::readData(path);
    if (bytes) {
        platform::Error error;
        if (auto object = platform::archive::unarchive(*bytes, &error)) return object;
    }
    PFLogError("PFPersistenceStore Error: Failed to unarchive file %s in directory %s ", text(name),
               text(directory));
    auto content = platform::files::readText(path);
    if (!content || !platform::isValidUTF8(*content)) {
        PFLogError(
            "PFPersistenceStore Error %s \n Failed to unserialize JSON file %s in directory %s ",
            "not UTF-8 text", text(name), text(directory));
        deleteFileInDirectory(directory, name);
        return std::nullopt;
    }
    platform::Error parseError;
    auto parsed = platform::json::parse(*content, &parseError);
    if (!parsed) {
        PFLogError(
            "PFPersistenceStore Error %s \n Failed to create JSON dictionary from file %s in "
            "directory %s ",
            parseError.localizedDescription().c_str(), text(name), text(directory));
        deleteFileInDirectory(directory, name);
        return std::nullopt;
    }
    return parsed;
}

void PFPersistenceStore::deleteFileInDirectory(const Name& directory, const Name& name) {
    const std::string path = shared()->cachePathInDirectory(directory, name);
    std::error_code ec;
    const bool removed = fs::remove_all(path, ec) > 0 && !ec;
    if (removed) return;
    const std::string reason = ec ? ec.message() : "No such file or directory";
    if (name)
        PFLogError("PFPersistenceStore Error %s \n Failed to delete file %s from directory %s ",
                   reason.c_str(), name->c_str(), text(directory));
    else
        PFLogError("PFPersistenceStore Error %s \n Failed to delete directory %s ", reason.c_str(),
                   text(directory));
}

void PFPersistenceStore::deleteDirectory(const Name& directory) {
    deleteFileInDirectory(directory, std::nullopt);
}

std::optional<std::vector<std::string>> PFPersistenceStore::namesOfFilesInDirectory(
    const Name& directory) {
    const fs::path folder = shared()->cachePathInDirectory(directory, std::nullopt);
    std::error_code ec;
    std::vector<std::string> names;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    if (ec) {
        PFLogError("PFPersistenceStore Error %s \n Failed to get names from directory %s ",
                   ec.message().c_str(), text(directory));
        return std::nullopt;
    }
    return names;
}

void PFPersistenceStore::deleteItemsInDirectory(const fs::path& directory, int64_t bytes) {
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code sizeError;
        const auto size = fs::file_size(it->path(), sizeError);
        if (!sizeError && static_cast<int64_t>(size) > bytes) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}
