#include "puffin/core/PFSmallStores.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/Bundle.h"
#include "puffin/core/PFLog.h"

namespace fs = std::filesystem;
using platform::Value;

namespace {

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string stringAt(const platform::Dictionary& d, const char* key) {
    auto it = d.find(key);
    return it != d.end() && it->second.isString() ? *it->second.string() : std::string();
}

std::string lastPathComponent(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

// A value as its usual description: the compact form with data and dates as text.
Value describable(const Value& value) {
    switch (value.type()) {
        case Value::Type::Data:
            return Value("<" + std::to_string(value.data()->size()) + " bytes>");
        case Value::Type::Date:
            return Value(std::to_string(value.asDate()->secondsSince1970));
        case Value::Type::Real:
            return std::isfinite(value.asReal()) ? value : Value(std::to_string(value.asReal()));
        case Value::Type::Array: {
            platform::Array items;
            for (const Value& item : *value.array())
                items.push_back(describable(item));
            return items;
        }
        case Value::Type::Dictionary: {
            platform::Dictionary entries;
            for (const auto& [key, item] : *value.dictionary())
                entries[key] = describable(item);
            return entries;
        }
        default:
            return value;
    }
}

}  // namespace

// ---- PFAdUnitFileData

PFAdUnitFileData PFAdUnitFileData::initWithResponse(const platform::Dictionary& response) {
    return initWithCategoryResponse(response, stringAt(response, "type"));
}

PFAdUnitFileData PFAdUnitFileData::initWithCategoryResponse(const platform::Dictionary& response,
                                                            const std::string& category) {
    PFAdUnitFileData file;
    file.ID = lastPathComponent(stringAt(response, "name"));
    file.type = category;
    file.folder = category;
    if (auto it = response.find("value"); it != response.end() && it->second.isString())
        file.URLString = *it->second.string();
    file.lastModified = wallSeconds();
    return file;
}

PFAdUnitFileData PFAdUnitFileData::initWithExistingFile(const std::string& fileName,
                                                        const std::string& type) {
    PFAdUnitFileData file;
    file.ID = fileName;
    file.type = type;
    file.folder = type;
    file.lastModified = wallSeconds();
    file.state = 1;
    file.setAgeToLastModified();
    file.setSize();
    return file;
}

fs::path PFAdUnitFileData::path() const {
    return platform::AppHome::caches() / "PFPrefetchCacheFolder" / folder / ID;
}

void PFAdUnitFileData::setSize() {
    if (bytes != 0) return;
    std::error_code ec;
    const auto size = fs::file_size(path(), ec);
    if (!ec) bytes = size;
}

void PFAdUnitFileData::setAgeToLastModified() {
    std::error_code ec;
    const auto time = fs::last_write_time(path(), ec);
    if (ec) return;
    const auto system = std::chrono::file_clock::to_sys(time);
    lastModified = std::chrono::duration<double>(system.time_since_epoch()).count();
}

void PFAdUnitFileData::setAgeToNow() {
    lastModified = wallSeconds();
    std::error_code ec;
    fs::last_write_time(path(), fs::file_time_type::clock::now(), ec);
}

bool PFAdUnitFileData::exists() const {
    std::error_code ec;
    return fs::exists(path(), ec);
}

void PFAdUnitFileData::downloadSuccess() {
    state = 1;
    failures = 0;
}

void PFAdUnitFileData::downloadFail() {
    state = 0;
    ++failures;
}

bool PFAdUnitFileData::failed() const {
    return failures > 1;
}

// ---- PFCommonCache

void PFCommonCache::fetchContentForWithFetcher(const std::string& name,
                                               const Fetcher& fetcher,
                                               const Fetched& fetchedCallback) {
    fetcher([this, name, fetchedCallback](bool success, const std::optional<Value>& result) {
        if (success && result) {
            createNewCacheWith(name, *result);
            if (fetchedCallback) fetchedCallback(true, result);
            return;
        }
        auto cached = loadMostRecentCacheForName(name);
        if (!cached) PFLogWarn("No Default File! You need a default file in your main bundle.");
        if (fetchedCallback) fetchedCallback(cached.has_value(), cached);
    });
}

void PFCommonCache::createNewCacheWith(const std::string& name, const Value& dictionary) {
    platform::files::createDirectories(commonCachePathWithFileName(std::nullopt));
    if (auto text = platform::json::serialize(dictionary))
        platform::files::writeAtomically(commonCachePathWithFileName(name),
                                         std::string_view(*text));
}

std::optional<Value> PFCommonCache::loadMostRecentCacheForName(const std::string& name) {
    const fs::path cached = commonCachePathWithFileName(name);
    if (platform::files::exists(cached)) return loadCacheFromJsonFilePath(cached);
    if (defaultCache) {
        const fs::path fallback = platform::ui::bundleDirectory() / *defaultCache;
        if (platform::files::exists(fallback)) {
            auto whole = loadCacheFromJsonFilePath(fallback);
            if (whole && whole->isDictionary())
                if (const Value* entry = whole->find(name)) return *entry;
        }
    }
    return std::nullopt;
}

std::optional<Value> PFCommonCache::loadCacheFromJsonFilePath(const fs::path& path) {
    auto text = platform::files::readText(path);
    if (!text) return std::nullopt;
    return platform::json::parse(*text);
}

fs::path PFCommonCache::commonCachePathWithFileName(const std::optional<std::string>& name) {
    fs::path folder = platform::AppHome::caches() / "PFCommonCacheFolder";
    return name ? folder / *name : folder;
}

// ---- PFColor

std::optional<platform::render::Color> PFColor::colorWithHexString(const std::string& text) {
    std::string clean;
    for (char c : text)
        if (c != '#') clean += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    double alpha = 1, red, green, blue;
    switch (clean.size()) {
        case 3:
            red = colorComponentFrom(clean, 0, 1);
            green = colorComponentFrom(clean, 1, 1);
            blue = colorComponentFrom(clean, 2, 1);
            break;
        case 4:
            alpha = colorComponentFrom(clean, 0, 1);
            red = colorComponentFrom(clean, 1, 1);
            green = colorComponentFrom(clean, 2, 1);
            blue = colorComponentFrom(clean, 3, 1);
            break;
        case 6:
            red = colorComponentFrom(clean, 0, 2);
            green = colorComponentFrom(clean, 2, 2);
            blue = colorComponentFrom(clean, 4, 2);
            break;
        case 8:
            alpha = colorComponentFrom(clean, 0, 2);
            red = colorComponentFrom(clean, 2, 2);
            green = colorComponentFrom(clean, 4, 2);
            blue = colorComponentFrom(clean, 6, 2);
            break;
        default:
            PFLogError(
                "Invalid color value: Color value %s is invalid.  It should be a hex value of the "
                "form #RBG, "
                "#ARGB, #RRGGBB, or #AARRGGBB",
                text.c_str());
            return std::nullopt;
    }
    return platform::render::Color{red, green, blue, alpha};
}

double PFColor::colorComponentFrom(const std::string& text, size_t start, size_t length) {
    std::string part = text.substr(start, length);
    if (part.size() != 2) part += part;
    // Digits up to the first that is no hex digit count, as a scanner reads them.
    const long value = std::strtol(part.c_str(), nullptr, 16);
    return static_cast<double>(value) / 255.0;
}

// ---- PFAlertViewWrapper

std::shared_ptr<PFAlertViewWrapper> PFAlertViewWrapper::initWithTitle(
    const std::string& title,
    const std::string& message,
    const std::string& cancelButtonTitle,
    const std::string& confirmButtonTitle) {
    std::shared_ptr<PFAlertViewWrapper> wrapper(new PFAlertViewWrapper());
    wrapper->alertView = std::make_shared<platform::ui::AlertView>(
        title, message, wrapper, cancelButtonTitle, std::vector<std::string>{confirmButtonTitle});
    return wrapper;
}

void PFAlertViewWrapper::showWithCallback(std::function<void(bool)> newCallback) {
    if (displayed) {
        PFLogError("Error:Should not show two alerts at once.");
        return;
    }
    callback = std::move(newCallback);
    keptWhileShown_ = shared_from_this();
    alertView->show();
    displayed = true;
}

void PFAlertViewWrapper::alertViewClickedButtonAtIndex(platform::ui::AlertView& view,
                                                       int64_t buttonIndex) {
    if (!displayed) return;
    auto self = std::move(keptWhileShown_);
    if (&view == alertView.get() && callback) callback(buttonIndex != 0);
    displayed = false;
}

void PFAlertViewWrapper::alertViewDidDismissWithButtonIndex(platform::ui::AlertView& view,
                                                            int64_t) {
    if (&view != alertView.get()) return;
    displayed = false;
    keptWhileShown_.reset();
}

// ---- descriptions

std::string PFJSONCollectionDescription(const Value& collection) {
    if (auto pretty = platform::json::serialize(collection, true)) return *pretty;
    return platform::json::serialize(describable(collection)).value_or("");
}
