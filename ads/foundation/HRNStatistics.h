#pragma once
// HRNStatistics: the base of statistics that survive restarts: one HRNStatisticsCore (lists)
// and one HRNTimingManager (timings), which a subclass creates and attaches under the same
// identifier (mediation's per-slot statistics). The named timings here are the manager's.
//
// Threading: as HRNTimingManager: its owner uses it from one thread at a time.

#include <memory>
#include <string>

#include "ads/foundation/HRNStatisticsCore.h"
#include "ads/foundation/HRNTimingManager.h"

class HRNStatistics {
  public:
    virtual ~HRNStatistics() = default;

    const std::shared_ptr<HRNStatisticsCore>& statisticsCore() const { return statisticsCore_; }
    void setStatisticsCore(std::shared_ptr<HRNStatisticsCore> core) {
        statisticsCore_ = std::move(core);
    }
    const std::shared_ptr<HRNTimingManager>& timingManager() const { return timingManager_; }
    void setTimingManager(std::shared_ptr<HRNTimingManager> manager) {
        timingManager_ = std::move(manager);
    }

    // The manager's timing of that category, or null.
    std::shared_ptr<HRNTiming> timingNamed(const std::string& name) const;
    // A new running timing of that name in place of any earlier one.
    void startTimingNamedWithExplicitEnd(const std::string& name, bool explicitEnd);
    // Ends the timing of that name, when there is one.
    void endTimingNamed(const std::string& name);

  private:
    std::shared_ptr<HRNStatisticsCore> statisticsCore_;
    std::shared_ptr<HRNTimingManager> timingManager_;
};
