#pragma once
// The first step of the SDK's start-up chain: finds the advertising identifier, off the main
// thread, and keeps it as its result (empty when the device gives none; the SDK then sends no
// ad requests). An operation that finishes asynchronously on a worker queue.

#include <memory>
#include <mutex>
#include <string>

#include "platform/dispatch/Operation.h"

class PloverIFAOperation : public platform::Operation {
  public:
    static std::shared_ptr<PloverIFAOperation> create();
    std::string result() const;
    void start() override;

  private:
    PloverIFAOperation() = default;
    mutable std::mutex mutex_;
    std::string result_;
};
