#include "ads/foundation/HRNCSIHMSGHandler.h"

#include <cctype>
#include <cstdlib>

#include "ads/foundation/HRNCSI.h"

namespace {

constexpr const char* kAction = "make_wv";

std::optional<std::string> parameter(const HRNHMSGHandler::Parameters& parameters,
                                     const char* name) {
    auto it = parameters.find(name);
    if (it == parameters.end()) return std::nullopt;
    return it->second;
}

// Read as a signed 64-bit integer: blanks, a sign, digits; anything else is 0.
int64_t integerValue(const std::optional<std::string>& text) {
    if (!text) return 0;
    const char* start = text->c_str();
    while (std::isspace(static_cast<unsigned char>(*start)))
        ++start;
    char* end = nullptr;
    const long long value = std::strtoll(start, &end, 10);
    return end == start ? 0 : static_cast<int64_t>(value);
}

}  // namespace

const HRNHMSGHandler::ActionBlockDictionary& HRNCSIHMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary actions = {
        {"instrument",
         [](HRNHMSGHandler& handler, const std::shared_ptr<HRNAdView>& adView,
            const Parameters& parameters) {
             static_cast<HRNCSIHMSGHandler&>(handler).adViewDidReceiveCSINotification(adView,
                                                                                      parameters);
         }},
    };
    return actions;
}

const std::map<std::string, HRNCSIHMSGHandler::SubActionBlock>&
HRNCSIHMSGHandler::subActionBlockDictionary() {
    static const std::map<std::string, SubActionBlock> actions = {
        {"tick", [](HRNCSIHMSGHandler& h, const auto& view,
                    const auto& p) { h.adViewDidReceiveTickAction(view, p); }},
        {"experiment", [](HRNCSIHMSGHandler& h, const auto& view,
                          const auto& p) { h.adViewDidReceiveExperimentAction(view, p); }},
        {"extra", [](HRNCSIHMSGHandler& h, const auto& view,
                     const auto& p) { h.adViewDidReceiveExtraAction(view, p); }},
    };
    return actions;
}

void HRNCSIHMSGHandler::adViewDidReceiveCSINotification(const std::shared_ptr<HRNAdView>& adView,
                                                        const Parameters& parameters) {
    auto action = parameter(parameters, "action");
    if (!action) return;
    const auto& actions = subActionBlockDictionary();
    auto it = actions.find(*action);
    if (it != actions.end()) it->second(*this, adView, parameters);
}

void HRNCSIHMSGHandler::adViewDidReceiveTickAction(const std::shared_ptr<HRNAdView>&,
                                                   const Parameters& parameters) {
    auto csi = HRNCSI::sharedInstance();
    auto recorder = csi->timeRecorderForAction(std::string(kAction));
    auto label = parameter(parameters, "label");
    const int64_t timestamp = integerValue(parameter(parameters, "timestamp"));
    if (!label || timestamp == 0) return;
    csi->setTimestampForLabel(timestamp, label);
    const std::string startLabel =
        parameter(parameters, "start_label").value_or("native:view_load");
    const int64_t start = csi->timestampForLabel(startLabel);
    if (start == 0 || timestamp < start || !recorder) return;
    auto variable = HRNCSIVariableTiming::create(label, static_cast<double>(start));
    variable->setLength(static_cast<double>(timestamp - start));
    recorder->addCompletedVariable(variable);
}

void HRNCSIHMSGHandler::adViewDidReceiveExperimentAction(const std::shared_ptr<HRNAdView>&,
                                                         const Parameters& parameters) {
    auto recorder = HRNCSI::sharedInstance()->timeRecorderForAction(std::string(kAction));
    if (auto value = parameter(parameters, "value"); value && recorder)
        recorder->addExperimentID(value);
}

void HRNCSIHMSGHandler::adViewDidReceiveExtraAction(const std::shared_ptr<HRNAdView>&,
                                                    const Parameters& parameters) {
    auto recorder = HRNCSI::sharedInstance()->timeRecorderForAction(std::string(kAction));
    auto name = parameter(parameters, "name");
    auto value = parameter(parameters, "value");
    if (name && value && recorder) recorder->setCustomizedParameterValueForKey(*value, name);
}
