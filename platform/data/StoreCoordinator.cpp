#include "platform/data/StoreCoordinator.h"

#include <sqlite3.h>

#include <algorithm>

#include "platform/data/DataError.h"
#include "platform/data/StoreInternal.h"
#include "platform/foundation/KeyedArchive.h"

namespace platform::data {

using detail::dataError;

namespace {

constexpr const char* kModelTable = "_model";

std::string quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

const char* columnType(AttributeType type) {
    switch (type) {
        case AttributeType::Integer32:
        case AttributeType::Integer64:
        case AttributeType::Boolean:
            return "INTEGER";
        case AttributeType::Double:
        case AttributeType::Date:
            return "REAL";
        case AttributeType::String:
            return "TEXT";
        case AttributeType::Binary:
        case AttributeType::Transformable:
            return "BLOB";
    }
    return "BLOB";
}

// Binds a predicate's value (already checked against its attribute).
void bindKey(sqlite3_stmt* stmt, int index, const Value& v) {
    if (v.isString()) {
        sqlite3_bind_text(stmt, index, v.string()->data(), static_cast<int>(v.string()->size()),
                          SQLITE_TRANSIENT);
    } else if (v.isDate()) {
        sqlite3_bind_double(stmt, index, v.asDate()->secondsSince1970);
    } else if (v.isReal()) {
        sqlite3_bind_double(stmt, index, v.asReal());
    } else {
        sqlite3_bind_int64(stmt, index, v.asInteger());
    }
}

// Binds an attribute's value as its column keeps it.
bool bindAttribute(sqlite3_stmt* stmt,
                   int index,
                   const Value& v,
                   const Attribute& attribute,
                   Error* error) {
    if (v.isNull()) {
        sqlite3_bind_null(stmt, index);
        return true;
    }
    switch (attribute.type) {
        case AttributeType::Binary: {
            const Data* d = v.data();
            sqlite3_bind_blob(stmt, index, d->size() ? d->data() : nullptr,
                              static_cast<int>(d->size()), SQLITE_TRANSIENT);
            return true;
        }
        case AttributeType::Transformable: {
            Error why;
            Data bytes = archive::archive(v, &why);
            if (bytes.empty()) {
                setError(error, dataError(kDataErrorValidation, "\"" + attribute.name +
                                                                    "\" cannot be stored: " +
                                                                    why.localizedDescription()));
                return false;
            }
            sqlite3_bind_blob(stmt, index, bytes.data(), static_cast<int>(bytes.size()),
                              SQLITE_TRANSIENT);
            return true;
        }
        default:
            bindKey(stmt, index, v);
            return true;
    }
}

bool readAttribute(sqlite3_stmt* stmt, int column, const Attribute& attribute, Value* out) {
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL) {
        *out = Value();
        return true;
    }
    switch (attribute.type) {
        case AttributeType::Integer32:
        case AttributeType::Integer64:
            *out = Value(static_cast<int64_t>(sqlite3_column_int64(stmt, column)));
            return true;
        case AttributeType::Boolean:
            *out = Value(sqlite3_column_int64(stmt, column) != 0);
            return true;
        case AttributeType::Double:
            *out = Value(sqlite3_column_double(stmt, column));
            return true;
        case AttributeType::Date:
            *out = Value(Date{sqlite3_column_double(stmt, column)});
            return true;
        case AttributeType::String: {
            auto text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            *out = Value(std::string(text ? text : "",
                                     static_cast<size_t>(sqlite3_column_bytes(stmt, column))));
            return true;
        }
        case AttributeType::Binary:
        case AttributeType::Transformable: {
            const void* blob = sqlite3_column_blob(stmt, column);
            Data bytes(blob, static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
            if (attribute.type == AttributeType::Binary) {
                *out = Value(std::move(bytes));
                return true;
            }
            auto value = archive::unarchive(bytes);
            if (!value) return false;
            *out = std::move(*value);
            return true;
        }
    }
    return false;
}

void compile(const Predicate& p, std::string& sql, std::vector<const Value*>& binds) {
    using Kind = Predicate::Kind;
    using Op = Predicate::Operator;
    if (p.kind() == Kind::And || p.kind() == Kind::Or) {
        if (p.parts().empty()) {
            sql += p.kind() == Kind::And ? "1" : "0";
            return;
        }
        sql += "(";
        for (size_t i = 0; i < p.parts().size(); ++i) {
            if (i) sql += p.kind() == Kind::And ? " AND " : " OR ";
            compile(p.parts()[i], sql, binds);
        }
        sql += ")";
        return;
    }
    if (p.kind() == Kind::Not) {
        sql += "NOT (";
        compile(p.parts().front(), sql, binds);
        sql += ")";
        return;
    }
    // Every comparison answers 0 or 1, never NULL, so NOT means what it means in memory.
    const std::string column = quoted(p.key());
    if (p.value().isNull()) {
        if (p.op() == Op::Equal)
            sql += column + " IS NULL";
        else if (p.op() == Op::NotEqual)
            sql += column + " IS NOT NULL";
        else
            sql += "0";
        return;
    }
    binds.push_back(&p.value());
    switch (p.op()) {
        case Op::Equal:
            sql += column + " IS ?";
            return;
        case Op::NotEqual:
            sql += column + " IS NOT ?";
            return;
        default:
            break;
    }
    const char* op = p.op() == Op::Less          ? " < "
                     : p.op() == Op::LessOrEqual ? " <= "
                     : p.op() == Op::Greater     ? " > "
                                                 : " >= ";
    sql += "(" + column + " IS NOT NULL AND " + column + op + "?)";
}

}  // namespace

std::shared_ptr<StoreCoordinator> StoreCoordinator::create(
    std::shared_ptr<const ObjectModel> model) {
    return std::shared_ptr<StoreCoordinator>(new StoreCoordinator(std::move(model)));
}

StoreCoordinator::~StoreCoordinator() {
    for (auto& [sql, stmt] : cache_)
        sqlite3_finalize(stmt);
    if (db_) sqlite3_close(db_);
}

bool StoreCoordinator::hasStore() const {
    std::lock_guard lock(mutex_);
    return db_ != nullptr;
}

std::optional<std::filesystem::path> StoreCoordinator::storePath() const {
    std::lock_guard lock(mutex_);
    if (!db_) return std::nullopt;
    return path_;
}

Error StoreCoordinator::sqliteError(const std::string& what) const {
    Error e = dataError(kDataErrorSQLite, what + ": " + sqlite3_errmsg(db_));
    e.userInfo["sqlite code"] = Value(int64_t{sqlite3_extended_errcode(db_)});
    return e;
}

bool StoreCoordinator::exec(const std::string& sql, Error* error) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    setError(error, sqliteError("store"));
    return false;
}

