#include "platform/data/ObjectContext.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/data/DataError.h"
#include "platform/data/StoreInternal.h"
#include "platform/dispatch/Queue.h"

namespace platform::data {

using detail::dataError;

// ManagedObject

std::optional<Value> coerceToAttribute(const Value& v, AttributeType type) {
    if (v.isNull()) return Value();
    const bool number = v.isNumber() || v.isBool();
    switch (type) {
        case AttributeType::Integer32:
        case AttributeType::Integer64:
            if (number) return Value(v.asInteger());
            return std::nullopt;
        case AttributeType::Double:
            if (number) return Value(v.asReal());
            return std::nullopt;
        case AttributeType::Boolean:
            if (v.isBool()) return v;
            if (number) return Value(v.asReal() != 0);
            return std::nullopt;
        case AttributeType::String:
            if (v.isString()) return v;
            return std::nullopt;
        case AttributeType::Date:
            if (v.isDate()) return v;
            return std::nullopt;
        case AttributeType::Binary:
            if (v.isData()) return v;
            return std::nullopt;
        case AttributeType::Transformable:
            return v;
    }
    return std::nullopt;
}

size_t ManagedObject::indexOf(std::string_view key) const {
    for (size_t i = 0; i < entity_->attributes.size(); ++i)
        if (entity_->attributes[i].name == key) return i;
    std::fprintf(stderr, "ManagedObject: %s has no attribute \"%.*s\"\n", entity_->name.c_str(),
                 static_cast<int>(key.size()), key.data());
    std::abort();
}

const Value& ManagedObject::valueForKey(std::string_view key) const {
    return values_[indexOf(key)];
}

void ManagedObject::setValueForKey(const Value& value, std::string_view key) {
    const size_t i = indexOf(key);
    auto coerced = coerceToAttribute(value, entity_->attributes[i].type);
    if (!coerced) {
        std::fprintf(stderr, "ManagedObject: a value of another kind for %s.%s\n",
                     entity_->name.c_str(), entity_->attributes[i].name.c_str());
        std::abort();
    }
    values_[i] = std::move(*coerced);
    if (state_ == State::Clean) {
        state_ = State::Updated;
        if (auto context = context_.lock()) context->noteUpdated(shared_from_this());
    }
    if (state_ == State::Updated) changed_[i] = true;
}

// ObjectContext

std::shared_ptr<ObjectContext> ObjectContext::create(std::string label) {
    return std::shared_ptr<ObjectContext>(new ObjectContext(std::move(label)));
}

ObjectContext::ObjectContext(std::string label) : queue_(Queue::serial(std::move(label))) {}

void ObjectContext::performBlock(std::function<void()> block) {
    queue_->async([self = shared_from_this(), block = std::move(block)] { block(); });
}

void ObjectContext::performBlockAndWait(const std::function<void()>& block) {
    if (queue_->isCurrent())
        block();
    else
        queue_->sync(block);
}

void ObjectContext::setCoordinator(std::shared_ptr<StoreCoordinator> coordinator) {
    std::lock_guard lock(coordinatorMutex_);
    coordinator_ = std::move(coordinator);
}

std::shared_ptr<StoreCoordinator> ObjectContext::coordinator() const {
    std::lock_guard lock(coordinatorMutex_);
    return coordinator_;
}

void ObjectContext::checkQueue(const char* what) const {
    if (queue_->isCurrent()) return;
    std::fprintf(stderr,
                 "ObjectContext::%s called outside the context's queue \"%s\"; use "
                 "performBlock or performBlockAndWait\n",
                 what, queue_->label().c_str());
    std::abort();
}

void ObjectContext::noteUpdated(const std::shared_ptr<ManagedObject>& object) {
    updated_.push_back(object);
}

bool ObjectContext::hasChanges() const {
    checkQueue("hasChanges");
    return !inserted_.empty() || !updated_.empty() || !deleted_.empty();
}

bool ObjectContext::hasChangesOf(const Entity& entity) const {
    for (const auto* list : {&inserted_, &updated_, &deleted_})
        for (const auto& o : *list)
            if (o->entity_ == &entity) return true;
    return false;
}

std::shared_ptr<ManagedObject> ObjectContext::insertNewObject(const std::string& entityName) {
    checkQueue("insertNewObject");
    auto coordinator = this->coordinator();
    const Entity* entity = coordinator ? coordinator->model().entity(entityName) : nullptr;
    if (!entity) {
        std::fprintf(stderr, "ObjectContext: no entity \"%s\"%s\n", entityName.c_str(),
                     coordinator ? " in the model" : " (the context has no coordinator)");
        std::abort();
    }
    std::shared_ptr<ManagedObject> object(
        new ManagedObject(coordinator->model_, *entity, weak_from_this()));
    for (size_t i = 0; i < entity->attributes.size(); ++i)
        object->values_[i] =
            coerceToAttribute(entity->attributes[i].defaultValue, entity->attributes[i].type)
                .value_or(Value());
    object->order_ = nextOrder_++;
    inserted_.push_back(object);
    return object;
}

void ObjectContext::deleteObject(const std::shared_ptr<ManagedObject>& object) {
    checkQueue("deleteObject");
    if (!object || object->context_.lock().get() != this) return;
    using State = ManagedObject::State;
    switch (object->state_) {
        case State::Inserted:
            std::erase(inserted_, object);
            object->state_ = State::Gone;
            return;
        case State::Updated:
            std::erase(updated_, object);
            [[fallthrough]];
        case State::Clean:
            object->state_ = State::Deleted;
            deleted_.push_back(object);
            return;
        case State::Deleted:
        case State::Gone:
            return;
    }
}

std::vector<std::shared_ptr<ManagedObject>> ObjectContext::executeFetchRequest(
    const FetchRequest& request,
    Error* error) {
    checkQueue("executeFetchRequest");
    std::vector<std::shared_ptr<ManagedObject>> results;
    auto coordinator = this->coordinator();
    if (!coordinator) {
        setError(error, dataError(kDataErrorNoStore, "the context has no coordinator"));
        return results;
    }
    const Entity* entity = coordinator->model().entity(request.entityName);
    if (!entity) {
        setError(error,
                 dataError(kDataErrorValidation, "no entity \"" + request.entityName + "\""));
        return results;
    }
    const Predicate* predicate = request.predicate.get();
    if ((predicate && !detail::checkPredicate(*predicate, *entity, error)) ||
        !detail::checkSort(request.sortDescriptors, *entity, error))
        return results;

    const bool inMemory = hasChangesOf(*entity);
    std::vector<StoreCoordinator::Row> rows;
    // With unsaved changes of this entity the store cannot order or cut the answer alone: it
    // gives every matching row, and the context merges, sorts and limits.
    if (!coordinator->fetchRows(*entity, predicate,
                                inMemory ? std::vector<SortDescriptor>{} : request.sortDescriptors,
                                inMemory ? 0 : request.fetchLimit, &rows, error))
        return results;

    using State = ManagedObject::State;
    for (auto& row : rows) {
        auto& slot = registered_[{entity, row.id}];
        auto object = slot.lock();
        if (!object) {
            object.reset(new ManagedObject(coordinator->model_, *entity, weak_from_this()));
            object->state_ = State::Clean;
            object->rowId_ = row.id;
            slot = object;
        }
        if (object->state_ == State::Clean) object->values_ = std::move(row.values);
        if (object->state_ == State::Clean) results.push_back(std::move(object));
    }
    if (!inMemory) return results;

    for (const auto* list : {&updated_, &inserted_})
        for (const auto& o : *list)
            if (o->entity_ == entity &&
                (!predicate || detail::matches(*predicate, *entity, o->values_)))
                results.push_back(o);
    auto position = [](const ManagedObject& o) {
        return o.rowId_
                   ? std::pair<int64_t, uint64_t>(o.rowId_, 0)
                   : std::pair<int64_t, uint64_t>(std::numeric_limits<int64_t>::max(), o.order_);
    };
    std::vector<size_t> keys;
    for (const auto& d : request.sortDescriptors)
        keys.push_back(static_cast<size_t>(entity->attribute(d.key) - entity->attributes.data()));
    std::stable_sort(results.begin(), results.end(), [&](const auto& a, const auto& b) {
        for (size_t k = 0; k < keys.size(); ++k) {
            const Value& x = a->values_[keys[k]];
            const Value& y = b->values_[keys[k]];
            int c;
            if (x.isNull() || y.isNull())
                c = x.isNull() == y.isNull() ? 0 : (x.isNull() ? -1 : 1);
            else
                c = detail::compareValues(x, y).value_or(0);
            if (!request.sortDescriptors[k].ascending) c = -c;
            if (c) return c < 0;
        }
        return position(*a) < position(*b);
    });
    if (request.fetchLimit && results.size() > request.fetchLimit)
        results.resize(request.fetchLimit);
    return results;
}

bool ObjectContext::save(Error* error) {
    checkQueue("save");
    if (inserted_.empty() && updated_.empty() && deleted_.empty()) return true;
    auto coordinator = this->coordinator();
    if (!coordinator) {
        setError(error, dataError(kDataErrorNoStore, "the context has no coordinator"));
        return false;
    }
    for (const auto* list : {&inserted_, &updated_})
        for (const auto& o : *list)
            for (size_t i = 0; i < o->entity_->attributes.size(); ++i) {
                const Attribute& a = o->entity_->attributes[i];
                if (!a.optional && o->values_[i].isNull()) {
                    setError(error, dataError(kDataErrorValidation,
                                              o->entity_->name + "." + a.name + " needs a value"));
                    return false;
                }
            }

    std::vector<StoreCoordinator::Insert> inserts;
    std::vector<StoreCoordinator::Update> updates;
    std::vector<StoreCoordinator::Delete> deletes;
    for (const auto& o : inserted_)
        inserts.push_back({o->entity_, &o->values_});
    for (const auto& o : updated_)
        updates.push_back({o->entity_, o->rowId_, &o->values_, &o->changed_});
    for (const auto& o : deleted_)
        deletes.push_back({o->entity_, o->rowId_});
    std::vector<int64_t> ids;
    if (!coordinator->commit(inserts, updates, deletes, &ids, error)) return false;

    using State = ManagedObject::State;
    for (size_t i = 0; i < inserted_.size(); ++i) {
        auto& o = inserted_[i];
        o->rowId_ = ids[i];
        o->state_ = State::Clean;
        registered_[{o->entity_, o->rowId_}] = o;
    }
    for (auto& o : updated_) {
        o->state_ = State::Clean;
        std::fill(o->changed_.begin(), o->changed_.end(), false);
    }
    for (auto& o : deleted_) {
        o->state_ = State::Gone;
        registered_.erase({o->entity_, o->rowId_});
    }
    inserted_.clear();
    updated_.clear();
    deleted_.clear();
    if (registered_.size() >= sweepAt_) {
        std::erase_if(registered_, [](const auto& entry) { return entry.second.expired(); });
        sweepAt_ = std::max<size_t>(256, registered_.size() * 2);
    }
    return true;
}

}  // namespace platform::data
