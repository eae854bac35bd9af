#pragma once
// HRNCorrelator: ties the ad requests of one page view together (the publisher ad server's
// formats set it on their slots). In this form it holds its identifier, 0 until set; a slot
// sends it as "correlation_id" when it is not 0. Thread-safe.

#include <atomic>
#include <cstdint>

class HRNCorrelator {
  public:
    uint64_t correlationID() const { return correlationID_.load(); }
    void setCorrelationID(uint64_t identifier) { correlationID_.store(identifier); }

  private:
    std::atomic<uint64_t> correlationID_{0};
};
