#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/data/DataError.h"
#include "platform/data/ObjectContext.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"

namespace platform::data {
namespace {

using Op = Predicate::Operator;

// The shape of a stored request: the attributes and defaults a network SDK keeps per request.
std::shared_ptr<const ObjectModel> requestModel() {
    auto model = std::make_shared<ObjectModel>();
    model->addEntity({"Request",
                      {{"date", AttributeType::Date, false, {}},
                       {"uniqueId", AttributeType::String, false, Value("")},
                       {"retryCount", AttributeType::Integer32, false, Value(0)},
                       {"path", AttributeType::String, false, Value("")},
                       {"body", AttributeType::Transformable, false, Value(Dictionary{})},
                       {"inOperationQueue", AttributeType::Boolean, false, Value(true)},
                       {"score", AttributeType::Double, true, {}}}});
    model->addEntity({"Note", {{"text", AttributeType::String, true, {}}}});
    return model;
}

std::filesystem::path storeFile() {
    return AppHome::home() / "Library" / "Application Support" / "Stores" / "Requests.sqlite";
}

struct Stack {
    std::shared_ptr<StoreCoordinator> coordinator;
    std::shared_ptr<ObjectContext> context;
};

Stack openStack(const std::filesystem::path& path = storeFile(),
                std::shared_ptr<const ObjectModel> model = requestModel()) {
    std::filesystem::create_directories(path.parent_path());
    Stack s{StoreCoordinator::create(std::move(model)), ObjectContext::create("test.context")};
    Error error;
    EXPECT_TRUE(s.coordinator->addSQLiteStore(path, &error)) << error.localizedDescription();
    s.context->setCoordinator(s.coordinator);
    return s;
}

std::shared_ptr<ManagedObject> insertRequest(ObjectContext& context,
                                             const std::string& id,
                                             const std::string& path,
                                             int64_t retries = 0) {
    auto o = context.insertNewObject("Request");
    o->setValueForKey(Value(Date{1000.0 + retries}), "date");
    o->setValueForKey(Value(id), "uniqueId");
    o->setValueForKey(Value(path), "path");
    o->setValueForKey(Value(retries), "retryCount");
    return o;
}

std::vector<std::string> ids(const std::vector<std::shared_ptr<ManagedObject>>& objects) {
    std::vector<std::string> out;
    for (const auto& o : objects)
        out.push_back(o->valueForKey("uniqueId").asString());
    return out;
}

std::vector<std::shared_ptr<ManagedObject>> fetch(ObjectContext& context,
                                                  const FetchRequest& request,
                                                  Error* error = nullptr) {
    std::vector<std::shared_ptr<ManagedObject>> out;
    context.performBlockAndWait([&] { out = context.executeFetchRequest(request, error); });
    return out;
}

int64_t rawCount(const std::filesystem::path& path, const std::string& table) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    int64_t n = -1;
    if (sqlite3_prepare_v2(db, ("SELECT count(*) FROM \"" + table + "\"").c_str(), -1, &stmt,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        n = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return n;
}

TEST(ObjectStore, SavedObjectsComeBackWithTheirTypesAfterARestart) {
    const Value body(Dictionary{{"event", Value("install")},
                                {"items", Value(Array{Value(1), Value(2.5), Value(nullptr)})},
                                {"nested", Value(Dictionary{{"ok", Value(true)}})}});
    {
        auto s = openStack();
        s.context->performBlockAndWait([&] {
            auto a = insertRequest(*s.context, "a", "/api/track", 3);
            a->setValueForKey(body, "body");
            a->setValueForKey(Value(false), "inOperationQueue");
            a->setValueForKey(Value(0.25), "score");
            insertRequest(*s.context, "b", "/api/install");
            Error error;
            EXPECT_TRUE(s.context->save(&error)) << error.localizedDescription();
            EXPECT_FALSE(s.context->hasChanges());
        });
    }
    // A new coordinator on the same file: what a restarted process sees.
    auto s = openStack();
    auto all = fetch(*s.context, FetchRequest("Request"));
    ASSERT_EQ(ids(all), (std::vector<std::string>{"a", "b"}));
    s.context->performBlockAndWait([&] {
        const auto& a = *all[0];
        EXPECT_EQ(a.valueForKey("body"), body);
        EXPECT_EQ(a.valueForKey("date"), Value(Date{1003.0}));
        EXPECT_EQ(a.valueForKey("retryCount"), Value(3));
        EXPECT_EQ(a.valueForKey("path"), Value("/api/track"));
        EXPECT_EQ(a.valueForKey("inOperationQueue"), Value(false));
        EXPECT_EQ(a.valueForKey("score"), Value(0.25));
        const auto& b = *all[1];
        EXPECT_EQ(b.valueForKey("body"), Value(Dictionary{}));  // the defaults were stored
        EXPECT_EQ(b.valueForKey("inOperationQueue"), Value(true));
        EXPECT_TRUE(b.valueForKey("score").isNull());
    });
    EXPECT_EQ(rawCount(storeFile(), "Request"), 2);
}

TEST(ObjectStore, ChangesAndDeletesAreSavedAndOnlyTheirs) {
    {
        auto s = openStack();
        s.context->performBlockAndWait([&] {
            insertRequest(*s.context, "a", "/p");
            insertRequest(*s.context, "b", "/p");
            insertRequest(*s.context, "c", "/p");
            ASSERT_TRUE(s.context->save(nullptr));
            auto all = s.context->executeFetchRequest(FetchRequest("Request"), nullptr);
            all[0]->setValueForKey(Value(7), "retryCount");
            all[0]->setValueForKey(Value(Dictionary{{"k", Value("v")}}), "body");
            s.context->deleteObject(all[1]);
            EXPECT_TRUE(all[1]->isDeleted());
            ASSERT_TRUE(s.context->save(nullptr));
        });
    }
    auto s = openStack();
    auto all = fetch(*s.context, FetchRequest("Request"));
    ASSERT_EQ(ids(all), (std::vector<std::string>{"a", "c"}));
    s.context->performBlockAndWait([&] {
        EXPECT_EQ(all[0]->valueForKey("retryCount"), Value(7));
        EXPECT_EQ(all[0]->valueForKey("body"), Value(Dictionary{{"k", Value("v")}}));
        EXPECT_EQ(all[1]->valueForKey("retryCount"), Value(0));
    });
}

TEST(ObjectStore, AMissingMandatoryValueFailsTheSaveAndWritesNothing) {
    auto s = openStack();
    s.context->performBlockAndWait([&] {
        insertRequest(*s.context, "fine", "/p");
        auto o = s.context->insertNewObject("Request");  // no date
        EXPECT_EQ(o->valueForKey("uniqueId"), Value(""));
        EXPECT_EQ(o->valueForKey("inOperationQueue"), Value(true));
        Error error;
        EXPECT_FALSE(s.context->save(&error));
        EXPECT_EQ(error.domain, kDataErrorDomain);
        EXPECT_EQ(error.code, kDataErrorValidation);
        EXPECT_NE(error.localizedDescription().find("date"), std::string::npos);
        EXPECT_TRUE(s.context->hasChanges());
        EXPECT_EQ(rawCount(storeFile(), "Request"), 0);

        o->setValueForKey(Value(Date{5}), "date");
        EXPECT_TRUE(s.context->save(&error));
    });
    EXPECT_EQ(rawCount(storeFile(), "Request"), 2);
}

// Six requests; each fetch case must give the same answer from the store alone, from unsaved
// objects alone, and from a mix of saved, changed and unsaved ones.
struct Row {
    std::string id, path;
    int64_t retries;
    bool queued;
    std::optional<double> score;
};
const std::vector<Row> kRows = {
    {"r1", "/api/track", 2, true, 1.5},          {"r2", "/api/install", 0, false, std::nullopt},
    {"r3", "/api/track", 5, false, -1},          {"r4", "/api/config", 1, true, 1.5},
    {"r5", "/api/track", 0, true, std::nullopt}, {"r6", "/Api/track", 3, false, 10},
};

void fill(ManagedObject& o, const Row& r) {
    o.setValueForKey(Value(r.path), "path");
    o.setValueForKey(Value(r.retries), "retryCount");
    o.setValueForKey(Value(r.queued), "inOperationQueue");
    o.setValueForKey(r.score ? Value(*r.score) : Value(), "score");
}

struct FetchCase {
    const char* name;
    std::optional<Predicate> predicate;
    std::vector<SortDescriptor> sort;
    size_t limit;
    std::vector<std::string> expected;
};

std::vector<FetchCase> fetchCases() {
    using P = Predicate;
    return {
        {"all, first saved first", std::nullopt, {}, 0, {"r1", "r2", "r3", "r4", "r5", "r6"}},
        {"path equal", P::equal("path", "/api/track"), {}, 0, {"r1", "r3", "r5"}},
        {"path and flag",
         P::allOf({P::equal("path", "/api/track"), P::equal("inOperationQueue", false)}),
         {},
         0,
         {"r3"}},
        {"flag as number", P::equal("inOperationQueue", 0), {}, 0, {"r2", "r3", "r6"}},
        {"not equal keeps nulls",
         P::compare("score", Op::NotEqual, 1.5),
         {},
         0,
         {"r2", "r3", "r5", "r6"}},
        {"null equal", P::equal("score", Value()), {}, 0, {"r2", "r5"}},
        {"ordering skips nulls", P::compare("score", Op::Less, 2), {}, 0, {"r1", "r3", "r4"}},
        {"negated ordering takes nulls",
         P::negation(P::compare("score", Op::Less, 2)),
         {},
         0,
         {"r2", "r5", "r6"}},
        {"integer against real",
         P::compare("retryCount", Op::GreaterOrEqual, 1.5),
         {},
         0,
         {"r1", "r3", "r6"}},
        {"either",
         P::anyOf({P::equal("retryCount", 5), P::equal("path", "/api/config")}),
         {},
         0,
         {"r3", "r4"}},
        {"text in byte order", P::compare("path", Op::Less, "/api/i"), {}, 0, {"r4", "r6"}},
        {"sort ascending, ties in insertion order",
         std::nullopt,
         {{"retryCount", true}},
         0,
         {"r2", "r5", "r4", "r1", "r6", "r3"}},
        {"sort descending, nulls last",
         std::nullopt,
         {{"score", false}},
         0,
         {"r6", "r1", "r4", "r3", "r2", "r5"}},
        {"two keys",
         std::nullopt,
         {{"path", true}, {"retryCount", false}},
         0,
         {"r6", "r4", "r2", "r3", "r1", "r5"}},
        {"limit after sort",
         P::equal("path", "/api/track"),
         {{"retryCount", false}},
         2,
         {"r3", "r1"}},
        {"empty all-of matches all", P::allOf({}), {}, 3, {"r1", "r2", "r3"}},
    };
}

void expectCases(ObjectContext& context, const std::string& mode) {
    for (const auto& c : fetchCases()) {
        FetchRequest request("Request");
        if (c.predicate) request.setPredicate(*c.predicate);
        request.sortDescriptors = c.sort;
        request.fetchLimit = c.limit;
        Error error;
        EXPECT_EQ(ids(fetch(context, request, &error)), c.expected) << mode << ": " << c.name;
        EXPECT_EQ(error.code, 0) << mode << ": " << c.name << " " << error.localizedDescription();
    }
}

TEST(ObjectStore, FetchesFilterSortAndLimitTheSameSavedOrNot) {
    auto saved = openStack(AppHome::temporary() / "saved.sqlite");
    saved.context->performBlockAndWait([&] {
        for (const auto& r : kRows)
            fill(*insertRequest(*saved.context, r.id, r.path), r);
        ASSERT_TRUE(saved.context->save(nullptr));
    });
    expectCases(*saved.context, "saved");

    auto unsaved = openStack(AppHome::temporary() / "unsaved.sqlite");
    unsaved.context->performBlockAndWait([&] {
        for (const auto& r : kRows)
            fill(*insertRequest(*unsaved.context, r.id, r.path), r);
    });
    expectCases(*unsaved.context, "unsaved");

    // r1 to r4 saved with other values (r2 changed afterwards), a deleted extra, r5, r6 new.
    auto mixed = openStack(AppHome::temporary() / "mixed.sqlite");
    mixed.context->performBlockAndWait([&] {
        for (size_t i = 0; i < 4; ++i)
            fill(*insertRequest(*mixed.context, kRows[i].id, "/elsewhere"),
                 i == 1 ? kRows[0] : kRows[i]);
        auto extra = insertRequest(*mixed.context, "gone", "/api/track");
        ASSERT_TRUE(mixed.context->save(nullptr));
        mixed.context->deleteObject(extra);
        auto stored = mixed.context->executeFetchRequest(FetchRequest("Request"), nullptr);
        for (size_t i = 0; i < 4; ++i)
            fill(*stored[i], kRows[i]);
        for (size_t i = 4; i < kRows.size(); ++i)
            fill(*insertRequest(*mixed.context, kRows[i].id, kRows[i].path), kRows[i]);
    });
    expectCases(*mixed.context, "mixed");
    mixed.context->performBlockAndWait([&] { ASSERT_TRUE(mixed.context->save(nullptr)); });
    expectCases(*mixed.context, "mixed, then saved");
}

TEST(ObjectStore, AContextHandsOutOneObjectPerRow) {
    auto s = openStack();
    s.context->performBlockAndWait([&] {
        insertRequest(*s.context, "a", "/p");
        ASSERT_TRUE(s.context->save(nullptr));
        FetchRequest request("Request");
        auto first = s.context->executeFetchRequest(request, nullptr);
        first[0]->setValueForKey(Value(4), "retryCount");
        request.setPredicate(Predicate::equal("retryCount", 4));
        auto again = s.context->executeFetchRequest(request, nullptr);
        ASSERT_EQ(again.size(), 1u);
        EXPECT_EQ(again[0], first[0]);  // the changed object, not a fresh copy of the row
    });
}

TEST(ObjectStore, BadFetchRequestsFailWithAnError) {
    auto s = openStack();
    const std::vector<std::pair<const char*, FetchRequest>> cases = [] {
        std::vector<std::pair<const char*, FetchRequest>> out;
        out.emplace_back("unknown entity", FetchRequest("Nothing"));
        FetchRequest unknownKey("Request");
        unknownKey.setPredicate(Predicate::equal("nope", 1));
        out.emplace_back("unknown key", unknownKey);
        FetchRequest wrongKind("Request");
        wrongKind.setPredicate(Predicate::equal("path", 1));
        out.emplace_back("text against a number", wrongKind);
        FetchRequest archived("Request");
        archived.setPredicate(Predicate::equal("body", "x"));
        out.emplace_back("archived attribute", archived);
        FetchRequest sortArchived("Request");
        sortArchived.sortDescriptors = {{"body", true}};
        out.emplace_back("sort by an archived attribute", sortArchived);
        return out;
    }();
    for (const auto& [name, request] : cases) {
        Error error;
        EXPECT_TRUE(fetch(*s.context, request, &error).empty()) << name;
        EXPECT_EQ(error.domain, kDataErrorDomain) << name;
        EXPECT_EQ(error.code, kDataErrorValidation) << name;
    }
}

TEST(ObjectStore, AFileThatIsNoStoreFailsToOpenAndIsLeftAsItIs) {
    const auto dir = AppHome::temporary() / "bad";
    std::filesystem::create_directories(dir);
    // A damaged store: a real one whose first page was overwritten after its header.
    const auto damaged = dir / "damaged.sqlite";
    {
        auto s = openStack(damaged);
        s.context->performBlockAndWait([&] {
            for (int i = 0; i < 50; ++i)
                insertRequest(*s.context, std::to_string(i), "/p");
            ASSERT_TRUE(s.context->save(nullptr));
        });
    }
    {
        auto bytes = *files::readData(damaged);
        ASSERT_GT(bytes.size(), 4096u);
        for (size_t i = 100; i < 4096; ++i)
            bytes.data()[i] = static_cast<uint8_t>(i * 7);
        ASSERT_TRUE(files::writeAtomically(damaged, bytes));
    }
    const auto otherModel = dir / "other-model.sqlite";
    {
        auto model = std::make_shared<ObjectModel>();
        model->addEntity({"Request", {{"path", AttributeType::String, true, {}}}});
        openStack(otherModel, model);
    }
    const auto foreign = dir / "foreign.sqlite";
    {
        sqlite3* db = nullptr;
        sqlite3_open(foreign.c_str(), &db);
        sqlite3_exec(db, "CREATE TABLE things (x)", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    const auto text = dir / "text.sqlite";
    ASSERT_TRUE(files::writeAtomically(text, std::string_view("{\"not\": \"a database\"}\n")));
    const auto noise = dir / "noise.sqlite";
    {
        Data bytes;
        for (int i = 0; i < 8192; ++i)
            bytes.bytes().push_back(static_cast<uint8_t>((i * 2654435761u) >> 13));
        ASSERT_TRUE(files::writeAtomically(noise, bytes));
    }

    const std::vector<std::pair<std::filesystem::path, int>> cases = {
        {damaged, kDataErrorStoreOpen},         {text, kDataErrorStoreOpen},
        {noise, kDataErrorStoreOpen},           {otherModel, kDataErrorIncompatibleModel},
        {foreign, kDataErrorIncompatibleModel},
    };
    for (const auto& [path, code] : cases) {
        const auto before = *files::readData(path);
        auto coordinator = StoreCoordinator::create(requestModel());
        Error error;
        EXPECT_FALSE(coordinator->addSQLiteStore(path, &error)) << path;
        EXPECT_EQ(error.domain, kDataErrorDomain) << path;
        EXPECT_EQ(error.code, code) << path << " " << error.localizedDescription();
        EXPECT_FALSE(coordinator->hasStore());
        EXPECT_EQ(files::readData(path), before) << path;
        for (const char* companion : {"-wal", "-shm", "-journal"})
            EXPECT_FALSE(std::filesystem::exists(path.string() + companion)) << path << companion;

        // The coordinator is usable only to say that it has no store.
        auto context = ObjectContext::create();
        context->setCoordinator(coordinator);
        context->performBlockAndWait([&] {
            insertRequest(*context, "x", "/p");
            Error saveError;
            EXPECT_FALSE(context->save(&saveError));
            EXPECT_EQ(saveError.code, kDataErrorNoStore);
            Error fetchError;
            EXPECT_TRUE(context->executeFetchRequest(FetchRequest("Request"), &fetchError).empty());
            EXPECT_EQ(fetchError.code, kDataErrorNoStore);
        });
    }
}

TEST(ObjectStore, OneSaveIsOneTransaction) {
    auto s = openStack();
    // Another connection makes the store refuse one row in the middle of the save.
    {
        sqlite3* db = nullptr;
        sqlite3_open(storeFile().c_str(), &db);
        ASSERT_EQ(sqlite3_exec(db,
                               "CREATE TRIGGER refuse BEFORE INSERT ON \"Request\" WHEN "
                               "NEW.path = '/refused' BEGIN SELECT RAISE(ABORT, 'refused'); END",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    std::shared_ptr<ManagedObject> refused;
    s.context->performBlockAndWait([&] {
        for (int i = 0; i < 500; ++i) {
            auto o = insertRequest(*s.context, std::to_string(i), "/p");
            if (i == 400) refused = o;
        }
        refused->setValueForKey(Value("/refused"), "path");
        Error error;
        EXPECT_FALSE(s.context->save(&error));
        EXPECT_EQ(error.code, kDataErrorSQLite);
        EXPECT_NE(error.localizedDescription().find("refused"), std::string::npos);
        EXPECT_TRUE(s.context->hasChanges());
    });
    EXPECT_EQ(rawCount(storeFile(), "Request"), 0);  // none of the 400 before it

    s.context->performBlockAndWait([&] {
        refused->setValueForKey(Value("/p"), "path");
        Error error;
        EXPECT_TRUE(s.context->save(&error)) << error.localizedDescription();
    });
    EXPECT_EQ(rawCount(storeFile(), "Request"), 500);
}

TEST(ObjectStore, ChangingARowAnotherContextDeletedFailsTheWholeSave) {
    auto s = openStack();
    auto other = ObjectContext::create("test.other");
    other->setCoordinator(s.coordinator);
    s.context->performBlockAndWait([&] {
        insertRequest(*s.context, "shared", "/p");
        ASSERT_TRUE(s.context->save(nullptr));
    });
    auto mine = fetch(*s.context, FetchRequest("Request"));
    auto theirs = fetch(*other, FetchRequest("Request"));
    other->performBlockAndWait([&] {
        other->deleteObject(theirs[0]);
        ASSERT_TRUE(other->save(nullptr));
    });
    s.context->performBlockAndWait([&] {
        mine[0]->setValueForKey(Value(1), "retryCount");
        insertRequest(*s.context, "new", "/p");
        Error error;
        EXPECT_FALSE(s.context->save(&error));
        EXPECT_EQ(error.code, kDataErrorConflict);
    });
    EXPECT_EQ(rawCount(storeFile(), "Request"), 0);
}

TEST(ObjectStore, ConcurrentContextsSaveOneAfterTheOther) {
    // Two coordinators on one file (as two processes would be), two contexts on each.
    auto first = openStack();
    auto second = openStack();
    std::vector<std::shared_ptr<ObjectContext>> contexts;
    for (auto* s : {&first, &second})
        for (int i = 0; i < 2; ++i) {
            auto c = ObjectContext::create("test.context." + std::to_string(contexts.size()));
            c->setCoordinator(s->coordinator);
            contexts.push_back(c);
        }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (size_t c = 0; c < contexts.size(); ++c)
        threads.emplace_back([&, c] {
            auto context = contexts[c];
            for (int round = 0; round < 40; ++round)
                context->performBlockAndWait([&] {
                    for (int i = 0; i < 10; ++i)
                        insertRequest(*context, std::to_string(c) + "." + std::to_string(round),
                                      "/p" + std::to_string(c));
                    Error error;
                    if (!context->save(&error)) {
                        ++failures;
                        ADD_FAILURE() << error.localizedDescription();
                    }
                });
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(rawCount(storeFile(), "Request"), 4 * 40 * 10);
    FetchRequest mine("Request");
    mine.setPredicate(Predicate::equal("path", "/p3"));
    EXPECT_EQ(fetch(*contexts[0], mine).size(), 400u);  // read from the store, not the context
}

TEST(ObjectStore, WaitingPerformsNestOnTheContextsQueue) {
    auto s = openStack();
    std::vector<int> order;
    s.context->performBlock([&] { order.push_back(1); });
    s.context->performBlockAndWait([&] {
        order.push_back(2);
        s.context->performBlockAndWait([&] {
            insertRequest(*s.context, "nested", "/p");
            order.push_back(3);
        });
        EXPECT_TRUE(s.context->save(nullptr));
    });
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(rawCount(storeFile(), "Request"), 1);
}

TEST(ObjectStoreDeathTest, WorkOutsideTheContextsQueueAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto s = openStack();
    EXPECT_DEATH(s.context->insertNewObject("Request"), "outside the context's queue");
    EXPECT_DEATH(s.context->save(nullptr), "outside the context's queue");
}

}  // namespace
}  // namespace platform::data
