#pragma once
// HRNMAdManager: runs a mediation answer's waterfall for one slot (the slot holds one and the
// manager knows its slot weakly). In this form it holds its slot and has no waterfall to
// cancel; running mediation answers comes with the SDK's mediation. Main thread only.

#include <memory>

class HRNSlot;

class HRNMAdManager {
  public:
    std::shared_ptr<HRNSlot> slot() const { return slot_.lock(); }
    void setSlot(std::weak_ptr<HRNSlot> slot) { slot_ = std::move(slot); }
    // Stops a running waterfall.
    void cancel() {}

  private:
    std::weak_ptr<HRNSlot> slot_;
};
