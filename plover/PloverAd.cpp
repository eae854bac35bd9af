#include "plover/PloverAd.h"

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/KeyedArchive.h"
#include "plover/PloverAdPart.h"
#include "plover/PloverFileManager.h"
#include "plover/PloverUtil.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

std::optional<std::string> stringOf(const Value* value) {
    if (value && value->isString()) return *value->string();
    return std::nullopt;
}

std::optional<std::string> stringIn(const Value& dictionary, std::string_view key) {
    return stringOf(dictionary.find(key));
}

void putString(Dictionary& archive, const char* key, const std::optional<std::string>& value) {
    if (value) archive[key] = *value;
}

// Dates outside what the archive carries (1933 to 2069) are kept as plain seconds.
Value dateValue(double secondsSince1970) {
    constexpr double k1933 = -1167609600.0;
    constexpr double k2069 = 3155760000.0;
    if (secondsSince1970 > k1933 && secondsSince1970 < k2069)
        return platform::Date{secondsSince1970};
    return secondsSince1970;
}

double secondsOf(const Value* value) {
    if (!value) return 0;
    if (auto date = value->asDate()) return date->secondsSince1970;
    return PloverUtil::doubleValue(value);
}

}  // namespace

// ----------------------------------------------------------------------------------------------
// PloverAd

PloverAd::PloverAd(const Value& dictionary) {
    campaign_ = stringIn(dictionary, "campaign");
    viewed_ = PloverUtil::boolValue(dictionary.find("viewed"));
    appId_ = stringIn(dictionary, "appId");
    if (const Value* events = dictionary.find("tpatEvents")) tpatEvents_ = *events;
    user_ = stringIn(dictionary, "user");
    expireDate_ = PloverUtil::doubleValue(dictionary.find("expiry") ? dictionary.find("expiry")
                                                                    : dictionary.find("expire_at"));
    preventPlayDelay_ = PloverUtil::intValue(dictionary.find("preventPlayDelay"));
}

PloverAd::~PloverAd() = default;

std::vector<std::shared_ptr<PloverAdPart>> PloverAd::parts() const {
    std::lock_guard lock(lock_);
    return parts_;
}

std::optional<std::string> PloverAd::campaign() const {
    std::lock_guard lock(lock_);
    return campaign_;
}

bool PloverAd::viewed() const {
    std::lock_guard lock(lock_);
    return viewed_;
}

void PloverAd::setViewed(bool viewed) {
    std::lock_guard lock(lock_);
    viewed_ = viewed;
}

std::optional<std::string> PloverAd::appId() const {
    std::lock_guard lock(lock_);
    return appId_;
}

void PloverAd::setAppId(std::optional<std::string> appId) {
    std::lock_guard lock(lock_);
    appId_ = std::move(appId);
}

Value PloverAd::tpatEvents() const {
    std::lock_guard lock(lock_);
    return tpatEvents_;
}

void PloverAd::setTpatEvents(Value events) {
    std::lock_guard lock(lock_);
    tpatEvents_ = std::move(events);
}

std::optional<std::string> PloverAd::user() const {
    std::lock_guard lock(lock_);
    return user_;
}

void PloverAd::setUser(std::optional<std::string> user) {
    std::lock_guard lock(lock_);
    user_ = std::move(user);
}

double PloverAd::expireDate() const {
    std::lock_guard lock(lock_);
    return expireDate_;
}

void PloverAd::setExpireDate(double secondsSince1970) {
    std::lock_guard lock(lock_);
    expireDate_ = secondsSince1970;
}

int32_t PloverAd::preventPlayDelay() const {
    std::lock_guard lock(lock_);
    return preventPlayDelay_;
}

void PloverAd::setPreventPlayDelay(int32_t seconds) {
    std::lock_guard lock(lock_);
    preventPlayDelay_ = seconds;
}

void PloverAd::encodeAdFields(Dictionary& archive) const {
    Array parts;
    for (const auto& part : parts_)
        parts.push_back(part->dictionary());
    archive["parts"] = std::move(parts);
    putString(archive, "campaign", campaign_);
    archive["viewed"] = viewed_;
    putString(archive, "appId", appId_);
    if (!tpatEvents_.isNull()) archive["tpatEvents"] = tpatEvents_;
    putString(archive, "user", user_);
    archive["expireDate"] = dateValue(expireDate_);
    archive["preventPlayDelay"] = static_cast<int64_t>(preventPlayDelay_);
}

