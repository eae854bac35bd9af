#include "puffin/core/PFTrack.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/security/Digest.h"
#include "platform/ui/Application.h"
#include "puffin/core/PFLog.h"
#include "puffin/core/PFPersistenceStore.h"
#include "puffin/core/Puffin.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/networking/PFCrypto.h"
#include "puffin/networking/PFHTTPAPIRequest.h"
#include "puffin/networking/PFHTTPRequestManager.h"

using platform::Dictionary;
using platform::Value;

namespace {

// Whole seconds since 1970, saturating to a 32-bit signed integer.
int64_t nowSeconds() {
    const double now = std::floor(platform::Clock::wallNow());
    if (now > INT_MAX) return INT_MAX;
    if (now < INT_MIN) return INT_MIN;
    return static_cast<int64_t>(now);
}

int64_t saturate(int64_t value) {
    return std::max<int64_t>(INT_MIN, std::min<int64_t>(INT_MAX, value));
}

Value valueOrString(const PFTrackText& text) {
    return text ? Value(*text) : Value("");
}

std::string number(long long value) {
    return std::to_string(value);
}

}  // namespace

std::shared_ptr<PFTrack> PFTrack::shared() {
    // Never destroyed: recording may still run on a worker while the process exits.
    static const auto* tracker = [] {
        auto made = std::shared_ptr<PFTrack>(new PFTrack());
        made->init();
        return new std::shared_ptr<PFTrack>(std::move(made));
    }();
    return *tracker;
}

PFTrack::~PFTrack() {
    if (flushTimer_) flushTimer_->invalidate();
}

void PFTrack::init() {
    {
        std::lock_guard lock(lock_);
        active_ = true;
        currentFileCacheName_ = generateFileCacheName();
        events_.clear();
    }
    loadOrCreateSessionID();
    std::weak_ptr<PFTrack> weak = weak_from_this();
    auto& center = platform::NotificationCenter::defaultCenter();
    activeToken_ = center.addObserver(platform::ui::kApplicationDidBecomeActiveNotification,
                                      nullptr, [weak](const platform::Notification&) {
                                          if (auto self = weak.lock()) self->appDidBecomeActive();
                                      });
    resignToken_ = center.addObserver(platform::ui::kApplicationWillResignActiveNotification,
                                      nullptr, [weak](const platform::Notification&) {
                                          if (auto self = weak.lock())
                                              self->appDidEnterBackground();
                                      });
    flushTimer_ = platform::Timer::scheduled(kFlushInterval, true, [weak](platform::Timer&) {
        auto self = weak.lock();
        if (self && !self->events().empty()) self->flush();
    });
    // An older SDK kept its sessions in Caches/PFSessionDirectory.
    PFPersistenceStore::deleteDirectory(std::string("PFSessionDirectory"));
}

std::string PFTrack::getSessionID() {
    return shared()->sessionID();
}

// ---- reports

void PFTrack::report(const PFTrackText& event,
                     const PFTrackText& kingdom,
                     const PFTrackText& phylum,
                     const PFTrackText& className,
                     const PFTrackText& family,
                     const PFTrackText& genus,
                     const std::string& level,
                     const std::optional<Value>& meta) {
    shared()
        ->trackEventInternalWithKingdomWithPhylumWithClassWithFamilyWithGenusWithMetaTrackingLevel(
            event, kingdom, phylum, className, family, genus, meta ? meta : Value(Dictionary{}),
            level);
}

void PFTrack::trackSessionEvent(const PFTrackText& name) {
    report("session", name, {}, {}, {}, {}, "session");
}

void PFTrack::trackSessionStart() {
    trackSessionEvent("start");
}

void PFTrack::trackSessionEnd() {
    shared()->endSession(true);
}

void PFTrack::trackAdGetWithLocationWithCaching(const PFTrackText& kind,
                                                const PFTrackText& location,
                                                bool caching) {
    report("ad-get", kind, location, number(caching), "single", {}, "system");
}

void PFTrack::trackAdGetBatchWithLocation(const PFTrackText& kind,
                                          const PFTrackText& location,
                                          int count) {
    report("ad-get", kind, location, number(count), "batch", {}, "system");
}

