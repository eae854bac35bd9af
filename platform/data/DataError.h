#pragma once
// Errors of the object store: domain kDataErrorDomain, these codes; the description names what
// failed, with SQLite's own message where SQLite failed ("sqlite code" in the user info).

namespace platform::data {

inline constexpr const char* kDataErrorDomain = "DataErrorDomain";
enum : int {
    kDataErrorStoreOpen = 1,          // the file is no store (or a damaged one)
    kDataErrorIncompatibleModel = 2,  // the store was made for another model
    kDataErrorNoStore = 3,            // no coordinator, or a coordinator without a store
    kDataErrorValidation = 4,         // a non-optional attribute without a value, or bad value
    kDataErrorSQLite = 5,             // SQLite failed while reading or writing
    kDataErrorConflict = 6,           // a changed object's row was deleted by someone else
};

}  // namespace platform::data
