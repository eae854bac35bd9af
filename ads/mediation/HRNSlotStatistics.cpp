#include "ads/mediation/HRNSlotStatistics.h"

namespace {

constexpr const char* kAdapterTiming = "adapter";
constexpr const char* kDurationKey = "adapter_duration";
constexpr const char* kExitKey = "adapter_exit";
constexpr const char* kFillStatusKey = "adapter_fill_status";

// The lists hold texts only (this class writes them).
std::string textOf(const platform::Value* value) {
    return value ? value->asString() : std::string();
}

}  // namespace

HRNSlotStatistics::HRNSlotStatistics() {
    setStatisticsCore(HRNStatisticsCore::create());
    setTimingManager(std::make_shared<HRNTimingManager>());
}

void HRNSlotStatistics::setIdentifier(std::optional<std::string> identifier) {
    if (identifier == identifier_) return;
    identifier_ = std::move(identifier);
    statisticsCore()->setIdentifier(identifier_.value_or(""));
    timingManager()->setIdentifier(identifier_.value_or(""));
}

platform::Dictionary HRNSlotStatistics::statistics() const {
    return statisticsCore()->statistics();
}

void HRNSlotStatistics::startTimingAdapter() {
    startTimingNamedWithExplicitEnd(kAdapterTiming, true);
}

void HRNSlotStatistics::endTimingAdapterWithExitCode(int64_t exitCode) {
    endTimingNamed(kAdapterTiming);
    auto timing = timingNamed(kAdapterTiming);
    // Without a timing there is no duration; the exit code alone would set the two lists
    // apart, so neither is recorded.
    if (!timing) return;
    statisticsCore()->appendStringToArrayForKey(timing->elapsedMillisecondsString(), kDurationKey);
    statisticsCore()->appendStringToArrayForKey(std::to_string(exitCode), kExitKey);
}

void HRNSlotStatistics::endTimingAdapterWithFillStatusAllocationID(
    int64_t fillStatus,
    const std::optional<std::string>& allocationID) {
    endTimingNamed(kAdapterTiming);
    auto timing = timingNamed(kAdapterTiming);
    if (!timing || !allocationID) return;
    statisticsCore()->appendDictionaryToArrayForKey(
        platform::Dictionary{{"fill_status_allocation_id", *allocationID},
                             {"fill_status_exit", std::to_string(fillStatus)},
                             {"fill_status_duration", timing->elapsedMillisecondsString()}},
        kFillStatusKey);
}

void HRNSlotStatistics::resetTimingAdapters() {
    statisticsCore()->removeObjectForKey(kExitKey);
    statisticsCore()->removeObjectForKey(kDurationKey);
}

void HRNSlotStatistics::resetFillStatus() {
    statisticsCore()->removeObjectForKey(kFillStatusKey);
}

std::string HRNSlotStatistics::joinedList(const std::string& key) const {
    std::string joined;
    if (auto list = statisticsCore()->arrayForKey(key)) {
        for (const platform::Value& element : *list) {
            if (!joined.empty()) joined += ",";
            joined += textOf(&element);
        }
    }
    return joined;
}

std::string HRNSlotStatistics::adapterExitCodesParameter() const {
    return joinedList(kExitKey);
}

std::string HRNSlotStatistics::adapterDurationsParameter() const {
    return joinedList(kDurationKey);
}

std::optional<std::string> HRNSlotStatistics::adapterFillStatusParameter() const {
    auto list = statisticsCore()->arrayForKey(kFillStatusKey);
    if (!list || list->empty()) return std::nullopt;
    std::string joined;
    for (const platform::Value& element : *list) {
        const platform::Dictionary* entry = element.dictionary();
        if (!entry) continue;
        auto field = [entry](const char* key) {
            auto found = entry->find(key);
            return textOf(found == entry->end() ? nullptr : &found->second);
        };
        if (!joined.empty()) joined += "_";
        joined += field("fill_status_allocation_id") + "." + field("fill_status_exit") + "." +
                  field("fill_status_duration");
    }
    return joined;
}
