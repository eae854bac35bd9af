#pragma once
// HRNRequest: the publisher's ad request, handed to an interstitial or the rewarded video for
// one load. The game makes a plain request and sets nothing on it. A format front end copies the
// request when a load starts, so later changes to the caller's object do not reach that load.
//
// Plain value object: not thread-safe; sdkVersion() may be called from any thread.

#include <memory>
#include <string>

#include "platform/foundation/Value.h"

class HRNRequest {
  public:
    // A new, empty request. The first one made in the process starts the SDK
    // (HRNApplication::runEarlyActivities, at once on the main thread, else queued there).
    static std::shared_ptr<HRNRequest> request();

    // The SDK's version text, built once and shared; the same text goes out as "js".
    static const std::string& sdkVersion();

    std::shared_ptr<HRNRequest> copy() const;

    // Who made the request; "pub" for the publisher's own requests.
    const std::string& origin() const { return origin_; }

    // The request parameters that describe this request. The device, network, adapter and
    // click-signal entries join when those services exist; a plain request carries "js",
    // "request_origin" and "_request_object_properties".
    platform::Dictionary parameters() const;

    // parameters() with the device's parameters merged in, and "net" and "net_last" (the
    // device's network codes) when known. Any thread.
    platform::Dictionary threadSafeParameters() const;

  private:
    std::string origin_ = "pub";
};