sqlite3_stmt* StoreCoordinator::prepare(const std::string& sql, Error* error) {
    auto it = cache_.find(sql);
    if (it != cache_.end()) {
        sqlite3_reset(it->second);
        sqlite3_clear_bindings(it->second);
        return it->second;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        setError(error, sqliteError("store"));
        return nullptr;
    }
    cache_.emplace(sql, stmt);
    return stmt;
}

bool StoreCoordinator::addSQLiteStore(const std::filesystem::path& path, Error* error) {
    std::lock_guard lock(mutex_);
    if (db_) {
        setError(error, dataError(kDataErrorStoreOpen, "the coordinator has a store already"));
        return false;
    }
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        Error e =
            dataError(kDataErrorStoreOpen, "cannot open the store at " + path.string() + ": " +
                                               (db ? sqlite3_errmsg(db) : "no memory"));
        sqlite3_close(db);
        setError(error, e);
        return false;
    }
    db_ = db;
    sqlite3_busy_timeout(db_, 10000);
    auto fail = [&](int code, const std::string& why) {
        Error e = dataError(code, "cannot open the store at " + path.string() + ": " + why);
        e.userInfo["sqlite code"] = Value(int64_t{sqlite3_extended_errcode(db_)});
        sqlite3_close(db_);
        db_ = nullptr;
        setError(error, e);
        return false;
    };

    // Read before anything is written: a file that is no store stays exactly as it was.
    std::string check;
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, "PRAGMA quick_check(1)", -1, &stmt, nullptr) != SQLITE_OK)
            return fail(kDataErrorStoreOpen, sqlite3_errmsg(db_));
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW)
            check = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        else
            check = sqlite3_errmsg(db_);
        sqlite3_finalize(stmt);
    }
    if (check != "ok") return fail(kDataErrorStoreOpen, check);

    std::vector<std::string> tables;
    std::optional<std::string> fingerprint;
    {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db_, "SELECT name FROM sqlite_master WHERE type = 'table'", -1, &stmt,
                           nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        sqlite3_finalize(stmt);
    }
    const bool hasModel = std::find(tables.begin(), tables.end(), kModelTable) != tables.end();
    if (hasModel) {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db_, "SELECT fingerprint FROM _model", -1, &stmt, nullptr);
        if (stmt && sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0))
            fingerprint = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
        if (fingerprint != model_->fingerprint())
            return fail(kDataErrorIncompatibleModel, "the store was made for another model");
    } else {
        for (const auto& t : tables)
            if (t.rfind("sqlite_", 0) != 0)
                return fail(kDataErrorIncompatibleModel, "the file holds other tables");
    }

    // WAL keeps a save that a killed process never finished out of the file; NORMAL syncing
    // is enough for that and keeps saves fast.
    sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    if (!hasModel) {
        std::string sql = "BEGIN IMMEDIATE; CREATE TABLE _model (fingerprint TEXT);";
        for (const auto& entity : model_->entities()) {
            // Row ids are never reused: an object another context still holds must not
            // come to name a new row.
            sql += "CREATE TABLE " + quoted(entity.name) +
                   " (\"id\" INTEGER PRIMARY KEY AUTOINCREMENT";
            for (const auto& a : entity.attributes)
                sql += ", " + quoted(a.name) + " " + columnType(a.type);
            sql += ");";
        }
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            const std::string why = sqlite3_errmsg(db_);
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            return fail(kDataErrorSQLite, why);
        }
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db_, "INSERT INTO _model VALUES (?)", -1, &stmt, nullptr);
        const std::string print = model_->fingerprint();
        sqlite3_bind_text(stmt, 1, print.data(), static_cast<int>(print.size()), SQLITE_TRANSIENT);
        const int rc = sqlite3_step(stmt);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE ||
            sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
            const std::string why = sqlite3_errmsg(db_);
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            return fail(kDataErrorSQLite, why);
        }
    }
    path_ = path;
    return true;
}

