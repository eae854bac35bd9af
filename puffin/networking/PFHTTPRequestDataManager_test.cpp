#include "puffin/networking/PFHTTPRequestDataManager.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <regex>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/core/PFTestSupport_test.h"

namespace {

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::Value;
using Manager = PFHTTPRequestDataManager;

fs::path storesFolder() {
    return platform::AppHome::home() / "Library" / "Application Support" / "Stores";
}

// Rows of the entity table, read with SQLite directly.
int countRows(const fs::path& file) {
    sqlite3* db = nullptr;
    int count = -1;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM \"PFHTTPRequestEntity\"", -1, &stmt,
                               nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            count = sqlite3_column_int(stmt, 0);
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return count;
}

class PFHTTPRequestDataManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PFRegisterClasses();
        PFLog::setLogLevel(15);
        // Every test starts without stores, also when several run in one process and share
        // one home: what an earlier test moved aside must not be counted here.
        std::error_code ignored;
        fs::remove_all(storesFolder(), ignored);
    }

    static void store(Manager& manager,
                      const std::string& id,
                      const std::string& path,
                      bool queued) {
        auto context = manager.managedObjectContext();
        context->performBlockAndWait([&] {
            manager.createRequestEntityWithBody(Value(Dictionary{{"n", id}}), 0, id, path,
                                                platform::Date{1e9}, queued);
            platform::Error error;
            ASSERT_TRUE(context->save(&error)) << error.localizedDescription();
        });
    }
};

TEST_F(PFHTTPRequestDataManagerTest, StoresFindsUpdatesAndRemovesRequests) {
    auto manager = Manager::create();
    ASSERT_TRUE(manager->managedObjectContext());
    EXPECT_TRUE(fs::is_regular_file(storesFolder() / "PFCoreData.sqlite"));
    store(*manager, "a", "/api/track", true);
    store(*manager, "b", "/api/track", false);
    store(*manager, "c", "/api/install", false);
    EXPECT_EQ(countRows(storesFolder() / "PFCoreData.sqlite"), 3);

    auto context = manager->managedObjectContext();
    context->performBlockAndWait([&] {
        EXPECT_EQ(manager->allRequestsWithPath("/api/track").size(), 2u);
        EXPECT_TRUE(manager->allRequestsWithPath("/api/none").empty());
        auto offline = manager->allRequestsWithPathInOperationQueue("/api/track", false);
        ASSERT_EQ(offline.size(), 1u);
        EXPECT_EQ(offline[0]->valueForKey("uniqueId"), Value("b"));

        manager->updateRequestEntityWithBody(Value(Dictionary{{"n", "a2"}}), 3, "a");
        manager->updateRequestEntityWithBody(Value(Dictionary{{"n", "x"}}), 9, "unknown");
        manager->removeRequestEntityWithUniqueId("c");
        manager->removeRequestEntityWithUniqueId("unknown");
    });
    manager->saveManageObjectContext();
    context->performBlockAndWait([&] {
        auto a = manager->requestEntityWithUniqueId("a");
        ASSERT_TRUE(a);
        EXPECT_EQ(a->valueForKey("retryCount"), Value(3));
        EXPECT_EQ(a->valueForKey("body"), Value(Dictionary{{"n", "a2"}}));
        EXPECT_EQ(a->valueForKey("inOperationQueue"), Value(true));
        EXPECT_FALSE(manager->requestEntityWithUniqueId("c"));
    });
    EXPECT_EQ(countRows(storesFolder() / "PFCoreData.sqlite"), 2);

    // The next launch finds them.
    manager.reset();
    auto next = Manager::create();
    next->managedObjectContext()->performBlockAndWait(
        [&] { EXPECT_EQ(next->allRequestsWithPath("/api/track").size(), 2u); });
}

