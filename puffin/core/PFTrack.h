#pragma once
// The SDK's analytics tracker. Every part of the SDK reports what happened (an ad asked for,
// shown, clicked, closed; a video started; a prefetch ran; the app came to the front) through
// one of the class methods below. Each report becomes an event record (event, kingdom, phylum,
// class, family, genus, meta, with its times and the session id), kept in memory and in a
// batch file under the Caches folder "PFTrackDirectory", and goes out in batches to
// "/api/track" through the request manager. The tracker also follows sessions (start, resume
// after at most 180 s away, end) across launches.
//
// A record is kept only when the configuration's tracking levels switch its level on
// ("session", "system", "debug"). The SDK session flag (Puffin::isSessionStarted) is raised by
// the facade's start-up.
//
// Threads: recording runs on the global queue of default priority, asynchronously; a flush
// runs flushNow on the main queue one second later; the 240 s flush timer runs on the main
// queue; application notifications arrive on the main thread. One re-entrant lock guards the
// batch, its file and its name. The shared tracker is made once and lives until the process
// ends.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

namespace platform {
class Timer;
}

using PFTrackText = std::optional<std::string>;

class PFTrack : public std::enable_shared_from_this<PFTrack> {
  public:
    static constexpr const char* kDirectory = "PFTrackDirectory";
    static constexpr const char* kSessionFile = "pf_previous_session_info";
    static constexpr const char* kSessionCountKey = "PFSessionCountKey";
    static constexpr int64_t kSessionTimeout = 180;
    static constexpr size_t kBatchSize = 50;
    static constexpr double kFlushInterval = 240;

    static std::shared_ptr<PFTrack> shared();
    static std::string getSessionID();

    // Reports (class methods; each hands one event to the shared tracker).
    static void trackSessionEvent(const PFTrackText& name);
    static void trackSessionStart();
    static void trackSessionEnd();
    static void trackAdGetWithLocationWithCaching(const PFTrackText& kind,
                                                  const PFTrackText& location,
                                                  bool caching);
    static void trackAdGetBatchWithLocation(const PFTrackText& kind,
                                            const PFTrackText& location,
                                            int count);
    static void trackAdHasWithLocationWithValue(const PFTrackText& kind,
                                                const PFTrackText& location,
                                                bool value);
    static void trackAdShowWithLocationWithAdId(const PFTrackText& kind,
                                                const PFTrackText& location,
                                                const PFTrackText& adId);
    static void trackAdClickWithLocationWithAdId(const PFTrackText& kind,
                                                 const PFTrackText& location,
                                                 const PFTrackText& adId);
    static void trackAdMoreAppsClickWithLocationWithAdIdWithRow(const PFTrackText& kind,
                                                                const PFTrackText& location,
                                                                const PFTrackText& adId,
                                                                int row);
    static void trackAdVideoClickWithLocationWithAdIdWithClickType(const PFTrackText& kind,
                                                                   const PFTrackText& location,
                                                                   const PFTrackText& adId,
                                                                   const PFTrackText& clickType);
    static void trackAdCloseWithLocationWithAdId(const PFTrackText& kind,
                                                 const PFTrackText& location,
                                                 const PFTrackText& adId);
    static void trackAdLoadedWithAdIdWithCaching(const PFTrackText& kind,
                                                 const PFTrackText& adId,
                                                 bool caching);
    static void trackLoadErrorWithLocationWithErrorId(const PFTrackText& kind,
                                                      const PFTrackText& location,
                                                      unsigned errorId);
    static void trackClickErrorWithLocationWithErrorId(const PFTrackText& kind,
                                                       const PFTrackText& location,
                                                       unsigned errorId);
    static void trackAppSheetEventWithiTunesId(const PFTrackText& event,
                                               const PFTrackText& iTunesId);
    static void trackWebviewErrorWithEventWithDataWithMetaForAdUnit(
        const PFTrackText& category,
        const PFTrackText& event,
        const PFTrackText& data,
        const std::optional<platform::Value>& meta,
        const PFTrackText& adUnit);
    static void trackWebviewWarningWithEventWithDataWithMetaForAdUnit(
        const PFTrackText& category,
        const PFTrackText& event,
        const PFTrackText& data,
        const std::optional<platform::Value>& meta,
        const PFTrackText& adUnit);
    static void trackWebviewEventWithEventWithDataWithMetaForAdUnit(
        const PFTrackText& category,
        const PFTrackText& event,
        const PFTrackText& data,
        const std::optional<platform::Value>& meta,
        const PFTrackText& adUnit);
    static void trackVideoPrefetchBegin();
    static void trackVideoPrefetchCacheEventWithStatusWithFileId(const PFTrackText& event,
                                                                 const PFTrackText& status,
                                                                 const PFTrackText& fileId);
    static void trackVideoPrefetchSynchronizeFilesAddedFilesDeleted(int count,
                                                                    int filesAdded,
                                                                    int filesDeleted);
    static void trackVideoPrefetchDownloadStartWithFilename(const PFTrackText& what,
                                                            const PFTrackText& fileName);
    static void trackVideoPrefetchDownloadFailureWithFilenameWithTimeWithError(
        const PFTrackText& what,
        const PFTrackText& fileName,
        const PFTrackText& time,
        const PFTrackText& error);
    static void trackVideoPrefetchDownloadSuccessWithFilenameWithTime(const PFTrackText& what,
                                                                      const PFTrackText& fileName,
                                                                      const PFTrackText& time);
    static void trackVideoPrefetchComplete();
    static void trackVideoConfirmationShowWithAdId(const PFTrackText& kind,
                                                   const PFTrackText& adId);
    static void trackVideoConfirmationDismissWithAdIdWithAccept(const PFTrackText& kind,
                                                                const PFTrackText& adId,
                                                                bool accept);
    static void trackVideoPlayAnotherDismissWithAdIdWithAcceptSkipConfirmation(
        const PFTrackText& kind,
        const PFTrackText& adId,
        bool accept,
        bool skipConfirmation);
    static void trackVideoInstallClickWithVideoWithAdIdWithXWithY(const PFTrackText& kind,
                                                                  const PFTrackText& video,
                                                                  const PFTrackText& adId,
                                                                  int x,
                                                                  int y);
    static void trackVideoPlayerCloseShowWithAdIdWithDelay(const PFTrackText& kind,
                                                           const PFTrackText& adId,
                                                           int delay);
    static void trackVideoPlayerReplayWithAdId(const PFTrackText& kind, const PFTrackText& adId);
    static void trackVideoPlayerStartWithAdIdWithPlayCount(const PFTrackText& kind,
                                                           const PFTrackText& adId,
                                                           int playCount);
    static void trackVideoPlayerStopWithAdId(const PFTrackText& kind, const PFTrackText& adId);
    static void trackVideoPlayerControlsToggleWithAdIdWithValue(const PFTrackText& kind,
                                                                const PFTrackText& adId,
                                                                bool value);
    static void trackRequestEventWithKingdomWithPhylumWithClassWithFamilyWithGenusWithMeta(
        const PFTrackText& event,
        const PFTrackText& kingdom,
        const PFTrackText& phylum,
        const PFTrackText& className,
        const PFTrackText& family,
        const PFTrackText& genus,
        const std::optional<platform::Value>& meta);