void PloverAd::decodeAdFields(const Dictionary& archive) {
    const Value fields(archive);
    parts_.clear();
    if (const Value* parts = fields.find("parts"); parts && parts->isArray())
        for (const Value& part : *parts->array())
            if (part.isDictionary()) parts_.push_back(std::make_shared<PloverAdPart>(part));
    campaign_ = stringIn(fields, "campaign");
    viewed_ = PloverUtil::boolValue(fields.find("viewed"));
    appId_ = stringIn(fields, "appId");
    if (const Value* events = fields.find("tpatEvents")) tpatEvents_ = *events;
    user_ = stringIn(fields, "user");
    expireDate_ = secondsOf(fields.find("expireDate"));
    preventPlayDelay_ = PloverUtil::intValue(fields.find("preventPlayDelay"));
}

// ----------------------------------------------------------------------------------------------
// PloverAdLegacy

PloverAdLegacy::PloverAdLegacy(const Value& dictionary, Handler handler) : PloverAd(dictionary) {
    partsOk_ = 0;
    type_ = 0;
    viewed_ = false;
    handler_ = std::move(handler);
    if (const Value* base = dictionary.find("basePath"); base && base->isString())
        basePath_ = *base->string();
    path_ = campaign_;
    if (path_ && !basePath_.empty() && PloverFileManager::isSafePathComponent(*path_))
        PloverFileManager::createDirectoryAtPath(basePath_ / *path_, nullptr);
    updateWithDictionary(dictionary);
    isPersistent_ = false;
    isFetching_ = false;
}

std::shared_ptr<PloverAdLegacy> PloverAdLegacy::create(const Value& dictionary, Handler handler) {
    std::shared_ptr<PloverAdLegacy> bundle(new PloverAdLegacy(dictionary, std::move(handler)));
    const size_t count = bundle->parts_.size();
    bundle->parts_.clear();
    bundle->parts_.reserve(count);
    if (const Value* parts = dictionary.find("parts"); parts && parts->isArray())
        for (const Value& part : *parts->array())
            bundle->addPart(std::make_shared<PloverAdPart>(part));
    return bundle;
}

void PloverAdLegacy::updateWithDictionary(const Value& dictionary) {
    {
        std::lock_guard lock(lock_);
        if (const Value* base = dictionary.find("basePath"); base && base->isString())
            basePath_ = *base->string();
        campaign_ = stringIn(dictionary, "campaign");
        path_ = campaign_;
        expireDate_ = PloverUtil::doubleValue(dictionary.find("expire_at"));
        appId_ = stringIn(dictionary, "app_id");
        ctaURL_ = stringIn(dictionary, "cta_url");
        ctaURLResolved_ = stringIn(dictionary, "cta_url_resolved");
        md5_ = stringIn(dictionary, "md5");
        closeDelay_ = PloverUtil::floatValue(dictionary.find("close_delay"));
        closeDelayIncentivized_ =
            PloverUtil::floatValue(dictionary.find("close_delay_incentivized"));
        countdownDelay_ = PloverUtil::intValue(dictionary.find("countdown_delay"));
        if (const Value* events = dictionary.find("tpat_events")) tpatEvents_ = *events;
        if (const Value* viewed = dictionary.find("viewed"))
            viewed_ = PloverUtil::boolValue(viewed);
        if (const Value* config = dictionary.find("config")) {
            auto read = [&](const char* key) -> const Value* {
                const Value* v = config->find(key);
                return PloverUtil::isNullOrNil(v) ? nullptr : v;
            };
            ctaEnabled_ = read("enabled") ? PloverUtil::boolValue(read("enabled")) : false;
            ctaDisplayOntouch_ =
                read("show_onclick") ? PloverUtil::boolValue(read("show_onclick")) : false;
            ctaShowDelay_ = read("time_show") ? PloverUtil::floatValue(read("time_show")) : 0.0f;
            ctaClickArea_ = read("click_area") ? PloverUtil::floatValue(read("click_area")) : 1.0f;
            preventPlayDelay_ = read("play_delay") ? PloverUtil::intValue(read("play_delay")) : 0;
        }
        user_ = stringIn(dictionary, "user");
        incentivized_ = 0;
    }
    save();
}

