// The Puffin request store against bare SQLite on the same rows: 10,000 pending API requests
// stored one by one (each its own save, as the request manager stores a request when it queues
// it), then replayed (all of a path fetched, each removed by its tag, one save at the end, as
// the start-up replay does). The bare side runs the same statements on a table of the same
// columns with the same archived bodies. The reported figure is the ratio of the two medians.
// Run with --benchmark_repetitions=5 --benchmark_report_aggregates_only=true.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/KeyedArchive.h"
#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/networking/PFHTTPRequestDataManager.h"

namespace {

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::Value;

constexpr int kRequests = 10000;
const std::string kPath = "/post-install-event/tracking";

// A body of the size a tracking request carries.
Value bodyFor(int i) {
    Dictionary body{{"retry_count", 0},
                    {"session", 3},
                    {"bundle_id", "org.qen.game"},
                    {"sdk", "4.2.0"},
                    {"identity", std::string(120, 'a')},
                    {"timestamp", std::to_string(1700000000 + i)}};
    body["track_info"] = Dictionary{{"event", "level"}, {"value", i}};
    return body;
}

fs::path freshHome(const char* name) {
    const fs::path home =
        fs::temp_directory_path() / ("qen-request-store-bench-" + std::to_string(getpid())) / name;
    fs::remove_all(home);
    fs::create_directories(home);
    platform::AppHome::setHome(home);
    return home;
}

void BM_RequestStore(benchmark::State& state) {
    PFRegisterClasses();
    std::vector<Value> bodies;
    for (int i = 0; i < kRequests; ++i)
        bodies.push_back(bodyFor(i));
    for (auto _ : state) {
        state.PauseTiming();
        freshHome("store");
        auto store = PFHTTPRequestDataManager::create();
        auto context = store->managedObjectContext();
        state.ResumeTiming();
        for (int i = 0; i < kRequests; ++i) {
            context->performBlockAndWait([&] {
                store->createRequestEntityWithBody(bodies[i], 0, "tag-" + std::to_string(i), kPath,
                                                   platform::Date{1.7e9}, true);
                platform::Error error;
                context->save(&error);
            });
        }
        size_t replayed = 0;
        context->performBlockAndWait([&] {
            for (const auto& entry : store->allRequestsWithPath(kPath)) {
                benchmark::DoNotOptimize(entry->valueForKey("body"));
                context->deleteObject(entry);
                ++replayed;
            }
            platform::Error error;
            context->save(&error);
        });
        if (replayed != kRequests) state.SkipWithError("not every request came back");
    }
}

void BM_BareSQLite(benchmark::State& state) {
    std::vector<Value> bodies;
    for (int i = 0; i < kRequests; ++i)
        bodies.push_back(bodyFor(i));
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path file = freshHome("bare") / "bare.sqlite";
        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        // The store's own settings: write-ahead log, synced at checkpoints.
        sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        sqlite3_exec(
            db,
            "CREATE TABLE \"PFHTTPRequestEntity\" (\"id\" INTEGER PRIMARY KEY AUTOINCREMENT, "
            "\"date\" REAL, \"uniqueId\" TEXT, \"retryCount\" INTEGER, \"path\" TEXT, \"body\" "
            "BLOB, "
            "\"inOperationQueue\" INTEGER)",
            nullptr, nullptr, nullptr);
        state.ResumeTiming();
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO \"PFHTTPRequestEntity\" (\"date\", \"uniqueId\", "
                           "\"retryCount\", \"path\", "
                           "\"body\", \"inOperationQueue\") VALUES (?, ?, ?, ?, ?, ?)",
                           -1, &insert, nullptr);
        for (int i = 0; i < kRequests; ++i) {
            const std::string tag = "tag-" + std::to_string(i);
            const platform::Data blob =
                platform::archive::archive(bodies[i]);  // as the store keeps it
            sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
            sqlite3_bind_double(insert, 1, 1.7e9);
            sqlite3_bind_text(insert, 2, tag.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(insert, 3, 0);
            sqlite3_bind_text(insert, 4, kPath.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_blob(insert, 5, blob.data(), static_cast<int>(blob.size()), SQLITE_STATIC);
            sqlite3_bind_int64(insert, 6, 1);
            sqlite3_step(insert);
            sqlite3_reset(insert);
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        }
        sqlite3_finalize(insert);

        sqlite3_stmt* select = nullptr;
        sqlite3_stmt* remove = nullptr;
        sqlite3_prepare_v2(
            db,
            "SELECT \"id\", \"date\", \"uniqueId\", \"retryCount\", \"path\", \"body\", "
            "\"inOperationQueue\" FROM \"PFHTTPRequestEntity\" WHERE \"path\" = ?",
            -1, &select, nullptr);
        sqlite3_prepare_v2(db, "DELETE FROM \"PFHTTPRequestEntity\" WHERE \"id\" = ?", -1, &remove,
                           nullptr);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_bind_text(select, 1, kPath.c_str(), -1, SQLITE_STATIC);
        std::vector<int64_t> rows;
        while (sqlite3_step(select) == SQLITE_ROW) {
            auto body = platform::archive::unarchive(
                platform::Data(sqlite3_column_blob(select, 5),
                               static_cast<size_t>(sqlite3_column_bytes(select, 5))));
            benchmark::DoNotOptimize(body);
            benchmark::DoNotOptimize(sqlite3_column_text(select, 2));
            rows.push_back(sqlite3_column_int64(select, 0));
        }
        for (int64_t row : rows) {
            sqlite3_bind_int64(remove, 1, row);
            sqlite3_step(remove);
            sqlite3_reset(remove);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_finalize(select);
        sqlite3_finalize(remove);
        state.PauseTiming();
        sqlite3_close(db);
        if (rows.size() != kRequests) state.SkipWithError("not every row came back");
        state.ResumeTiming();
    }
}

BENCHMARK(BM_RequestStore)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BareSQLite)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
