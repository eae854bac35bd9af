#include "puffin/networking/PFHTTPRequestDataManager.h"

#include <sqlite3.h>

#include <ctime>
#include <system_error>

#include "platform/data/DataError.h"
#include "platform/data/FetchRequest.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/KeyedArchive.h"
#include "puffin/core/PFDynamicallyLoadedDependencies.h"
#include "puffin/core/PFLog.h"

namespace fs = std::filesystem;
using platform::Value;
using platform::data::AttributeType;
using platform::data::Predicate;

namespace {

const char* const kCoreDataClasses[] = {
    "NSManagedObjectModel",   "NSEntityDescription",
    "NSAttributeDescription", "NSPersistentStoreCoordinator",
    "NSManagedObjectContext", "NSManagedObject",
    "NSFetchRequest",         "NSPredicate",
};

// Whether the object store's classes and its SQLite store type can be loaded.
bool coreDataAvailable() {
    for (const char* name : kCoreDataClasses)
        if (!PFDynamicallyLoadedDependencies::loadClassWithFramework(name, "CoreData"))
            return false;
    return PFDynamicallyLoadedDependencies::loadStringConstantWithFramework("NSSQLiteStoreType",
                                                                            "CoreData")
        .has_value();
}

fs::path applicationSupport() {
    return platform::AppHome::home() / "Library" / "Application Support";
}

std::string describe(const platform::Error& error) {
    return error.domain + " " + std::to_string(error.code);
}

}  // namespace

std::shared_ptr<PFHTTPRequestDataManager> PFHTTPRequestDataManager::shared() {
    static const auto& instance = *new auto(create());
    return instance;
}

std::shared_ptr<PFHTTPRequestDataManager> PFHTTPRequestDataManager::create() {
    std::shared_ptr<PFHTTPRequestDataManager> manager(new PFHTTPRequestDataManager());
    if (platform::Queue::main()->isCurrent())
        manager->build();
    else
        platform::Queue::main()->sync([&] { manager->build(); });
    return manager;
}

void PFHTTPRequestDataManager::build() {
    createManagedObjectModel();
    createPersistenceStore();
    createManagedObjectContext();
}

void PFHTTPRequestDataManager::createManagedObjectModel() {
    if (!coreDataAvailable()) return;  // no object store on this device: nothing is kept
    auto model = std::make_shared<platform::data::ObjectModel>();
    platform::data::Entity entity{kEntityName, {}};
    entity.attributes = {
        {"date", AttributeType::Date, false, Value()},
        {"uniqueId", AttributeType::String, false, Value("")},
        {"retryCount", AttributeType::Integer32, false, Value(0)},
        {"path", AttributeType::String, false, Value("")},
        {"body", AttributeType::Transformable, false, Value(platform::Dictionary{})},
        {"inOperationQueue", AttributeType::Boolean, false, Value(true)},
    };
    model->addEntity(std::move(entity));
    model_ = std::move(model);
}

std::optional<fs::path> PFHTTPRequestDataManager::applicationStoresDirectory() {
    std::error_code ec;
    const fs::path support = applicationSupport();
    if (fs::exists(support, ec)) {
        PFLogInfo("Puffin Request Persistence - file exists at path %s", support.c_str());
    } else if (fs::create_directories(support, ec); !ec) {
        PFLogInfo("Puffin Request Persistence - directory created %s", support.c_str());
    } else {
        PFLogError("Puffin Request Persistence - Could not create directory: %s",
                   ec.message().c_str());
    }
    const fs::path stores = support / "Stores";
    if (fs::exists(stores, ec)) {
        PFLogInfo("Puffin Request Persistence - file exists at path %s", stores.c_str());
        return stores;
    }
    fs::create_directories(stores, ec);
    if (ec) {
        PFLogError("Puffin Request Persistence - Unable to create directory for data stores.");
        return std::nullopt;
    }
    PFLogInfo("Puffin Request Persistence - store directory created successfully");
    return stores;
}