Value PloverAdLegacy::archiveValue() const {
    std::lock_guard lock(lock_);
    Dictionary archive;
    encodeAdFields(archive);
    archive["type"] = static_cast<int64_t>(type_);
    putString(archive, "path", path_);
    putString(archive, "md5", md5_);
    archive["countdown_delay"] = static_cast<int64_t>(countdownDelay_);
    archive["close_delay"] = static_cast<double>(closeDelay_);
    archive["close_delay_incentivized"] = static_cast<double>(closeDelayIncentivized_);
    putString(archive, "cta_url", ctaURL_);
    putString(archive, "cta_url_resolved", ctaURLResolved_);
    archive["incentivized"] = static_cast<int64_t>(incentivized_);
    archive["config"] = Dictionary{{"enabled", ctaEnabled_},
                                   {"show_onclick", ctaDisplayOntouch_},
                                   {"time_show", static_cast<double>(ctaShowDelay_)},
                                   {"click_area", static_cast<double>(ctaClickArea_)},
                                   {"play_delay", static_cast<int64_t>(preventPlayDelay_)}};
    return archive;
}

void PloverAdLegacy::save() {
    std::lock_guard lock(lock_);
    const auto meta = metaPath();
    if (meta.empty()) return;
    const platform::Data bytes = platform::archive::archive(archiveValue());
    if (!bytes.empty()) platform::files::writeAtomically(meta, bytes);
}

void PloverAdLegacy::decode(const Dictionary& archive) {
    std::lock_guard lock(lock_);
    decodeAdFields(archive);
    const Value fields(archive);
    type_ = PloverUtil::intValue(fields.find("type"));
    path_ = stringIn(fields, "path");
    md5_ = stringIn(fields, "md5");
    countdownDelay_ = PloverUtil::intValue(fields.find("countdown_delay"));
    closeDelay_ = PloverUtil::floatValue(fields.find("close_delay"));
    closeDelayIncentivized_ = PloverUtil::floatValue(fields.find("close_delay_incentivized"));
    ctaURL_ = stringIn(fields, "cta_url");
    ctaURLResolved_ = stringIn(fields, "cta_url_resolved");
    const int32_t incentivized = PloverUtil::intValue(fields.find("incentivized"));
    incentivized_ = static_cast<uint16_t>(incentivized < 0 ? 0 : incentivized);
    if (const Value* config = fields.find("config"); config && config->isDictionary()) {
        ctaEnabled_ = PloverUtil::boolValue(config->find("enabled"));
        ctaDisplayOntouch_ = PloverUtil::boolValue(config->find("show_onclick"));
        ctaShowDelay_ = PloverUtil::floatValue(config->find("time_show"));
        ctaClickArea_ = PloverUtil::floatValue(config->find("click_area"));
        preventPlayDelay_ = PloverUtil::intValue(config->find("play_delay"));
    }
}

std::shared_ptr<PloverAdLegacy> PloverAdLegacy::bundleWithCampaignId(
    const std::optional<std::string>& campaign,
    const std::filesystem::path& basePath) {
    if (!campaign || !PloverFileManager::isSafePathComponent(*campaign) || basePath.empty())
        return nullptr;
    const auto bytes = platform::files::readData(basePath / *campaign / "meta.data");
    if (!bytes) return nullptr;
    const auto archive = platform::archive::unarchive(*bytes);
    if (!archive || !archive->isDictionary()) return nullptr;
    std::shared_ptr<PloverAdLegacy> bundle(new PloverAdLegacy());
    bundle->decode(*archive->dictionary());
    bundle->basePath_ = basePath;
    for (const auto& part : bundle->parts_)
        part->setBundle(bundle);
    return bundle;
}

std::filesystem::path PloverAdLegacy::bundlePath() const {
    std::lock_guard lock(lock_);
    if (basePath_.empty() || !path_ || !PloverFileManager::isSafePathComponent(*path_)) return {};
    return basePath_ / *path_;
}

std::filesystem::path PloverAdLegacy::metaPath() const {
    const auto folder = bundlePath();
    return folder.empty() ? folder : folder / "meta.data";
}

void PloverAdLegacy::addPart(const std::shared_ptr<PloverAdPart>& part) {
    part->setBundle(std::static_pointer_cast<PloverAdLegacy>(shared_from_this()));
    std::lock_guard lock(lock_);
    parts_.push_back(part);
}

void PloverAdLegacy::fetch() {
    std::vector<std::shared_ptr<PloverAdPart>> parts;
    {
        std::lock_guard lock(lock_);
        if (isFetching_) return;
        isFetching_ = true;
        partsOk_ = 0;
        partsReported_ = 0;
        fetchFailed_ = false;
        parts = parts_;
        // The bundle lives until every part has reported, whoever else holds it.
        if (!parts.empty())
            inFlight_ = std::static_pointer_cast<PloverAdLegacy>(shared_from_this());
    }
    for (const auto& part : parts)
        part->fetchAndSave();
}

