#pragma once
// An object context: a scratch pad of managed objects over a store coordinator. Objects are
// inserted, fetched, changed and deleted in the context; save() writes all of its changes to
// the store in one transaction, or none of them.
//
// Threading: every context owns a private serial queue, and all of its work (and all work on
// its objects) runs there: inside performBlock (async) or performBlockAndWait (runs the block
// and returns when it ran). performBlockAndWait from a block already running on the context's
// queue runs the block at once, so store code may nest. Calling the other members from
// anywhere else aborts with a message: that is a race, not a slow path.
//
// Fetches see the context's unsaved changes: inserted objects that match, changed objects with
// their new values, and no deleted ones. Contexts do not see each other's unsaved changes; an
// object that is unchanged in this context is read afresh from the store by each fetch.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/data/FetchRequest.h"
#include "platform/data/ManagedObject.h"
#include "platform/data/StoreCoordinator.h"
#include "platform/foundation/Error.h"

namespace platform {
class Queue;
}

namespace platform::data {

class ObjectContext : public std::enable_shared_from_this<ObjectContext> {
  public:
    // A context with a private queue of its own (labelled `label`), without a coordinator.
    static std::shared_ptr<ObjectContext> create(std::string label = "platform.data.context");

    // Any thread.
    void performBlock(std::function<void()> block);
    void performBlockAndWait(const std::function<void()>& block);
    void setCoordinator(std::shared_ptr<StoreCoordinator> coordinator);
    std::shared_ptr<StoreCoordinator> coordinator() const;

    // On the context's queue only.
    // A new object of the entity, holding its attributes' defaults. An entity the model lacks
    // (or a context without a coordinator) aborts.
    std::shared_ptr<ManagedObject> insertNewObject(const std::string& entityName);
    // Empty with *error set when the request names no entity of the model, its predicate or
    // sort keys do not fit the entity, or the store fails.
    std::vector<std::shared_ptr<ManagedObject>> executeFetchRequest(const FetchRequest& request,
                                                                    Error* error);
    // An inserted object is simply dropped; a stored one is removed from the store by save().
    void deleteObject(const std::shared_ptr<ManagedObject>& object);
    bool hasChanges() const;
    // Writes the changes; true without changes. A non-optional attribute without a value fails
    // (kDataErrorValidation) before anything is written. On failure the changes stay in the
    // context as they were, and the store as it was.
    bool save(Error* error);

    ObjectContext(const ObjectContext&) = delete;
    ObjectContext& operator=(const ObjectContext&) = delete;

  private:
    friend class ManagedObject;
    explicit ObjectContext(std::string label);
    void checkQueue(const char* what) const;
    void noteUpdated(const std::shared_ptr<ManagedObject>& object);
    bool hasChangesOf(const Entity& entity) const;

    std::shared_ptr<Queue> queue_;
    mutable std::mutex coordinatorMutex_;
    std::shared_ptr<StoreCoordinator> coordinator_;

    // Queue-confined state.
    uint64_t nextOrder_ = 1;
    size_t sweepAt_ = 256;  // registry size at which lost objects are next swept out
    std::vector<std::shared_ptr<ManagedObject>> inserted_;  // in insertion order
    std::vector<std::shared_ptr<ManagedObject>> updated_;
    std::vector<std::shared_ptr<ManagedObject>> deleted_;
    // One object per stored row: (entity, row id) to the object handed out.
    std::map<std::pair<const Entity*, int64_t>, std::weak_ptr<ManagedObject>> registered_;
};

}  // namespace platform::data
