#pragma once
// HRNSession: one run of the SDK, named by a random unsigned 64-bit number in decimal. The
// application object makes one when it is made; requests and mediation pings send its name.
// Immutable; any thread.

#include <string>

class HRNSession {
  public:
    HRNSession();
    const std::string& uniqueID() const { return uniqueID_; }

  private:
    std::string uniqueID_;
};
