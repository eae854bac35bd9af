#include "ads/foundation/HRNWeakReference.h"

#include <cstdio>

std::optional<HRNWeakReference> HRNWeakReference::initWithObject(
    const std::shared_ptr<void>& object) {
    if (!object) return std::nullopt;
    return HRNWeakReference(object);
}

bool HRNWeakReference::isEqual(const HRNWeakReference& other) const {
    // Same address and same owner: the control block outlives the object while any weak
    // reference holds it, so no later object can share it.
    return uniqueID_ == other.uniqueID_ && !weakObject_.owner_before(other.weakObject_) &&
           !other.weakObject_.owner_before(weakObject_);
}

bool HRNWeakReference::setContainsObject(const Set& set, const std::shared_ptr<void>& object) {
    auto probe = initWithObject(object);
    return probe && set.count(*probe) > 0;
}

std::string HRNWeakReference::description() const {
    char buffer[160];
    auto object = weakObject_.lock();
    char objectText[32];
    if (object)
        std::snprintf(objectText, sizeof objectText, "%p", object.get());
    else
        std::snprintf(objectText, sizeof objectText, "(null)");
    std::snprintf(buffer, sizeof buffer, "<HRNWeakReference: %p weakObject:%s uniqueID:%p>",
                  static_cast<const void*>(this), objectText, uniqueID_);
    return buffer;
}
