#pragma once
// The request store: Puffin API requests that wait to be sent or retried, kept in one SQLite
// database, Library/Application Support/Stores/PFCoreData.sqlite, through the object store of
// platform/data (its classes reached by name as the "CoreData" framework), so that they survive
// a loss of network and a restart. One entity, "PFHTTPRequestEntity" (date, uniqueId,
// retryCount, path, body, inOperationQueue).
//
// A store that cannot be opened is moved aside to Stores/Incompatible/<yyyy-MM-dd-HH-mm-ss>.sqlite
// (never deleted; the failure is logged), a new empty store is made at once, and the pending
// requests that can still be read from the old file are carried over into it.
//
// Threading: the stack is built once, on the main thread (a first use from another thread waits
// for the main queue). The context is a private-queue context: every entry operation below
// must run inside managedObjectContext()->performBlockAndWait (or performBlock); the entry
// operations do not save, callers save the context. managedObjectContext() and
// saveManageObjectContext() may be called from any thread.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/data/ManagedObject.h"
#include "platform/data/ObjectContext.h"
#include "platform/data/ObjectModel.h"
#include "platform/data/StoreCoordinator.h"
#include "platform/foundation/Value.h"

class PFHTTPRequestDataManager {
  public:
    using Entry = std::shared_ptr<platform::data::ManagedObject>;
    static constexpr const char* kEntityName = "PFHTTPRequestEntity";
    static constexpr const char* kStoreFileName = "PFCoreData.sqlite";

    static std::shared_ptr<PFHTTPRequestDataManager> shared();
    // Builds the stack (on the main thread). shared() is the one the SDK uses; a test may make
    // another to stand for the next launch once the first is gone.
    static std::shared_ptr<PFHTTPRequestDataManager> create();

    void createRequestEntityWithBody(const platform::Value& body,
                                     uint64_t retryCount,
                                     const std::string& uniqueId,
                                     const std::string& path,
                                     platform::Date date,
                                     bool inOperationQueue);
    Entry requestEntityWithUniqueId(const std::string& uniqueId);
    void updateRequestEntityWithBody(const platform::Value& body,
                                     uint64_t retryCount,
                                     const std::string& uniqueId);
    void removeRequestEntityWithUniqueId(const std::string& uniqueId);
    std::vector<Entry> allRequestsWithPathInOperationQueue(const std::string& path,
                                                           bool inOperationQueue);
    std::vector<Entry> allRequestsWithPath(const std::string& path);

    // Null when no store coordinator could be made.
    std::shared_ptr<platform::data::ObjectContext> managedObjectContext();
    void saveManageObjectContext();

    std::shared_ptr<const platform::data::ObjectModel> managedObjectModel() const { return model_; }
    std::shared_ptr<platform::data::StoreCoordinator> persistentStoreCoordinator() const {
        return coordinator_;
    }

    void createManagedObjectModel();
    void createPersistenceStore();
    void createManagedObjectContext();
    std::optional<std::filesystem::path> applicationStoresDirectory();
    std::optional<std::filesystem::path> applicationIncompatibleStoresDirectory();
    // "<yyyy-MM-dd-HH-mm-ss>.sqlite" of now, in local time.
    std::string nameForIncompatibleStore() const;
    std::filesystem::path applicationDocumentsDirectory() const;

    PFHTTPRequestDataManager(const PFHTTPRequestDataManager&) = delete;
    PFHTTPRequestDataManager& operator=(const PFHTTPRequestDataManager&) = delete;

  private:
    PFHTTPRequestDataManager() = default;
    void build();
    std::vector<Entry> fetch(const platform::data::Predicate& predicate);
    // Copies the requests of a store file moved aside into the new store; logs what it did.
    void carryOverRequestsFrom(const std::filesystem::path& oldStore);

    std::recursive_mutex lock_;
    std::shared_ptr<const platform::data::ObjectModel> model_;
    std::shared_ptr<platform::data::StoreCoordinator> coordinator_;
    std::shared_ptr<platform::data::ObjectContext> context_;
};
