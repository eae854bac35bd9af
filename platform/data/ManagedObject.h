#pragma once
// One object of an entity, held by the context that inserted or fetched it. Its attributes are
// read and written by name. Like its context, an object is touched only on its context's queue
// (inside performBlock / performBlockAndWait); it is not thread-safe.
//
// Changes are the context's until it saves them. A context hands out one object per stored row:
// fetching the same row again answers the same object, with the changes it carries.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data/ObjectModel.h"
#include "platform/foundation/Value.h"

namespace platform::data {

class ObjectContext;

class ManagedObject : public std::enable_shared_from_this<ManagedObject> {
  public:
    const Entity& entity() const { return *entity_; }

    // Null when the attribute holds no value. An unknown key aborts (a broken caller).
    const Value& valueForKey(std::string_view key) const;
    // Numbers convert to the attribute's type (a bool into an integer attribute is 0 or 1); a
    // value of another kind, or an unknown key, aborts. Null clears the attribute.
    void setValueForKey(const Value& value, std::string_view key);

    bool isInserted() const { return state_ == State::Inserted; }  // new, not yet saved
    bool isDeleted() const { return state_ == State::Deleted || state_ == State::Gone; }
    bool hasChanges() const { return state_ != State::Clean && state_ != State::Gone; }

    ManagedObject(const ManagedObject&) = delete;
    ManagedObject& operator=(const ManagedObject&) = delete;

  private:
    friend class ObjectContext;
    enum class State { Inserted, Clean, Updated, Deleted, Gone };

    ManagedObject(std::shared_ptr<const ObjectModel> model,
                  const Entity& entity,
                  std::weak_ptr<ObjectContext> context)
        : model_(std::move(model)),
          entity_(&entity),
          context_(std::move(context)),
          values_(entity.attributes.size()),
          changed_(entity.attributes.size(), false) {}
    size_t indexOf(std::string_view key) const;

    std::shared_ptr<const ObjectModel> model_;  // keeps entity_ alive
    const Entity* entity_;
    std::weak_ptr<ObjectContext> context_;
    State state_ = State::Inserted;
    int64_t rowId_ = 0;   // 0 until saved
    uint64_t order_ = 0;  // insertion order in the context, for unsaved objects
    std::vector<Value> values_;
    std::vector<bool> changed_;
};

// The value `value` takes in an attribute of `type`, or std::nullopt when it cannot be held there.
std::optional<Value> coerceToAttribute(const Value& value, AttributeType type);

}  // namespace platform::data
