#pragma once
// HRNTimingManager: a set of timings by category, persisted in the user defaults under
// "heron_timing_" + identifier (category -> {"category", "start", "end"}) once an identifier is
// set. Mediation's per-slot statistics own one and time each adapter with it.
//
// Threading: the set of timings has no lock; its owner uses it from one thread at a time. Only
// the writing to the user defaults runs on the manager's saving queue ("com.heron.ads.timing"),
// asynchronously, in call order. When the app will terminate, and when the manager goes away,
// it waits for the saves already queued.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/foundation/HRNTiming.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/NotificationCenter.h"

class HRNTimingManager {
  public:
    HRNTimingManager();
    ~HRNTimingManager();
    HRNTimingManager(const HRNTimingManager&) = delete;
    HRNTimingManager& operator=(const HRNTimingManager&) = delete;

    // Attaches the manager to "heron_timing_" + identifier and loads the timings stored there
    // (each replaces the one of its category). An empty identifier detaches it.
    void setIdentifier(const std::string& identifier);
    const std::string& identifier() const { return identifier_; }
    void loadPersistentTimings();
    // Writes every timing under the current key (nothing while detached).
    void savePersistentTimings();

    // Stores the timing under its category (replacing one of the same category), then saves.
    void addTiming(const std::shared_ptr<HRNTiming>& timing);
    std::shared_ptr<HRNTiming> addTimingWithCategory(const std::string& category);
    std::shared_ptr<HRNTiming> timingForCategory(const std::string& category) const;
    // Removals change only the set in memory; the next save writes them.
    void removeTiming(const std::shared_ptr<HRNTiming>& timing);
    void removeTimingForCategory(const std::string& category);
    void removeTimingsForCategories(const std::vector<std::string>& categories);
    void removeAllTimings();

    // In category order.
    std::vector<std::shared_ptr<HRNTiming>> timings() const;
    std::vector<std::string> categories() const;

    // Waits for the saves queued so far.
    void applicationWillTerminate();

  private:
    std::string identifier_;
    std::optional<std::string> userDefaultsKey_;
    std::map<std::string, std::shared_ptr<HRNTiming>> timings_;
    std::shared_ptr<platform::Queue> savingQueue_;
    platform::NotificationCenter::Token terminateObserver_ = 0;
};
