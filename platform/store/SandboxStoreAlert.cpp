// The default way the sandbox store asks the player to confirm a purchase.

#include "platform/foundation/Log.h"
#include "platform/store/SandboxStore.h"

namespace platform::store {

SandboxStore::Confirmer alertConfirmer() {
    return [](const Product& product, int64_t, std::function<void(bool)> reply) {
        log("store: no way to ask the player about " + product.productIdentifier + "; cancelled");
        reply(false);
    };
}

}  // namespace platform::store
