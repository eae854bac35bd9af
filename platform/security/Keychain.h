#pragma once
// Keychain items: generic passwords found by service and account, kept in one private file of
// the app home (Library/Keychains/items.plist, mode 0600, written atomically) so they survive
// restarts of the app. Every call reads the file afresh, so two objects or processes sharing a
// home see the same items. Queries and attributes are dictionaries with the keys below; results
// are status codes, the way callers of a keychain expect them. Thread-safe.

#include <cstdint>

#include "platform/foundation/Data.h"
#include "platform/foundation/Value.h"

namespace platform::keychain {

// Attribute keys and values.
inline constexpr const char* kClass = "class";
inline constexpr const char* kClassGenericPassword = "genp";
inline constexpr const char* kService = "svce";
inline constexpr const char* kAccount = "acct";
inline constexpr const char* kAccessible = "pdmn";
inline constexpr const char* kAccessibleAfterFirstUnlock = "ck";
inline constexpr const char* kValueData = "v_Data";  // the item's data, in add()'s attributes

// Status codes.
inline constexpr int32_t kSuccess = 0;
inline constexpr int32_t kParam = -50;
inline constexpr int32_t kIO = -36;
inline constexpr int32_t kDuplicateItem = -25299;
inline constexpr int32_t kItemNotFound = -25300;

// Adds an item from its attributes: class (generic password), service and account (text) and
// data are required (else kParam), accessibility is optional. kDuplicateItem when an item with
// that service and account exists.
int32_t add(const Dictionary& attributes);
// Copies the data of the first item matching the query into *out (when out is not null).
// A query names the class and optionally a service and an account; a missing one matches any.
// kItemNotFound when nothing matches.
int32_t copyMatching(const Dictionary& query, Data* out);
// Deletes every item matching the query; kItemNotFound when nothing matched.
int32_t remove(const Dictionary& query);

}  // namespace platform::keychain