std::optional<fs::path> PFHTTPRequestDataManager::applicationIncompatibleStoresDirectory() {
    auto stores = applicationStoresDirectory();
    if (!stores) return std::nullopt;
    const fs::path incompatible = *stores / "Incompatible";
    std::error_code ec;
    if (!fs::exists(incompatible, ec)) {
        fs::create_directories(incompatible, ec);
        if (ec) {
            PFLogError(
                "Puffin Request Persistence - Unable to create directory for corrupt data stores.");
            return std::nullopt;
        }
    }
    return incompatible;
}

std::string PFHTTPRequestDataManager::nameForIncompatibleStore() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d-%H-%M-%S", &local);
    return std::string(text) + ".sqlite";
}

fs::path PFHTTPRequestDataManager::applicationDocumentsDirectory() const {
    return platform::AppHome::documents();
}

void PFHTTPRequestDataManager::createPersistenceStore() {
    if (!model_) return;
    auto stores = applicationStoresDirectory();
    if (!stores) {
        PFLogError("Puffin Request Persistence - Unable to create PersistenceStore");
        return;
    }
    const fs::path storePath = *stores / kStoreFileName;
    coordinator_ = platform::data::StoreCoordinator::create(model_);
    platform::Error error;
    if (coordinator_->addSQLiteStore(storePath, &error)) return;

    PFLogError("Puffin Request Persistence - Unable to open the store %s: %s", storePath.c_str(),
               error.localizedDescription().c_str());
    std::error_code ec;
    if (!fs::exists(storePath, ec)) return;
    auto incompatible = applicationIncompatibleStoresDirectory();
    fs::path moved;
    if (incompatible) {
        moved = *incompatible / nameForIncompatibleStore();
        for (int n = 1; fs::exists(moved, ec); ++n)  // two failures within one second
            moved = *incompatible /
                    (moved.stem().string().substr(0, 19) + "-" + std::to_string(n) + ".sqlite");
        fs::rename(storePath, moved, ec);
        if (!ec) {
            for (const char* companion : {"-wal", "-shm"}) {
                std::error_code ignored;
                const fs::path from = storePath.string() + companion;
                if (fs::exists(from, ignored))
                    fs::rename(from, moved.string() + companion, ignored);
            }
        }
    }
    if (!incompatible || ec) {
        PFLogError("Puffin Request Persistence - Unable to move corrupt store.");
        return;  // the file stays where it is; this run keeps no store
    }
    // A fresh store in its place, so this run keeps its requests too.
    coordinator_ = platform::data::StoreCoordinator::create(model_);
    if (!coordinator_->addSQLiteStore(storePath, &error)) {
        PFLogError("Puffin Request Persistence - Unable to create a new store: %s",
                   error.localizedDescription().c_str());
        return;
    }
    createManagedObjectContext();
    carryOverRequestsFrom(moved);
}

void PFHTTPRequestDataManager::carryOverRequestsFrom(const fs::path& oldStore) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(oldStore.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return;
    }
    sqlite3_stmt* stmt = nullptr;
    const char* sql =
        "SELECT \"date\", \"uniqueId\", \"retryCount\", \"path\", \"body\", \"inOperationQueue\" "
        "FROM \"PFHTTPRequestEntity\"";
    int carried = 0;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK) {
        context_->performBlockAndWait([&] {
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                const auto* id = sqlite3_column_text(stmt, 1);
                const auto* path = sqlite3_column_text(stmt, 3);
                const void* blob = sqlite3_column_blob(stmt, 4);
                auto body = platform::archive::unarchive(
                    platform::Data(blob, static_cast<size_t>(sqlite3_column_bytes(stmt, 4))));
                if (!id || !path || !body || !body->isDictionary()) continue;
                createRequestEntityWithBody(
                    *body, static_cast<uint64_t>(sqlite3_column_int64(stmt, 2)),
                    reinterpret_cast<const char*>(id), reinterpret_cast<const char*>(path),
                    platform::Date{sqlite3_column_double(stmt, 0)},
                    sqlite3_column_int64(stmt, 5) != 0);
                ++carried;
            }
            platform::Error saveError;
            if (!context_->save(&saveError)) carried = 0;
        });
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    if (carried > 0)
        PFLogInfo("Puffin Request Persistence - carried %d requests over from %s", carried,
                  oldStore.c_str());
}