TEST_F(PFHTTPRequestDataManagerTest, AStoreThatCannotBeOpenedIsKeptAsideAndANewOneMade) {
    ASSERT_TRUE(platform::files::createDirectories(storesFolder()));
    ASSERT_TRUE(platform::files::writeAtomically(
        storesFolder() / "PFCoreData.sqlite", std::string_view("this is no database, just text")));
    std::shared_ptr<Manager> manager;
    const std::string out =
        pftest::unwrapped(pftest::stderrOf([&] { manager = Manager::create(); }));
    EXPECT_NE(out.find("Puffin (E) | Puffin Request Persistence - Unable to open the store"),
              std::string::npos)
        << out;

    std::vector<fs::path> aside;
    for (const auto& entry : fs::directory_iterator(storesFolder() / "Incompatible"))
        aside.push_back(entry.path());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_TRUE(std::regex_match(aside[0].filename().string(),
                                 std::regex(R"(\d{4}-\d{2}-\d{2}-\d{2}-\d{2}-\d{2}\.sqlite)")))
        << aside[0];
    EXPECT_EQ(platform::files::readText(aside[0]), "this is no database, just text");

    // This run already keeps its requests in a new store.
    ASSERT_TRUE(manager->managedObjectContext());
    store(*manager, "fresh", "/api/track", false);
    EXPECT_EQ(countRows(storesFolder() / "PFCoreData.sqlite"), 1);
}

TEST_F(PFHTTPRequestDataManagerTest, PendingRequestsOfAReadableOldStoreAreCarriedOver) {
    // A store of an older model: the same entity with one more attribute.
    {
        auto model = std::make_shared<platform::data::ObjectModel>();
        auto current = Manager::create()->managedObjectModel();
        platform::data::Entity entity = *current->entity("PFHTTPRequestEntity");
        entity.attributes.push_back(
            {"legacy", platform::data::AttributeType::String, true, Value()});
        model->addEntity(entity);
        fs::remove(storesFolder() / "PFCoreData.sqlite");
        fs::remove(storesFolder() / "PFCoreData.sqlite-wal");
        fs::remove(storesFolder() / "PFCoreData.sqlite-shm");
        auto coordinator = platform::data::StoreCoordinator::create(model);
        platform::Error error;
        ASSERT_TRUE(coordinator->addSQLiteStore(storesFolder() / "PFCoreData.sqlite", &error));
        auto context = platform::data::ObjectContext::create();
        context->setCoordinator(coordinator);
        context->performBlockAndWait([&] {
            for (const char* id : {"old-1", "old-2"}) {
                auto entry = context->insertNewObject("PFHTTPRequestEntity");
                entry->setValueForKey(Value(Dictionary{{"event", id}}), "body");
                entry->setValueForKey(Value(id), "uniqueId");
                entry->setValueForKey(Value("/post-install-event/tracking"), "path");
                entry->setValueForKey(Value(platform::Date{1e9}), "date");
                entry->setValueForKey(Value(2), "retryCount");
                entry->setValueForKey(Value(false), "inOperationQueue");
            }
            ASSERT_TRUE(context->save(&error));
        });
    }
    auto manager = Manager::create();
    auto context = manager->managedObjectContext();
    ASSERT_TRUE(context);
    context->performBlockAndWait([&] {
        auto carried =
            manager->allRequestsWithPathInOperationQueue("/post-install-event/tracking", false);
        ASSERT_EQ(carried.size(), 2u);
        auto old = manager->requestEntityWithUniqueId("old-2");
        ASSERT_TRUE(old);
        EXPECT_EQ(old->valueForKey("body"), Value(Dictionary{{"event", "old-2"}}));
        EXPECT_EQ(old->valueForKey("retryCount"), Value(2));
    });
    int movedStores = 0;
    for (const auto& entry : fs::directory_iterator(storesFolder() / "Incompatible"))
        movedStores += entry.path().extension() == ".sqlite";
    EXPECT_EQ(movedStores, 1);
}

TEST_F(PFHTTPRequestDataManagerTest, WithoutTheObjectStoreNothingIsKept) {
    platform::runtime::markFrameworkAbsent("CoreData");
    auto manager = Manager::create();
    EXPECT_FALSE(manager->managedObjectContext());
    manager->saveManageObjectContext();  // a no-op
    EXPECT_FALSE(fs::exists(storesFolder() / "PFCoreData.sqlite"));
}

TEST_F(PFHTTPRequestDataManagerTest, IncompatibleNamesAreDatedInLocalTime) {
    auto manager = Manager::create();
    EXPECT_TRUE(std::regex_match(manager->nameForIncompatibleStore(),
                                 std::regex(R"(\d{4}-\d{2}-\d{2}-\d{2}-\d{2}-\d{2}\.sqlite)")));
    EXPECT_EQ(manager->applicationDocumentsDirectory(), platform::AppHome::documents());
}

}  // namespace