bool StoreCoordinator::fetchRows(const Entity& entity,
                                 const Predicate* predicate,
                                 const std::vector<SortDescriptor>& sort,
                                 size_t limit,
                                 std::vector<Row>* rows,
                                 Error* error) {
    std::lock_guard lock(mutex_);
    if (!db_) {
        setError(error, dataError(kDataErrorNoStore, "the coordinator has no store"));
        return false;
    }
    std::string sql = "SELECT \"id\"";
    for (const auto& a : entity.attributes)
        sql += ", " + quoted(a.name);
    sql += " FROM " + quoted(entity.name);
    std::vector<const Value*> binds;
    if (predicate) {
        sql += " WHERE ";
        compile(*predicate, sql, binds);
    }
    sql += " ORDER BY ";
    for (const auto& d : sort)
        sql += quoted(d.key) + (d.ascending ? " ASC, " : " DESC, ");
    sql += "\"id\"";
    if (limit) sql += " LIMIT " + std::to_string(limit);

    sqlite3_stmt* stmt = prepare(sql, error);
    if (!stmt) return false;
    for (size_t i = 0; i < binds.size(); ++i)
        bindKey(stmt, static_cast<int>(i + 1), *binds[i]);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        Row row;
        row.id = sqlite3_column_int64(stmt, 0);
        row.values.resize(entity.attributes.size());
        for (size_t i = 0; i < entity.attributes.size(); ++i)
            if (!readAttribute(stmt, static_cast<int>(i + 1), entity.attributes[i],
                               &row.values[i])) {
                sqlite3_reset(stmt);
                setError(error, dataError(kDataErrorSQLite, "a stored value of \"" +
                                                                entity.attributes[i].name +
                                                                "\" cannot be read"));
                return false;
            }
        rows->push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        setError(error, sqliteError("fetching " + entity.name));
        sqlite3_reset(stmt);
        return false;
    }
    sqlite3_reset(stmt);
    return true;
}

