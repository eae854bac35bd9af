#pragma once
// HRNStatisticsCore: a dictionary of lists (texts or dictionaries) that survives restarts of the
// app: mediation keeps per ad unit the exit codes, durations and fill states of the adapters it
// tried and sends them with the next request. Persisted in the user defaults under
// "heron_stats_" + identifier once an identifier is set; detached (kept in memory only) before.
//
// Threading: the dictionary lives on the core's serial queue ("com.heron.ads.statistics").
// Changes and identifier switches are queued there asynchronously, in call order; reads
// (statistics, arrayForKey) wait for the changes queued before them. Any thread. When the app
// will terminate, the core waits for its queued saves.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/Queue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Value.h"

class HRNStatisticsCore : public std::enable_shared_from_this<HRNStatisticsCore> {
  public:
    static std::shared_ptr<HRNStatisticsCore> create();
    ~HRNStatisticsCore();

    // Attaches the core to "heron_stats_" + identifier (detaches it for an empty one) and merges
    // what is stored there into the dictionary (stored lists replace same-named ones). Setting
    // the current identifier again does nothing.
    void setIdentifier(const std::string& identifier);

    platform::Dictionary statistics();
    // The list under the key, or std::nullopt.
    std::optional<platform::Array> arrayForKey(const std::string& key);
    // Appends to the list under the key (a value that is no list is replaced by a new list),
    // then saves. An empty key does nothing.
    void appendStringToArrayForKey(const std::string& string, const std::string& key);
    void appendDictionaryToArrayForKey(const platform::Dictionary& dictionary,
                                       const std::string& key);
    // Removes the key, then saves.
    void removeObjectForKey(const std::string& key);
    // Writes the dictionary under the current key (nothing while detached).
    void savePersistentStatistics();
    // Waits for the changes and saves queued so far.
    void applicationWillTerminate();

  private:
    HRNStatisticsCore();
    void appendValueToArrayForKey(platform::Value value, const std::string& key);
    void saveOnQueue();

    platform::Dictionary statistics_;             // on lockQueue_
    std::optional<std::string> userDefaultsKey_;  // on lockQueue_
    std::shared_ptr<platform::Queue> lockQueue_;
    platform::NotificationCenter::Token terminateObserver_ = 0;
};
