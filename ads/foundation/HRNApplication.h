#pragma once
// HRNApplication: the ad SDK's process-wide view of the host application. It starts the SDK by
// itself when the app has finished launching (load() registers for the launch notification;
// no call from the publisher is needed), holds the app's version and bundle identifier, the
// current HRNSession, the SDK-wide counters and the per-ad statistics waiting for the next ad
// request, answers questions about the app's windows and orientations, and sends the
// leave-and-return times of a clicked ad and the foreground ping.
//
// Threading:
//  - Made once, on first use from any thread. The version, identifier, metadata, settings and
//    parameters may be read from any thread; the window operations belong to the main thread.
//  - runEarlyActivities runs on the main thread only (its once-flag is a plain flag); the launch
//    observer and HRNDispatchToMainThread bring it there.
//  - adStatistics lives on notificationSerialQueue ("application-notification"), which is also
//    the queue per-ad statistic dictionaries notify on. backgroundingAd and the counter
//    sequences of nextSequenceNumberAsString and nextRequestStatisticsDictionaryForSlot run on
//    statisticsSerialQueue ("application-statistics"); viewabilityID and the adapter names on
//    the lock queue ("application-ivar-lock"). The synchronous operations wait on those queues,
//    so never call them from the queue they use.
//  - The activation and foreground observers run on the main operation queue; the foreground
//    ping goes out from the main queue after its delay.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ads/foundation/HRNSession.h"
#include "ads/foundation/HRNStatisticDictionary.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Value.h"

namespace platform {
class Queue;
}

class HRNAd;

namespace platform::ui {
class Window;
}

