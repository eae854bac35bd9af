#pragma once
// HRNTiming: one named start/end pair in HRNMonotonicMilliseconds (0 means not set), such as the
// duration of an ad fetch or of a mediation adapter's try. A timing is unset (start 0), running
// (start set, end 0) or ended (end set); start() restarts an ended one.
//
// Threading: start, end and reset take the time on the caller's thread and write it on the
// timing's serial queue ("com.heron.ads.timing"), asynchronously, in call order; the timestamp
// getters, elapsedMilliseconds and dictionaryRepresentation wait for those writes, so a read
// after a start on the same thread sees it. setStartTimestamp/setEndTimestamp write directly:
// for a timing not yet shared. Any thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/dispatch/Queue.h"
#include "platform/foundation/Value.h"

class HRNTiming : public std::enable_shared_from_this<HRNTiming> {
  public:
    // A timing of that category; without one it is named "HRNTiming (<address>)".
    static std::shared_ptr<HRNTiming> create(std::optional<std::string> category = std::nullopt);
    // From {"category", "start", "end"}; missing parts read as none and 0.
    static std::shared_ptr<HRNTiming> createWithDictionaryRepresentation(
        const platform::Dictionary& dictionary);

    // {"category": text, "start": number, "end": number}.
    platform::Dictionary dictionaryRepresentation();
    // A new timing from the dictionary representation.
    std::shared_ptr<HRNTiming> copy();
    // "HRNTiming (<address>): <dictionary representation>".
    std::string description();

    void start();
    // Ends a started timing; an unset one stays unset.
    void end();
    void reset();

    uint64_t startTimestamp();
    uint64_t endTimestamp();
    void setStartTimestamp(uint64_t timestamp) { startTimestamp_ = timestamp; }
    void setEndTimestamp(uint64_t timestamp) { endTimestamp_ = timestamp; }
    // end - start once ended (0 for an unset timing); while running, 0 with an explicit end,
    // else the time since the start.
    uint64_t elapsedMilliseconds();
    // elapsedMilliseconds as decimal digits.
    std::string elapsedMillisecondsString();
    bool isActive();

    std::string category() const;
    void setCategory(std::string category);
    bool explicitEnd() const { return explicitEnd_; }
    void setExplicitEnd(bool explicitEnd) { explicitEnd_ = explicitEnd; }

  private:
    HRNTiming();
    void waitForWrites();

    std::shared_ptr<platform::Queue> lockQueue_;
    std::atomic<bool> explicitEnd_{false};
    mutable std::mutex categoryMutex_;
    std::string category_;
    std::atomic<uint64_t> startTimestamp_{0};
    std::atomic<uint64_t> endTimestamp_{0};
};