void PFTrack::trackAdHasWithLocationWithValue(const PFTrackText& kind,
                                              const PFTrackText& location,
                                              bool value) {
    report("ad-has", kind, location, number(value), {}, {}, "system");
}

void PFTrack::trackAdShowWithLocationWithAdId(const PFTrackText& kind,
                                              const PFTrackText& location,
                                              const PFTrackText& adId) {
    report("ad-show", kind, location, adId, {}, {}, "system");
}

void PFTrack::trackAdClickWithLocationWithAdId(const PFTrackText& kind,
                                               const PFTrackText& location,
                                               const PFTrackText& adId) {
    report("ad-click", kind, location, adId, {}, {}, "system");
}

void PFTrack::trackAdMoreAppsClickWithLocationWithAdIdWithRow(const PFTrackText& kind,
                                                              const PFTrackText& location,
                                                              const PFTrackText& adId,
                                                              int row) {
    report("ad-click", kind, location, adId, number(row), {}, "system");
}

void PFTrack::trackAdVideoClickWithLocationWithAdIdWithClickType(const PFTrackText& kind,
                                                                 const PFTrackText& location,
                                                                 const PFTrackText& adId,
                                                                 const PFTrackText& clickType) {
    report("ad-click", kind, location, adId, clickType, {}, "system");
}

void PFTrack::trackAdCloseWithLocationWithAdId(const PFTrackText& kind,
                                               const PFTrackText& location,
                                               const PFTrackText& adId) {
    report("ad-close", kind, location, adId, {}, {}, "system");
}

void PFTrack::trackAdLoadedWithAdIdWithCaching(const PFTrackText& kind,
                                               const PFTrackText& adId,
                                               bool caching) {
    report("ad-loaded", kind, adId, number(caching), {}, {}, "system");
}

void PFTrack::trackLoadErrorWithLocationWithErrorId(const PFTrackText& kind,
                                                    const PFTrackText& location,
                                                    unsigned errorId) {
    report("load-error", kind, location, std::to_string(errorId), {}, {}, "system");
    shared()->flush();
}

void PFTrack::trackClickErrorWithLocationWithErrorId(const PFTrackText& kind,
                                                     const PFTrackText& location,
                                                     unsigned errorId) {
    report("click-error", kind, location, std::to_string(errorId), {}, {}, "system");
    shared()->flush();
}

void PFTrack::trackAppSheetEventWithiTunesId(const PFTrackText& event,
                                             const PFTrackText& iTunesId) {
    report("app-sheet", event, iTunesId, {}, {}, {}, "system");
}

void PFTrack::trackWebviewErrorWithEventWithDataWithMetaForAdUnit(const PFTrackText& category,
                                                                  const PFTrackText& event,
                                                                  const PFTrackText& data,
                                                                  const std::optional<Value>& meta,
                                                                  const PFTrackText& adUnit) {
    shared()
        ->trackEventInternalWithKingdomWithPhylumWithClassWithFamilyWithGenusWithMetaTrackingLevel(
            "webview-error", category, event, adUnit, data, {}, meta, "system");
    shared()->flush();
}

void PFTrack::trackWebviewWarningWithEventWithDataWithMetaForAdUnit(
    const PFTrackText& category,
    const PFTrackText& event,
    const PFTrackText& data,
    const std::optional<Value>& meta,
    const PFTrackText& adUnit) {
    shared()
        ->trackEventInternalWithKingdomWithPhylumWithClassWithFamilyWithGenusWithMetaTrackingLevel(
            "webview-warning", category, event, adUnit, data, {}, meta, "system");
}

void PFTrack::trackWebviewEventWithEventWithDataWithMetaForAdUnit(const PFTrackText& category,
                                                                  const PFTrackText& event,
                                                                  const PFTrackText& data,
                                                                  const std::optional<Value>& meta,
                                                                  const PFTrackText& adUnit) {
    shared()
        ->trackEventInternalWithKingdomWithPhylumWithClassWithFamilyWithGenusWithMetaTrackingLevel(
            "webview-event", category, event, adUnit, data, {}, meta, "system");
}

void PFTrack::trackVideoPrefetchBegin() {
    report("video-prefetcher", "begin", {}, {}, {}, {}, "system");
}

void PFTrack::trackVideoPrefetchCacheEventWithStatusWithFileId(const PFTrackText& event,
                                                               const PFTrackText& status,
                                                               const PFTrackText& fileId) {
    report(event, status, fileId, {}, {}, {}, "system");
}

