#pragma once
// A weak reference that can be kept in sets: the SDK remembers objects it has seen (views,
// delegates) without keeping them alive. Two references are equal when they were made from the
// same object, also after the object is gone. Identity is the object's ownership (its control
// block), not just its address: a new object that happens to reuse a dead object's address is
// a different object and never matches the old entry.
//
// Not locked: its owner confines it to one queue.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

class HRNWeakReference {
  public:
    // std::nullopt for a null object.
    static std::optional<HRNWeakReference> initWithObject(const std::shared_ptr<void>& object);

    // The object while it lives, else nullptr. T must be the object's type.
    template <class T = void>
    std::shared_ptr<T> weakObject() const {
        return std::static_pointer_cast<T>(weakObject_.lock());
    }
    // The object's address when the reference was made.
    const void* uniqueID() const { return uniqueID_; }

    size_t hash() const { return std::hash<const void*>()(uniqueID_); }
    bool isEqual(const HRNWeakReference& other) const;
    friend bool operator==(const HRNWeakReference& a, const HRNWeakReference& b) {
        return a.isEqual(b);
    }

    struct Hash {
        size_t operator()(const HRNWeakReference& r) const { return r.hash(); }
    };
    using Set = std::unordered_set<HRNWeakReference, Hash>;

    // Whether the set holds a reference equal to a new reference to the object.
    static bool setContainsObject(const Set& set, const std::shared_ptr<void>& object);

    // "<HRNWeakReference: 0x… weakObject:0x… uniqueID:0x…>", "(null)" once the object is gone.
    std::string description() const;

  private:
    explicit HRNWeakReference(const std::shared_ptr<void>& object)
        : weakObject_(object), uniqueID_(object.get()) {}

    std::weak_ptr<void> weakObject_;
    const void* uniqueID_;
};
