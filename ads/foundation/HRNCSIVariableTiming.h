#pragma once
// HRNCSIVariableTiming: one measured step of a timing report: its name, when it started and how
// long it took (seconds of the monotonic clock when a recorder timed it, milliseconds when an ad
// page sent it). A step still running when the app resigns active is spoilt (start -1): time in
// the background would make it meaningless, so it is never reported.
//
// Threading: start and length are atomic; any thread.

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/NotificationCenter.h"

class HRNCSIVariableTiming {
  public:
    // Null without a name. Length -1 until measured.
    static std::shared_ptr<HRNCSIVariableTiming> create(const std::optional<std::string>& name,
                                                        double start);
    ~HRNCSIVariableTiming();
    HRNCSIVariableTiming(const HRNCSIVariableTiming&) = delete;
    HRNCSIVariableTiming& operator=(const HRNCSIVariableTiming&) = delete;

    const std::string& name() const { return name_; }
    double start() const { return times_->start.load(); }
    void setStart(double start) { times_->start.store(start); }
    double length() const { return times_->length.load(); }
    void setLength(double length) { times_->length.store(length); }
    // start > 0 and length > 0.
    bool isValid() const { return start() > 0 && length() > 0; }

  private:
    // Shared with the resign-active observer, which may still be running on the posting thread
    // while this object goes away on another.
    struct Times {
        std::atomic<double> start;
        std::atomic<double> length{-1.0};
    };
    HRNCSIVariableTiming(std::string name, double start);

    std::string name_;
    std::shared_ptr<Times> times_;
    platform::NotificationCenter::Token observer_ = 0;
};
