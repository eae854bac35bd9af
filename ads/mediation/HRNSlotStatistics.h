#pragma once
// HRNSlotStatistics: how each mediated network attempt of one slot went. The waterfall times
// every adapter it asks ("adapter"), records the exit code each attempt ended with and a fill
// status per network allocation; the connectors and the no-fill report read them back as the
// three compact texts that travel in the mediation pings ("aec", "adt" and the fill status),
// and the slot sends the whole record with its next request ("slots" of the quality signals).
// The slot owns one, kept under its ad unit ID, so the record survives restarts of the app
// (HRNStatisticsCore and HRNTimingManager persist it).
//
//   "adapter_duration"     list of texts: each ended adapter timing in whole milliseconds
//   "adapter_exit"         list of texts: each exit code (0 delivered, 1 no fill, 2 other
//                          error, 3 time-out, 4 no adapter class)
//   "adapter_fill_status"  list of {"fill_status_allocation_id", "fill_status_exit",
//                          "fill_status_duration"} (fill status 0 filled, 1 no fill,
//                          2 time-out, 3 no adapter class, 6 other error or native ad refused)
//
// Threading: main thread (the timing manager has no lock); the lists live on the statistics
// core's queue, so a read after a change on the same thread sees it.

#include <cstdint>
#include <optional>
#include <string>

#include "ads/foundation/HRNStatistics.h"
#include "platform/foundation/Value.h"

class HRNSlotStatistics : public HRNStatistics {
  public:
    HRNSlotStatistics();

    const std::optional<std::string>& identifier() const { return identifier_; }
    // A different identifier is kept and handed to the statistics core and the timing manager.
    void setIdentifier(std::optional<std::string> identifier);
    platform::Dictionary statistics() const;

    void startTimingAdapter();
    // Ends the adapter timing and records its duration and the exit code.
    void endTimingAdapterWithExitCode(int64_t exitCode);
    // Ends the adapter timing and records the fill status of the allocation; nothing is
    // recorded without an allocation identifier or a timing.
    void endTimingAdapterWithFillStatusAllocationID(int64_t fillStatus,
                                                    const std::optional<std::string>& allocationID);
    // Drops the exit codes and durations; the fill statuses stay.
    void resetTimingAdapters();
    void resetFillStatus();

    // The exit codes joined with "," ("3,0").
    std::string adapterExitCodesParameter() const;
    // The durations joined with "," ("120,45").
    std::string adapterDurationsParameter() const;
    // "allocation.status.duration" per entry joined with "_" ("a1.2.120_a2.0.45"); std::nullopt
    // when none is recorded.
    std::optional<std::string> adapterFillStatusParameter() const;

  private:
    std::string joinedList(const std::string& key) const;

    std::optional<std::string> identifier_;
};