bool StoreCoordinator::commit(const std::vector<Insert>& inserts,
                              const std::vector<Update>& updates,
                              const std::vector<Delete>& deletes,
                              std::vector<int64_t>* newIds,
                              Error* error) {
    std::lock_guard lock(mutex_);
    if (!db_) {
        setError(error, dataError(kDataErrorNoStore, "the coordinator has no store"));
        return false;
    }
    if (!exec("BEGIN IMMEDIATE", error)) return false;
    auto rollback = [&] {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    };
    auto step = [&](sqlite3_stmt* stmt, const std::string& what) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE) {
            sqlite3_reset(stmt);
            return true;
        }
        setError(error, sqliteError(what));
        sqlite3_reset(stmt);
        return false;
    };

    for (const auto& ins : inserts) {
        const Entity& e = *ins.entity;
        std::string sql = "INSERT INTO " + quoted(e.name) + " (";
        std::string marks;
        for (size_t i = 0; i < e.attributes.size(); ++i) {
            sql += (i ? ", " : "") + quoted(e.attributes[i].name);
            marks += i ? ", ?" : "?";
        }
        sql += ") VALUES (" + marks + ")";
        if (e.attributes.empty()) sql = "INSERT INTO " + quoted(e.name) + " DEFAULT VALUES";
        sqlite3_stmt* stmt = prepare(sql, error);
        if (!stmt) return rollback();
        for (size_t i = 0; i < e.attributes.size(); ++i)
            if (!bindAttribute(stmt, static_cast<int>(i + 1), (*ins.values)[i], e.attributes[i],
                               error))
                return rollback();
        if (!step(stmt, "saving " + e.name)) return rollback();
        newIds->push_back(sqlite3_last_insert_rowid(db_));
    }
    for (const auto& up : updates) {
        const Entity& e = *up.entity;
        std::string sql = "UPDATE " + quoted(e.name) + " SET ";
        std::vector<size_t> columns;
        for (size_t i = 0; i < e.attributes.size(); ++i)
            if ((*up.changed)[i]) {
                sql += (columns.empty() ? "" : ", ") + quoted(e.attributes[i].name) + " = ?";
                columns.push_back(i);
            }
        if (columns.empty()) continue;
        sql += " WHERE \"id\" = ?";
        sqlite3_stmt* stmt = prepare(sql, error);
        if (!stmt) return rollback();
        int index = 1;
        for (size_t i : columns)
            if (!bindAttribute(stmt, index++, (*up.values)[i], e.attributes[i], error))
                return rollback();
        sqlite3_bind_int64(stmt, index, up.id);
        const int64_t before = sqlite3_total_changes64(db_);
        if (!step(stmt, "saving " + e.name)) return rollback();
        if (sqlite3_total_changes64(db_) - before != 1) {
            setError(error, dataError(kDataErrorConflict,
                                      "a changed " + e.name + " was deleted from the store"));
            return rollback();
        }
    }
    for (const auto& del : deletes) {
        sqlite3_stmt* stmt =
            prepare("DELETE FROM " + quoted(del.entity->name) + " WHERE \"id\" = ?", error);
        if (!stmt) return rollback();
        sqlite3_bind_int64(stmt, 1, del.id);
        if (!step(stmt, "deleting from " + del.entity->name)) return rollback();
    }
    if (!exec("COMMIT", error)) return rollback();
    return true;
}

}  // namespace platform::data