void PFHTTPRequestDataManager::createManagedObjectContext() {
    if (!coordinator_) createPersistenceStore();
    if (!coordinator_) {
        PFLogError("Error initializing Core Data persistent coordinator");
        return;
    }
    if (context_ && context_->coordinator() == coordinator_) return;
    context_ = platform::data::ObjectContext::create("puffin.requeststore");
    context_->setCoordinator(coordinator_);
}

std::shared_ptr<platform::data::ObjectContext> PFHTTPRequestDataManager::managedObjectContext() {
    std::lock_guard guard(lock_);
    if (!context_ && model_) createManagedObjectContext();
    return context_;
}

void PFHTTPRequestDataManager::createRequestEntityWithBody(const Value& body,
                                                           uint64_t retryCount,
                                                           const std::string& uniqueId,
                                                           const std::string& path,
                                                           platform::Date date,
                                                           bool inOperationQueue) {
    auto entry = context_->insertNewObject(kEntityName);
    entry->setValueForKey(body.isDictionary() ? body : Value(platform::Dictionary{}), "body");
    entry->setValueForKey(Value(static_cast<int64_t>(retryCount)), "retryCount");
    entry->setValueForKey(Value(uniqueId), "uniqueId");
    entry->setValueForKey(Value(path), "path");
    entry->setValueForKey(Value(date), "date");
    entry->setValueForKey(Value(inOperationQueue), "inOperationQueue");
}

std::vector<PFHTTPRequestDataManager::Entry> PFHTTPRequestDataManager::fetch(
    const Predicate& predicate) {
    platform::data::FetchRequest request(kEntityName);
    request.setPredicate(predicate);
    platform::Error error;
    auto results = context_->executeFetchRequest(request, &error);
    if (!error.domain.empty()) {
        PFLogError("Puffin Request Persistence - Error fetching data.");
        PFLogError("Puffin Request Persistence - %s, %s", describe(error).c_str(),
                   error.localizedDescription().c_str());
    }
    return results;
}

PFHTTPRequestDataManager::Entry PFHTTPRequestDataManager::requestEntityWithUniqueId(
    const std::string& uniqueId) {
    auto results = fetch(Predicate::equal("uniqueId", Value(uniqueId)));
    return results.empty() ? nullptr : results.front();
}

void PFHTTPRequestDataManager::updateRequestEntityWithBody(const Value& body,
                                                           uint64_t retryCount,
                                                           const std::string& uniqueId) {
    if (auto entry = requestEntityWithUniqueId(uniqueId)) {
        if (body.isDictionary()) entry->setValueForKey(body, "body");
        entry->setValueForKey(Value(static_cast<int64_t>(retryCount)), "retryCount");
    }
}

void PFHTTPRequestDataManager::removeRequestEntityWithUniqueId(const std::string& uniqueId) {
    if (auto entry = requestEntityWithUniqueId(uniqueId)) context_->deleteObject(entry);
}

std::vector<PFHTTPRequestDataManager::Entry>
PFHTTPRequestDataManager::allRequestsWithPathInOperationQueue(const std::string& path,
                                                              bool inOperationQueue) {
    return fetch(Predicate::allOf({Predicate::equal("path", Value(path)),
                                   Predicate::equal("inOperationQueue", Value(inOperationQueue))}));
}

std::vector<PFHTTPRequestDataManager::Entry> PFHTTPRequestDataManager::allRequestsWithPath(
    const std::string& path) {
    return fetch(Predicate::equal("path", Value(path)));
}

void PFHTTPRequestDataManager::saveManageObjectContext() {
    std::lock_guard guard(lock_);
    if (!context_) return;
    context_->performBlockAndWait([&] {
        platform::Error error;
        if (!context_->save(&error)) {
            PFLogError(
                "Puffin Request Persistence - Puffin Request Persistence - Unable to save managed "
                "object "
                "context.");
            PFLogError("Puffin Request Persistence - %s, %s", describe(error).c_str(),
                       error.localizedDescription().c_str());
        }
    });
}