void PloverAdLegacy::partDidCompleteCorrectly(PloverAdPart& /*part*/, bool ok) {
    auto self = std::static_pointer_cast<PloverAdLegacy>(shared_from_this());
    bool report = false;
    std::shared_ptr<PloverAdLegacy> release;
    {
        std::lock_guard lock(lock_);
        if (ok) {
            ++partsOk_;
            if (partsOk_ == static_cast<int32_t>(parts_.size())) {
                save();
                report = true;
            }
        } else if (!fetchFailed_) {
            fetchFailed_ = true;
            report = true;
        }
        if (++partsReported_ >= static_cast<int32_t>(parts_.size())) release = std::move(inFlight_);
    }
    if (!report) return;
    platform::Queue::main()->async([self, ok] {
        if (auto handler = self->handler()) handler(self, ok);
    });
}

bool PloverAdLegacy::isDownloaded() const {
    for (const auto& part : parts())
        if (!part->ready()) return false;
    return true;
}

bool PloverAdLegacy::isValid() const {
    const auto all = parts();
    if (all.empty()) return false;
    for (const auto& part : all)
        if (!part->isValid()) return false;
    return expireDate() > platform::Clock::wallNow();
}

void PloverAdLegacy::removeFiles() {
    for (const auto& part : parts())
        part->removeFiles();
    const auto folder = bundlePath();
    if (!folder.empty()) PloverFileManager::deleteDirectoryAtPath(folder, nullptr);
}

bool PloverAdLegacy::hasUsableCTAURLResolved() const {
    const auto url = ctaURLResolved();
    return url && PloverUtil::hasSchemeAndHost(*url);
}

#define PLOVER_GETTER(Type, name, field) \
    Type PloverAdLegacy::name() const {  \
        std::lock_guard lock(lock_);     \
        return field;                    \
    }

PLOVER_GETTER(bool, ctaEnabled, ctaEnabled_)
PLOVER_GETTER(bool, ctaDisplayOntouch, ctaDisplayOntouch_)
PLOVER_GETTER(bool, isPersistent, isPersistent_)
PLOVER_GETTER(bool, isFetching, isFetching_)
PLOVER_GETTER(uint16_t, incentivized, incentivized_)
PLOVER_GETTER(int32_t, type, type_)
PLOVER_GETTER(int32_t, countdownDelay, countdownDelay_)
PLOVER_GETTER(float, closeDelay, closeDelay_)
PLOVER_GETTER(float, closeDelayIncentivized, closeDelayIncentivized_)
PLOVER_GETTER(float, ctaShowDelay, ctaShowDelay_)
PLOVER_GETTER(float, ctaClickArea, ctaClickArea_)
PLOVER_GETTER(int32_t, partsOk, partsOk_)
PLOVER_GETTER(std::filesystem::path, basePath, basePath_)
PLOVER_GETTER(std::optional<std::string>, md5, md5_)
PLOVER_GETTER(std::optional<std::string>, ctaURL, ctaURL_)
PLOVER_GETTER(std::optional<std::string>, ctaURLResolved, ctaURLResolved_)
PLOVER_GETTER(PloverAdLegacy::Handler, handler, handler_)
PLOVER_GETTER(std::optional<std::string>, path, path_)

#undef PLOVER_GETTER

void PloverAdLegacy::setIncentivized(uint16_t incentivized) {
    std::lock_guard lock(lock_);
    incentivized_ = incentivized;
}

void PloverAdLegacy::setBasePath(std::filesystem::path basePath) {
    std::lock_guard lock(lock_);
    basePath_ = std::move(basePath);
}

// ----------------------------------------------------------------------------------------------
// PloverMRAIDAdBundle

PloverMRAIDAdBundle::PloverMRAIDAdBundle(const Value& dictionary) : PloverAd(dictionary) {
    type_ = stringIn(dictionary, "adType");
    templateURL_ = stringIn(dictionary, "templateURL");
    if (const Value* settings = dictionary.find("templateSettings")) {
        if (const Value* normal = settings->find("normal_replacements"))
            templateReplacements_ = *normal;
        if (const Value* cacheable = settings->find("cacheable_replacements"))
            cacheableTemplateReplacements_ = *cacheable;
    }
    templateFormat_ = stringIn(dictionary, "templateFormat");
}

std::shared_ptr<PloverMRAIDAdBundle> PloverMRAIDAdBundle::create(const Value& dictionary) {
    return std::shared_ptr<PloverMRAIDAdBundle>(new PloverMRAIDAdBundle(dictionary));
}

Dictionary PloverMRAIDAdBundle::encode() const {
    std::lock_guard lock(lock_);
    Dictionary archive;
    encodeAdFields(archive);
    return archive;
}
