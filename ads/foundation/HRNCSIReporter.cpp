#include "ads/foundation/HRNCSIReporter.h"

#include <cmath>

#include "ads/foundation/HRNURLAdditions.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/net/URLLoader.h"

namespace {

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts) {
        if (!text.empty()) text += ',';
        text += part;
    }
    return text;
}

}  // namespace

uint64_t HRNCSIReporter::reportMilliseconds(double seconds) {
    const double ms = std::round(seconds * 1000.0);
    if (!(ms > 0)) return 0;
    if (ms >= 1.8e19) return UINT64_MAX;
    return static_cast<uint64_t>(ms);
}

std::optional<platform::net::URL> HRNCSIReporter::URLForTimeRecorder(
    const std::shared_ptr<HRNCSITimeRecorder>& recorder) {
    if (!recorder || !configuration_) return std::nullopt;
    const auto completed = recorder->completedVariables();
    if (completed.empty()) return std::nullopt;

    platform::Dictionary parameters;
    parameters["s"] = configuration_->serviceName();
    parameters["v"] = configuration_->version();
    parameters["action"] = recorder->action();
    for (const auto& [key, value] : recorder->customizedParameters())
        parameters[key] = value;
    const auto experiments = recorder->experimentIDs();
    if (!experiments.empty()) parameters["e"] = joined(experiments);

    std::vector<std::string> it;
    std::vector<std::string> irt;
    const bool reportIRT = recorder->reportIRT();
    const double recorderStart = recorder->startTime();
    for (const auto& [key, variable] : completed) {
        if (!variable->isValid()) continue;
        it.push_back(variable->name() + "." +
                     std::to_string(reportMilliseconds(variable->length())));
        if (reportIRT)
            irt.push_back(variable->name() + "." +
                          std::to_string(reportMilliseconds(variable->start() + variable->length() -
                                                            recorderStart)));
        recorder->removeCompletedVariableForKey(key);
    }
    parameters["it"] = joined(it);
    if (!irt.empty()) parameters["irt"] = joined(irt);

    auto server = platform::net::URL::parse(configuration_->server());
    if (!server) return std::nullopt;
    return hrn_URLByAppendingQueryParameters(*server, parameters);
}

void HRNCSIReporter::reportTimeRecorderCompletionBlock(
    const std::shared_ptr<HRNCSITimeRecorder>& recorder,
    Completion completion) {
    if (!configuration_ || !configuration_->reportingEnabled()) return;
    auto url = URLForTimeRecorder(recorder);
    if (!url) return;
    platform::net::URLRequest request(*url);
    request.setValueForHeader("User-Agent", configuration_->userAgent());
    platform::net::sendAsynchronousRequest(
        request, platform::OperationQueue::main(),
        [completion = std::move(completion)](
            const std::optional<platform::net::HTTPURLResponse>& response, const platform::Data&,
            const std::optional<platform::Error>& error) {
            if (completion) completion(response, error);
        });
}