void PFTrack::trackVideoPrefetchSynchronizeFilesAddedFilesDeleted(int count,
                                                                  int filesAdded,
                                                                  int filesDeleted) {
    report("video-prefetcher", "synchronize", number(count), number(filesAdded),
           number(filesDeleted), {}, "system");
}

void PFTrack::trackVideoPrefetchDownloadStartWithFilename(const PFTrackText& what,
                                                          const PFTrackText& fileName) {
    report("video-prefetcher", "start", what, fileName, {}, {}, "system");
}

void PFTrack::trackVideoPrefetchDownloadFailureWithFilenameWithTimeWithError(
    const PFTrackText& what,
    const PFTrackText& fileName,
    const PFTrackText& time,
    const PFTrackText& error) {
    report("video-prefetcher", "failure", what, fileName, time, error, "system");
}

void PFTrack::trackVideoPrefetchDownloadSuccessWithFilenameWithTime(const PFTrackText& what,
                                                                    const PFTrackText& fileName,
                                                                    const PFTrackText& time) {
    report("success", what, fileName, time, {}, {}, "system");
}

void PFTrack::trackVideoPrefetchComplete() {
    report("video-prefetcher", "complete", {}, {}, {}, {}, "system");
}

void PFTrack::trackVideoConfirmationShowWithAdId(const PFTrackText& kind, const PFTrackText& adId) {
    report("confirmation-show", kind, adId, {}, {}, {}, "system");
}

void PFTrack::trackVideoConfirmationDismissWithAdIdWithAccept(const PFTrackText& kind,
                                                              const PFTrackText& adId,
                                                              bool accept) {
    report("confirmation-dismiss", kind, adId, number(accept), {}, {}, "system");
}

void PFTrack::trackVideoPlayAnotherDismissWithAdIdWithAcceptSkipConfirmation(
    const PFTrackText& kind,
    const PFTrackText& adId,
    bool accept,
    bool skipConfirmation) {
    report("play-another-dismiss", kind, adId, number(accept), number(skipConfirmation), {},
           "system");
}

void PFTrack::trackVideoInstallClickWithVideoWithAdIdWithXWithY(const PFTrackText& kind,
                                                                const PFTrackText& video,
                                                                const PFTrackText& adId,
                                                                int x,
                                                                int y) {
    report("install-click", kind, adId, video, number(x), number(y), "system");
}

void PFTrack::trackVideoPlayerCloseShowWithAdIdWithDelay(const PFTrackText& kind,
                                                         const PFTrackText& adId,
                                                         int delay) {
    report("close-show", kind, adId, number(delay), {}, {}, "system");
}

void PFTrack::trackVideoPlayerReplayWithAdId(const PFTrackText& kind, const PFTrackText& adId) {
    report("replay", kind, adId, {}, {}, {}, "system");
}

void PFTrack::trackVideoPlayerStartWithAdIdWithPlayCount(const PFTrackText& kind,
                                                         const PFTrackText& adId,
                                                         int playCount) {
    report("playback-start", kind, adId, number(playCount), {}, {}, "system");
}

void PFTrack::trackVideoPlayerStopWithAdId(const PFTrackText& kind, const PFTrackText& adId) {
    report("playback-stop", kind, adId, {}, {}, {}, "system");
}

void PFTrack::trackVideoPlayerControlsToggleWithAdIdWithValue(const PFTrackText& kind,
                                                              const PFTrackText& adId,
                                                              bool value) {
    report("controls-toggle", kind, adId, number(value), {}, {}, "system");
}

void PFTrack::trackRequestEventWithKingdomWithPhylumWithClassWithFamilyWithGenusWithMeta(
    const PFTrackText& event,
    const PFTrackText& kingdom,
    const PFTrackText& phylum,
    const PFTrackText& className,
    const PFTrackText& family,
    const PFTrackText& genus,
    const std::optional<Value>& meta) {
    shared()
        ->trackEventInternalWithKingdomWithPhylumWithClassWithFamilyWithGenusWithMetaTrackingLevel(
            event, kingdom, phylum, className, family, genus, meta, "debug");
}

// ---- recording

