#pragma once
// The store coordinator: the one SQLite file behind an object model, shared by the contexts
// that save into it. Each entity is a table of its own name, each attribute a column of its
// own name, plus a row id; a small table keeps the model's fingerprint so that a store made for
// another model is refused instead of read wrongly.
//
// Promises:
//  - addSQLiteStore opens the file, creating it (and nothing else) when it is missing. A file
//    that is no SQLite store, a damaged one, or one made for another model fails with an Error
//    and is left exactly as it was: nothing here moves or deletes a store file.
//  - Without a store, fetches and saves fail with kDataErrorNoStore.
//  - All work on the file goes through one connection under one lock: contexts on different
//    queues save one after the other, each save one transaction (all of it or none of it).
//    Other processes (or coordinators) on the same file are waited for.
// Thread-safe.

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/data/FetchRequest.h"
#include "platform/data/ObjectModel.h"
#include "platform/foundation/Error.h"

struct sqlite3;
struct sqlite3_stmt;

namespace platform::data {

class StoreCoordinator {
  public:
    static std::shared_ptr<StoreCoordinator> create(std::shared_ptr<const ObjectModel> model);
    ~StoreCoordinator();

    // Only one store: a second call fails.
    bool addSQLiteStore(const std::filesystem::path& path, Error* error);
    bool hasStore() const;
    std::optional<std::filesystem::path> storePath() const;

    const ObjectModel& model() const { return *model_; }

    StoreCoordinator(const StoreCoordinator&) = delete;
    StoreCoordinator& operator=(const StoreCoordinator&) = delete;

  private:
    friend class ObjectContext;
    explicit StoreCoordinator(std::shared_ptr<const ObjectModel> model)
        : model_(std::move(model)) {}

    struct Row {
        int64_t id = 0;
        std::vector<Value> values;  // in the entity's attribute order
    };
    // The rows of `entity` that match, ordered by the descriptors and then by row id. A null
    // predicate matches all; limit 0 means no limit.
    bool fetchRows(const Entity& entity,
                   const Predicate* predicate,
                   const std::vector<SortDescriptor>& sort,
                   size_t limit,
                   std::vector<Row>* rows,
                   Error* error);

    struct Insert {
        const Entity* entity;
        const std::vector<Value>* values;
    };
    struct Update {
        const Entity* entity;
        int64_t id;
        const std::vector<Value>* values;
        const std::vector<bool>* changed;
    };
    struct Delete {
        const Entity* entity;
        int64_t id;
    };
    // One transaction; on success `newIds` holds the row ids of the inserts, in order.
    bool commit(const std::vector<Insert>& inserts,
                const std::vector<Update>& updates,
                const std::vector<Delete>& deletes,
                std::vector<int64_t>* newIds,
                Error* error);

    sqlite3_stmt* prepare(const std::string& sql, Error* error);
    bool exec(const std::string& sql, Error* error);
    Error sqliteError(const std::string& what) const;

    std::shared_ptr<const ObjectModel> model_;
    mutable std::mutex mutex_;
    sqlite3* db_ = nullptr;
    std::filesystem::path path_;
    std::unordered_map<std::string, sqlite3_stmt*> cache_;  // prepared statements by text
};

}  // namespace platform::data
