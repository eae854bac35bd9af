#include "ads/foundation/HRNCrashReporter.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <errno.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNCallStack.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNPinger.h"
#include "ads/foundation/HRNURLAdditions.h"
#include "ads/pipeline/HRNRequest.h"
#include "platform/foundation/Regex.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Bundle.h"

namespace {

constexpr const char* kRetryGroupKey = "/heron/ads/crash_reporting";
constexpr const char* kReportPath = "/adpage/gen_204";
constexpr const char* kDefaultReportBase = "http://127.0.0.1:51720";
constexpr size_t kMaximumStackTextLength = 600;

void HRNCrashReporterTerminateHandler() {
    std::shared_ptr<HRNCrashReporter> reporter = HRNCrashReporter::sharedInstance();
    std::optional<HRNUncaughtException> exception = HRNCrashReporter::currentUncaughtException();
    if (!exception) {
        // Terminate without an exception (a direct call): nothing to report.
        if (std::terminate_handler previous = reporter->previousUncaughtExceptionHandler())
            previous();
        std::abort();
    }
    reporter->handleUncaughtException(*exception);
}

std::string demangled(const char* name) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> text(
        abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
    return status == 0 && text ? std::string(text.get()) : std::string(name);
}

// The images of the C++ runtime's throw and terminate frames (a sanitizer's runtime may stand in
// for the throw).
const std::vector<std::string>& runtimeImagePaths() {
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> found;
        const void* addresses[] = {reinterpret_cast<const void*>(&std::terminate),
                                   dlsym(RTLD_DEFAULT, "__cxa_throw"),
                                   dlsym(RTLD_DEFAULT, "__cxa_rethrow")};
        for (const void* address : addresses) {
            std::optional<HRNAddressInfo> info = HRNAddressInfoForAddress(address);
            if (info && std::find(found.begin(), found.end(), info->imagePath) == found.end())
                found.push_back(info->imagePath);
        }
        return found;
    }();
    return paths;
}

// The file name of the image that holds this code, else the process name.
std::string applicationImageName() {
    if (std::optional<HRNAddressInfo> info = HRNAddressInfoForAddress(
            reinterpret_cast<const void*>(&HRNCrashReporterTerminateHandler)))
        return HRNLastPathComponent(info->imagePath);
    return program_invocation_short_name;
}

std::optional<platform::Data> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return platform::Data::fromString(bytes);
}

}  // namespace

std::shared_ptr<HRNCrashReporter> HRNCrashReporter::sharedInstance() {
    static const auto* shared = new std::shared_ptr<HRNCrashReporter>(new HRNCrashReporter);
    return *shared;
}

HRNCrashReporter::HRNCrashReporter() {
    previousHandler_ = std::get_terminate();
    std::set_terminate(&HRNCrashReporterTerminateHandler);
}

std::optional<HRNUncaughtException> HRNCrashReporter::currentUncaughtException() {
    std::exception_ptr current = std::current_exception();
    if (!current) return std::nullopt;
    HRNUncaughtException exception;
    if (const std::type_info* type = abi::__cxa_current_exception_type())
        exception.name = demangled(type->name());
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& e) {
        exception.reason = e.what();
    } catch (...) {
    }

    // The terminate handler runs on the stack of the throw: below the handler's own frames
    // (this image) lie the runtime's throw and terminate frames, and below them the thrower.
    // The runtime's inner pieces have no exported names, so the frames are told by image.
    std::vector<void*> frames = HRNCallStackReturnAddresses(128);
    const std::optional<HRNAddressInfo> self =
        HRNAddressInfoForAddress(reinterpret_cast<const void*>(&HRNCrashReporterTerminateHandler));
    const std::vector<std::string>& runtime = runtimeImagePaths();
    auto imageOf = [](void* address) {
        std::optional<HRNAddressInfo> info = HRNAddressInfoForAddress(address);
        return info ? info->imagePath : std::string();
    };
    size_t first = 0;
    while (self && first < frames.size() && imageOf(frames[first]) == self->imagePath)
        ++first;
    while (first < frames.size() &&
           std::find(runtime.begin(), runtime.end(), imageOf(frames[first])) != runtime.end())
        ++first;
    if (first == frames.size()) first = 0;
    exception.callStackReturnAddresses.assign(frames.begin() + static_cast<ptrdiff_t>(first),
                                              frames.end());
    return exception;
}

bool HRNCrashReporter::mentionsSDK(const std::string& text) {
    return text.find("HRN") != std::string::npos || text.find("PUB") != std::string::npos;
}