    // Hands one event over (recorded asynchronously on the global queue).
    void trackEventInternalWithKingdomWithPhylumWithClassWithFamilyWithGenusWithMetaTrackingLevel(
        const PFTrackText& event,
        const PFTrackText& kingdom,
        const PFTrackText& phylum,
        const PFTrackText& className,
        const PFTrackText& family,
        const PFTrackText& genus,
        const std::optional<platform::Value>& meta,
        const std::string& level);

    void flush();
    void flushNow();
    void flushFile(const std::string& name);
    void flushAllFiles();
    static bool skipFile(const std::string& name);
    void endSession(bool complete);
    void endCurrentSession();
    void startNewSession();
    void loadOrCreateSessionID();
    void saveLatestSessionInfo();
    void saveSessionInfoCurrentTime(int64_t start, int64_t last);
    static std::string generateFileCacheName();
    static std::string generateSessionID();
    static std::string createUUID();
    void appDidBecomeActive();
    void appDidEnterBackground();

    // State, for the SDK's own reads and for tests.
    std::string sessionID() const;
    std::string currentFileCacheName() const;
    platform::Array events() const;
    bool active() const;
    int64_t sessionStartTime() const;
    int64_t sessionLastTime() const;
    int64_t sessionCurrentTime() const;

    ~PFTrack();

  private:
    PFTrack() = default;
    void init();
    void record(const PFTrackText& event,
                const PFTrackText& kingdom,
                const PFTrackText& phylum,
                const PFTrackText& className,
                const PFTrackText& family,
                const PFTrackText& genus,
                const std::optional<platform::Value>& meta,
                const std::string& level);
    static void report(const PFTrackText& event,
                       const PFTrackText& kingdom,
                       const PFTrackText& phylum,
                       const PFTrackText& className,
                       const PFTrackText& family,
                       const PFTrackText& genus,
                       const std::string& level,
                       const std::optional<platform::Value>& meta = std::nullopt);

    mutable std::recursive_mutex lock_;
    std::string sessionID_;
    std::string currentFileCacheName_;
    platform::Array events_;
    bool active_ = false;
    int64_t sessionStartTime_ = 0;
    int64_t sessionLastTime_ = 0;
    int64_t sessionCurrentTime_ = 0;
    std::shared_ptr<platform::Timer> flushTimer_;
    uint64_t activeToken_ = 0;
    uint64_t resignToken_ = 0;
};
