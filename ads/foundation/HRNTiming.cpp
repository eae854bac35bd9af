#include "ads/foundation/HRNTiming.h"

#include <cstdio>

#include "ads/foundation/HRNAbsoluteTime.h"
#include "ads/foundation/HRNQueueLabel.h"
#include "ads/foundation/HRNStringAdditions.h"

namespace {

std::string nameOf(const void* object) {
    char text[64];
    std::snprintf(text, sizeof text, "HRNTiming (%p)", object);
    return text;
}

uint64_t unsignedValue(const platform::Dictionary& dictionary, const char* key) {
    auto found = dictionary.find(key);
    if (found == dictionary.end()) return 0;
    if (found->second.isReal()) return static_cast<uint64_t>(found->second.asReal());
    return static_cast<uint64_t>(found->second.asInteger());
}

}  // namespace

HRNTiming::HRNTiming() : lockQueue_(platform::Queue::serial(HRNQueueLabel("timing"))) {}

std::shared_ptr<HRNTiming> HRNTiming::create(std::optional<std::string> category) {
    std::shared_ptr<HRNTiming> timing(new HRNTiming());
    timing->category_ = category ? std::move(*category) : nameOf(timing.get());
    return timing;
}

std::shared_ptr<HRNTiming> HRNTiming::createWithDictionaryRepresentation(
    const platform::Dictionary& dictionary) {
    std::shared_ptr<HRNTiming> timing(new HRNTiming());
    auto category = dictionary.find("category");
    if (category != dictionary.end() && category->second.string())
        timing->category_ = *category->second.string();
    timing->startTimestamp_ = unsignedValue(dictionary, "start");
    timing->endTimestamp_ = unsignedValue(dictionary, "end");
    return timing;
}

platform::Dictionary HRNTiming::dictionaryRepresentation() {
    waitForWrites();
    return {{"category", category()},
            {"start", static_cast<int64_t>(startTimestamp_.load())},
            {"end", static_cast<int64_t>(endTimestamp_.load())}};
}

std::shared_ptr<HRNTiming> HRNTiming::copy() {
    return createWithDictionaryRepresentation(dictionaryRepresentation());
}

std::string HRNTiming::description() {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "HRNTiming (%p): ", static_cast<const void*>(this));
    return prefix + hrn_description(dictionaryRepresentation());
}

void HRNTiming::start() {
    const uint64_t now = HRNMonotonicMilliseconds();
    lockQueue_->async([self = shared_from_this(), now] {
        self->startTimestamp_ = now;
        self->endTimestamp_ = 0;
    });
}

void HRNTiming::end() {
    const uint64_t now = HRNMonotonicMilliseconds();
    lockQueue_->async([self = shared_from_this(), now] {
        if (self->startTimestamp_ != 0) self->endTimestamp_ = now;
    });
}

void HRNTiming::reset() {
    lockQueue_->async([self = shared_from_this()] {
        self->startTimestamp_ = 0;
        self->endTimestamp_ = 0;
    });
}

void HRNTiming::waitForWrites() {
    lockQueue_->sync([] {});
}

uint64_t HRNTiming::startTimestamp() {
    waitForWrites();
    return startTimestamp_;
}

uint64_t HRNTiming::endTimestamp() {
    waitForWrites();
    return endTimestamp_;
}

uint64_t HRNTiming::elapsedMilliseconds() {
    waitForWrites();
    const uint64_t start = startTimestamp_;
    const uint64_t end = endTimestamp_;
    if (end >= start) return end - start;
    if (explicitEnd_) return 0;
    return HRNMonotonicMilliseconds() - start;
}

std::string HRNTiming::elapsedMillisecondsString() {
    return std::to_string(elapsedMilliseconds());
}

bool HRNTiming::isActive() {
    waitForWrites();
    return startTimestamp_ != 0 && endTimestamp_ == 0;
}

std::string HRNTiming::category() const {
    std::lock_guard lock(categoryMutex_);
    return category_;
}

void HRNTiming::setCategory(std::string category) {
    std::lock_guard lock(categoryMutex_);
    category_ = std::move(category);
}
