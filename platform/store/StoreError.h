#pragma once
// Errors of the store: product requests that fail and payments that do not go through carry an
// Error in this domain. Callers tell a cancelled payment (the player said no) from every other
// failure by its code.

#include "platform/foundation/Error.h"

namespace platform::store {

inline constexpr const char* kStoreErrorDomain = "StoreErrorDomain";

enum StoreErrorCode : int64_t {
    kStoreErrorUnknown = 0,           // the store could not be reached, or refused the payment
    kStoreErrorPaymentCancelled = 2,  // the player cancelled (or the store declined) the payment
};

}  // namespace platform::store