class HRNApplication : public HRNStatisticDictionaryDelegate,
                       public std::enable_shared_from_this<HRNApplication> {
  public:
    using AdStatisticsSet = std::set<std::shared_ptr<HRNStatisticDictionary>>;

    static std::shared_ptr<HRNApplication> sharedInstance();

    // The class-load hook: observes the application's launch notification once; when it comes
    // (on the main operation queue) the shared application gets appDidFinishLaunching, then
    // runEarlyActivities. Called from HRNRegisterClasses().
    static void load();

    // Starts the SDK, once per process (main thread): device facts, the MRAID switch, the token
    // dispenser, the pinger, purchase reporting, crash reporting, content hashing and the
    // interstitial pool when the settings say so, and the foreground ping.
    void runEarlyActivities();
    bool earlyActivitiesRan() const;
    void appDidFinishLaunching() { appFinishedLaunching_ = true; }
    bool appFinishedLaunching() const { return appFinishedLaunching_; }

    const HRNSession& currentSession() const { return currentSession_; }
    // The SDK-wide counters: "session_id", "preqs", "pclick", "seq_num", "basets", "currts".
    const std::shared_ptr<HRNStatisticDictionary>& statistics() const { return statistics_; }
    const std::shared_ptr<platform::Queue>& notificationSerialQueue() const {
        return notificationSerialQueue_;
    }
    const std::shared_ptr<platform::Queue>& statisticsSerialQueue() const {
        return statisticsSerialQueue_;
    }
    std::shared_ptr<platform::Queue> notificationQueue() override {
        return notificationSerialQueue_;
    }
    uint64_t sequenceNumber() const { return sequenceNumber_; }
    void setSequenceNumber(uint64_t number) { sequenceNumber_ = number; }

    // True unless the application is in the background; in the background only while launching
    // has not finished.
    bool active() const;
    void enableBackgroundAdLoading() { backgroundLoadingEnabled_ = true; }
    bool backgroundLoadingEnabled() const { return backgroundLoadingEnabled_; }
    // backgroundLoadingEnabled and the setting "bg_reload_enabled".
    bool backgroundReloadingEnabled() const;

    // 1, 2, 3 ... across threads, never repeating.
    uint64_t nextViewabilityID();
    // The mediation adapters present in the app, sent with every ad request as "adapters"
    // (HRNApplication+MediationAdapters.cpp). std::nullopt until first set. Reads wait on the
    // lock queue; writes are queued there, so a read queued after a write sees it.
    std::optional<std::vector<std::string>> availableAdapterNames();
    void setAvailableAdapterNames(const std::vector<std::string>& names);
    // Stores the built-in adapter names and the given ones, each once, keeping those whose
    // class is registered and is a banner or interstitial adapter (set order).
    void updateAvailableAdapterNamesWithPotentialAdapterNames(
        const std::vector<std::string>& names);

    // Content hashing of the app's screens, run by HRNApplicationContentHashing.
    void startContentHashing();
    void stopContentHashing();
    std::optional<std::string> fingerprintWithServedPenaltyDeduction();

    // "appversion", "bundleid", "osversion", "rdid", "lat", "sdkversion".
    platform::Dictionary parameters() const;

    // The per-ad statistics updated since they were last taken; taking empties the set.
    AdStatisticsSet pendingAdStatistics();
    // A taken set that was not sent goes back to the pending ones.
    void didNotSendAdStatistics(const AdStatisticsSet& statistics);
    AdStatisticsSet adStatistics();
    // On the notification queue: the dictionary becomes pending.
    void didUpdateStatisticDictionary(
        const std::shared_ptr<HRNStatisticDictionary>& dictionary) override;

    // A click on an ad sends the user out of the app: the ad is kept until the app is active
    // again, when [click time "tclickcurr", return time] is added to its statistics' "tclick".
    void willLeaveApplicationDueToClickOnAd(std::shared_ptr<HRNAd> ad);
    void didBecomeActive();
    // Schedules the foreground ping when the setting "foreground_ping_enabled" is on.
    void willEnterForeground();

    void incrementTotalAdRequestCount();
    void decrementTotalAdRequestCount();
    void incrementTotalAdClickCount();
    void incrementSequenceNumber();
    // Increments "seq_num" and answers the text of "preqs" (statistics queue, synchronously).
    std::string nextSequenceNumberAsString();
    // Monotonic milliseconds since the first ad request; 0 before it.
    uint64_t timeSinceFirstAdRequestInMilliseconds();
    // Stamps "currts" (and "basets" the first time), counts the request (a mediating slot's
    // takes one back) and answers a copy of the counters. The slot is given by whether it is
    // mediating, all of it that is read.
    platform::Dictionary nextRequestStatisticsDictionaryForSlot(bool slotIsMediating);

    // The main bundle's Info.plist ("Info.plist" in the bundle folder), read once; an empty
    // dictionary when the file is missing or is not a dictionary.
    static const platform::Dictionary& infoDictionary();

    // Info.plist CFBundleVersion, or the empty string.
    const std::string& version() const { return version_; }
    // Info.plist CFBundleIdentifier, else the identifier the app home is named by.
    const std::string& mainBundleIdentifier() const { return mainBundleIdentifier_; }

    // Documents/../iTunesMetadata.plist, standardized; std::nullopt without a Documents folder.
    std::optional<std::filesystem::path> iTunesMetadataPath() const;
    // That file's dictionary, read once; empty when missing, unreadable or not a dictionary.
    platform::Dictionary iTunesMetadata() const;

    // A hidden window of the SDK's own, made on first use and kept. Main thread.
    std::shared_ptr<platform::ui::Window> placeholderWindow();
    // The key window, else the application's first window (the app's own); null when none.
    // Main thread.
    std::shared_ptr<platform::ui::Window> mainWindow() const;
    // The orientation mask the application supports for a window: the Info.plist
    // "UISupportedInterfaceOrientations", else every orientation but upside down on a phone and
    // every one on a tablet.
    uint64_t supportedInterfaceOrientationsForWindow(
        const std::shared_ptr<platform::ui::Window>& window) const;
    // The mask of the main window. Any thread: this platform's application answers the same
    // mask for every window.
    uint64_t mainWindowSupportedInterfaceOrientations() const;
    // The setting "application_supports_split_screen".
    bool isSplitScreenEnabled() const;

    HRNApplication();
    ~HRNApplication() override;

  private:
    void observeApplication();
    void sendForegroundPing(uint64_t t0);

    std::string version_;
    std::string mainBundleIdentifier_;
    std::shared_ptr<platform::ui::Window> placeholderWindow_;

    HRNSession currentSession_;
    std::shared_ptr<HRNStatisticDictionary> statistics_;
    std::shared_ptr<platform::Queue> notificationSerialQueue_;
    std::shared_ptr<platform::Queue> statisticsSerialQueue_;
    std::shared_ptr<platform::Queue> lockQueue_;
    AdStatisticsSet adStatistics_;                                   // on notificationSerialQueue_
    std::shared_ptr<HRNAd> backgroundingAd_;                         // on statisticsSerialQueue_
    uint64_t viewabilityID_ = 0;                                     // on lockQueue_
    std::optional<std::vector<std::string>> availableAdapterNames_;  // on lockQueue_
    std::atomic<uint64_t> sequenceNumber_{0};
    std::atomic<bool> appFinishedLaunching_{false};
    std::atomic<bool> backgroundLoadingEnabled_{false};
    platform::NotificationCenter::Token appBecameActiveObserver_ = 0;
    platform::NotificationCenter::Token appWillEnterForegroundObserver_ = 0;
};
