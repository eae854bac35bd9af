#pragma once
// Labels of the ad SDK's dispatch queues: the SDK's prefix, a dot and the component's name
// ("com.heron.ads.logging"), so a queue seen in a stack or a log names its owner.

#include <string>
#include <string_view>

inline constexpr std::string_view kHRNQueueLabelPrefix = "com.heron.ads";

inline std::string HRNQueueLabel(std::string_view component) {
    std::string label(kHRNQueueLabelPrefix);
    label += '.';
    label += component;
    return label;
}
