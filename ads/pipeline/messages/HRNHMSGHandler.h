#pragma once
// Page messages: ad pages (and the hidden SDK-core page) talk to the SDK by navigating to
// "hmsg://host/NAME?key=value&..." URLs. HRNNotification is one such message; HRNHMSGHandler is
// the base of every handler in an ad view's chain: a subclass maps message names to actions and
// may hold messages back (buffer) until its ad view is placed.
//
// Threading: messages are plain values (any thread). A handler runs on the main queue, which
// its ad view's chain is driven from; it is not locked.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/net/URLRequest.h"

class HRNAdView;

class HRNNotification {
  public:
    // The scheme is "hmsg", compared without regard to case.
    static bool isNotificationURL(const std::optional<platform::net::URL>& url);
    // std::nullopt for another scheme or an empty name. The name is the path without its first
    // character; the parameters come from the query, cut at "&" and ";", each piece "key=value"
    // with both percent-decoded (pieces of another shape, or that do not decode, are skipped; a
    // later key replaces an earlier one).
    static std::optional<HRNNotification> initWithNotificationURL(
        const std::optional<platform::net::URL>& url);
    // std::nullopt for an empty name.
    static std::optional<HRNNotification> initWithNameParameters(
        const std::string& name,
        std::map<std::string, std::string> parameters);

    const std::string& name() const { return name_; }
    const std::map<std::string, std::string>& parameters() const { return parameters_; }
    // "<HRNNotification: ADDRESS> name:NAME parameters:{...}"
    std::string description() const;

  private:
    HRNNotification(std::string name, std::map<std::string, std::string> parameters)
        : name_(std::move(name)), parameters_(std::move(parameters)) {}
    std::string name_;
    std::map<std::string, std::string> parameters_;
};

class HRNHMSGHandler {
  public:
    using Parameters = std::map<std::string, std::string>;
    using ActionBlock =
        std::function<void(HRNHMSGHandler&, const std::shared_ptr<HRNAdView>&, const Parameters&)>;
    using ActionBlockDictionary = std::map<std::string, ActionBlock>;

    virtual ~HRNHMSGHandler() = default;

    // The actions of the subclass by message name; built once per class. None in the base.
    virtual const ActionBlockDictionary& actionBlockDictionary() const;

    // false when no action has the message's name. Otherwise the message is buffered (when
    // shouldBufferNotificationAdView says so) or its action runs now; true either way.
    bool handleNotificationAdView(const HRNNotification& notification,
                                  const std::shared_ptr<HRNAdView>& adView);
    virtual bool shouldBufferNotificationAdView(const HRNNotification& notification,
                                                const std::shared_ptr<HRNAdView>& adView);
    // A request for an hmsg URL, handled as its message; other requests answer false.
    bool handleRequestAdView(const platform::net::URLRequest& request,
                             const std::shared_ptr<HRNAdView>& adView);
    // Offers every buffered message again, in order (one still held back is buffered again).
    void flushBuffer();

    const std::vector<std::pair<HRNNotification, std::shared_ptr<HRNAdView>>>&
    bufferedNotifications() const {
        return bufferedNotifications_;
    }

  private:
    std::vector<std::pair<HRNNotification, std::shared_ptr<HRNAdView>>> bufferedNotifications_;
};