void PFTrack::
    trackEventInternalWithKingdomWithPhylumWithClassWithFamilyWithGenusWithMetaTrackingLevel(
        const PFTrackText& event,
        const PFTrackText& kingdom,
        const PFTrackText& phylum,
        const PFTrackText& className,
        const PFTrackText& family,
        const PFTrackText& genus,
        const std::optional<Value>& meta,
        const std::string& level) {
    auto self = shared_from_this();
    platform::Queue::global()->async(
        [=] { self->record(event, kingdom, phylum, className, family, genus, meta, level); });
}

void PFTrack::record(const PFTrackText& event,
                     const PFTrackText& kingdom,
                     const PFTrackText& phylum,
                     const PFTrackText& className,
                     const PFTrackText& family,
                     const PFTrackText& genus,
                     const std::optional<Value>& meta,
                     const std::string& level) {
    if (Puffin::isSessionStarted() && !active()) {
        {
            std::lock_guard lock(lock_);
            active_ = true;
        }
        loadOrCreateSessionID();
    }
    const auto levels = PFConfig::trackingLevels();
    if (!levels) return;
    const auto enabled = levels->find(level);
    if (enabled == levels->end() || !enabled->second.asBool()) return;

    std::lock_guard lock(lock_);
    const int64_t now = nowSeconds();
    const bool sessionEnd = event == std::optional<std::string>("session") &&
                            kingdom == std::optional<std::string>("end");
    Dictionary record{
        {"event", valueOrString(event)},
        {"kingdom", valueOrString(kingdom)},
        {"phylum", valueOrString(phylum)},
        {"class", valueOrString(className)},
        {"family", valueOrString(family)},
        {"genus", valueOrString(genus)},
        {"meta", meta && meta->isDictionary() ? *meta : Value("")},
        {"clientTimestamp", now},
        {"session_id", sessionID_},
        {"currentSessionTime", saturate(now - sessionCurrentTime_)},
        {"totalSessionTime",
         saturate(sessionEnd ? sessionLastTime_ - sessionStartTime_ : now - sessionStartTime_)},
    };
    events_.push_back(std::move(record));
    PFPersistenceStore::persistDictionary(Dictionary{{"events", events_}}, std::string(kDirectory),
                                          currentFileCacheName_);
    if (active_) saveLatestSessionInfo();
    if (events_.size() >= kBatchSize) flush();
}

// ---- flushing

void PFTrack::flush() {
    auto self = shared_from_this();
    platform::Queue::main()->after(1, [self] { self->flushNow(); });
}

void PFTrack::flushNow() {
    std::lock_guard lock(lock_);
    if (events_.empty()) return;
    const std::string kept = currentFileCacheName_;
    currentFileCacheName_ = generateFileCacheName();
    // A flush within the same second would reuse the name of the file just sent.
    if (currentFileCacheName_ == kept) currentFileCacheName_ += "-1";
    events_.clear();
    flushFile(kept);
    flushAllFiles();
}

void PFTrack::flushFile(const std::string& name) {
    std::lock_guard lock(lock_);
    const auto loaded = PFPersistenceStore::loadObjectInDirectory(std::string(kDirectory), name);
    PFPersistenceStore::deleteFileInDirectory(std::string(kDirectory), name);
    if (!loaded) return;
    auto request = PFHTTPAPIRequest::create("/api/track");
    request->appendBodyArgumentKeyValue("track", *loaded);
    request->shouldRetry = true;
    PFHTTPRequestManager::shared()->addRequestSuccessFailure(
        request, [](auto, const std::optional<Value>&) { PFLogInfo("PFTrack Flush Success"); },
        [](auto, const platform::Error& error) {
            PFLogError("Error:%s \n PFTrack flush request failed",
                       error.localizedDescription().c_str());
        });
}

void PFTrack::flushAllFiles() {
    std::lock_guard lock(lock_);
    const auto names = PFPersistenceStore::namesOfFilesInDirectory(std::string(kDirectory));
    if (!names) return;
    for (const auto& name : *names)
        if (!skipFile(name)) flushFile(name);
}

bool PFTrack::skipFile(const std::string& name) {
    return name == kSessionFile || (!name.empty() && name[0] == '.');
}

// ---- sessions