int64_t HRNCrashReporter::developmentBuildFlag(const std::optional<platform::Data>& profile) {
    if (!profile || profile->empty()) return 0;
    const std::string bytes = profile->toString();
    const std::string key = "get-task-allow";
    size_t at = bytes.find(key);
    if (at == std::string::npos) return 0;
    at += key.size();
    size_t marks[3];
    for (size_t& mark : marks) {
        mark = bytes.find('<', at);
        if (mark == std::string::npos) return 0;
        at = mark + 1;
    }
    const std::string value = bytes.substr(marks[1], marks[2] - marks[1]);
    return value.find("true") != std::string::npos ? 1 : 0;
}

platform::net::URL HRNCrashReporter::reportEndpoint() {
    const char* configured = std::getenv("QEN_AD_REPORT_URL");
    std::string base = configured && *configured ? configured : kDefaultReportBase;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    if (std::optional<platform::net::URL> url = platform::net::URL::parse(base + kReportPath))
        return *url;
    return *platform::net::URL::parse(std::string(kDefaultReportBase) + kReportPath);
}

std::optional<platform::net::URL> HRNCrashReporter::reportURLForException(
    const HRNUncaughtException& exception) const {
    bool wanted = false;

    std::string reason = "redacted";
    if (exception.reason && mentionsSDK(*exception.reason)) {
        wanted = true;
        static const std::optional<platform::Regex> address =
            platform::Regex::compile("0[xX][a-fA-F0-9]+");
        reason = address ? address->replaceAll(*exception.reason, "#") : *exception.reason;
    }

    const std::string appImage = applicationImageName();
    std::vector<std::string> frames;
    std::optional<std::string> firstSDKSymbol;
    for (void* address : exception.callStackReturnAddresses) {
        std::optional<HRNAddressInfo> info = HRNAddressInfoForAddress(address);
        if (!info) {
            frames.push_back("missing,unavailable");
            continue;
        }
        std::string image = HRNLastPathComponent(info->imagePath);
        if (image == appImage) image = "app";
        const std::string symbol = info->symbolName.value_or("");
        if (!firstSDKSymbol && mentionsSDK(symbol)) {
            firstSDKSymbol = symbol;
            wanted = true;
        }
        frames.push_back(image + "," + symbol);
    }
    if (!wanted) return std::nullopt;

    std::optional<std::string> stackText;
    for (const std::string& frame : frames) {
        const size_t length = stackText ? stackText->size() + 1 + frame.size() : frame.size();
        if (length >= kMaximumStackTextLength) break;
        stackText = stackText ? *stackText + "\n" + frame : frame;
    }

    std::shared_ptr<HRNApplication> application = HRNApplication::sharedInstance();
    std::shared_ptr<HRNDevice> device = HRNDevice::sharedInstance();
    platform::Dictionary parameters{
        {"os", platform::Value(device->systemVersion())},
        {"appid", platform::Value(application->mainBundleIdentifier())},
        {"api", platform::Value(application->version())},
        {"js", platform::Value(HRNRequest::sdkVersion())},
        {"device", platform::Value(device->deviceModel().value_or("error"))},
        {"dev-build", platform::Value(developmentBuildFlag(
                          readFile(platform::ui::bundleDirectory() / "embedded.mobileprovision")))},
        {"excn", platform::Value(exception.name.value_or("unknown"))},
        {"excr", platform::Value(reason)},
        {"exclc", platform::Value(firstSDKSymbol.value_or("."))},
        {"excst", platform::Value(stackText.value_or("error"))},
        {"id", platform::Value("gmob-apps-report-exception")},
    };
    std::optional<platform::net::URL> url =
        hrn_URLByAppendingQueryParameters(reportEndpoint(), parameters);
    if (!url) return std::nullopt;
    if (std::optional<std::string> experiments =
            platform::UserDefaults::standard().string("/heron/ads/experiment_id_string"))
        url = hrn_URLByAppendingQueryParameters(*url, {{"eids", platform::Value(*experiments)}});
    return url;
}

void HRNCrashReporter::reportUncaughtException(const HRNUncaughtException& exception) {
    std::optional<platform::net::URL> url = reportURLForException(exception);
    if (!url) return;
    const std::string text = url->absoluteString();
    std::shared_ptr<HRNPinger> pinger = HRNPinger::sharedInstance();
    // In the user defaults before anything else: the process is about to end.
    pinger->storeRetryURLStringRetryGroupKey(text, kRetryGroupKey);
    pinger->pingWithRetryGroupKeyURLRetryURLString(kRetryGroupKey, url, text);
}

void HRNCrashReporter::handleUncaughtException(const HRNUncaughtException& exception) {
    if (reportingEnabled_) {
        try {
            reportUncaughtException(exception);
        } catch (...) {
            // A failing report never keeps the previous handler from running.
        }
    }
    if (previousHandler_) previousHandler_();
    std::abort();
}