void PFTrack::endSession(bool complete) {
    trackEventInternalWithKingdomWithPhylumWithClassWithFamilyWithGenusWithMetaTrackingLevel(
        "session", "end", {}, {}, {}, {}, Value(Dictionary{{"complete", complete}}), "session");
}

void PFTrack::endCurrentSession() {
    endSession(false);
}

void PFTrack::startNewSession() {
    auto& defaults = platform::UserDefaults::standard();
    defaults.set(kSessionCountKey, Value(defaults.integer(kSessionCountKey) + 1));
    defaults.synchronize();
    std::lock_guard lock(lock_);
    const int64_t now = nowSeconds();
    sessionCurrentTime_ = sessionStartTime_ = sessionLastTime_ = now;
    sessionID_ = generateSessionID();
    saveSessionInfoCurrentTime(now, now);
}

void PFTrack::loadOrCreateSessionID() {
    std::lock_guard lock(lock_);
    const auto stored = PFPersistenceStore::loadObjectInDirectory(std::string(kDirectory),
                                                                  std::string(kSessionFile));
    if (!stored || !stored->isDictionary()) {
        startNewSession();
        return;
    }
    const int64_t now = nowSeconds();
    sessionCurrentTime_ = now;
    sessionLastTime_ = stored->find("timestamp") ? stored->find("timestamp")->asInteger() : 0;
    sessionStartTime_ =
        stored->find("start_timestamp") ? stored->find("start_timestamp")->asInteger() : 0;
    const Value* id = stored->find("session_id");
    sessionID_ = id && id->isString() ? id->asString() : "";
    if (now - sessionLastTime_ > kSessionTimeout) {
        endSession(true);
        startNewSession();
    } else if (!id || !id->isString()) {
        startNewSession();
    } else {
        saveLatestSessionInfo();
    }
}

void PFTrack::saveLatestSessionInfo() {
    std::lock_guard lock(lock_);
    sessionLastTime_ = nowSeconds();
    saveSessionInfoCurrentTime(sessionStartTime_, sessionLastTime_);
}

void PFTrack::saveSessionInfoCurrentTime(int64_t start, int64_t last) {
    std::lock_guard lock(lock_);
    PFPersistenceStore::persistDictionary(
        Dictionary{{"start_timestamp", start}, {"timestamp", last}, {"session_id", sessionID_}},
        std::string(kDirectory), std::string(kSessionFile));
}

std::string PFTrack::generateFileCacheName() {
    return std::to_string(nowSeconds());
}

std::string PFTrack::generateSessionID() {
    return PFCrypto::SHA1StringWithData(platform::Data::fromString(createUUID()));
}

std::string PFTrack::createUUID() {
    platform::Data bytes = platform::security::randomBytes(16);
    uint8_t* b = bytes.data();
    b[6] = static_cast<uint8_t>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<uint8_t>((b[8] & 0x3F) | 0x80);
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

void PFTrack::appDidBecomeActive() {
    auto self = shared_from_this();
    platform::Queue::global()->async([self] {
        if (Puffin::isSessionStarted() && !self->active()) {
            {
                std::lock_guard lock(self->lock_);
                self->active_ = true;
            }
            self->loadOrCreateSessionID();
        }
        self->flush();
        trackSessionEvent("did-become-active");
    });
}

void PFTrack::appDidEnterBackground() {
    trackSessionEvent("did-enter-background");
    endCurrentSession();
    flush();
    {
        std::lock_guard lock(lock_);
        active_ = false;
    }
    saveLatestSessionInfo();
}

// ---- state

std::string PFTrack::sessionID() const {
    std::lock_guard lock(lock_);
    return sessionID_;
}

std::string PFTrack::currentFileCacheName() const {
    std::lock_guard lock(lock_);
    return currentFileCacheName_;
}

platform::Array PFTrack::events() const {
    std::lock_guard lock(lock_);
    return events_;
}

bool PFTrack::active() const {
    std::lock_guard lock(lock_);
    return active_;
}

int64_t PFTrack::sessionStartTime() const {
    std::lock_guard lock(lock_);
    return sessionStartTime_;
}

int64_t PFTrack::sessionLastTime() const {
    std::lock_guard lock(lock_);
    return sessionLastTime_;
}

int64_t PFTrack::sessionCurrentTime() const {
    std::lock_guard lock(lock_);
    return sessionCurrentTime_;
}
