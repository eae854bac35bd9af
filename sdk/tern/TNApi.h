#pragma once
// The facade the app calls to talk to the messenger: register once at launch, send requests
// and responses (a record on a pasteboard, then a messenger URL), and hand every URL that opens
// the app to handleOpenURL, which turns the messenger's answer into a response for the delegate.
//
// Class operations only, over two process-wide values: the registered app id (kept from
// registerApp for the life of the process) and the conversation account (taken from every
// record read, cleared by every outgoing record or URL). Every failure is the answer false or
// none, never a message. Main thread only; the delegate is called synchronously from
// handleOpenURL.

#include <memory>
#include <optional>
#include <string>

#include "sdk/tern/BaseReq.h"
#include "sdk/tern/BaseResp.h"

// What the app implements to hear the messenger. Both operations are optional: the defaults do
// nothing, which is the same as not answering them.
class TNApiDelegate {
  public:
    virtual ~TNApiDelegate() = default;
    // A request the messenger sends to the app.
    virtual void onReq(const std::shared_ptr<BaseReq>& /*req*/) {}
    // The messenger's answer to a request of the app.
    virtual void onResp(const std::shared_ptr<BaseResp>& /*resp*/) {}
};

class TNApi {
  public:
    TNApi() = delete;

    static bool registerApp(const std::optional<std::string>& appID);
    static bool registerAppWithDescription(const std::optional<std::string>& appID,
                                           const std::optional<std::string>& description);

    // True when the URL was the messenger's and was handled: an authorisation or payment return,
    // or a URL of the app's scheme whose waiting record was read (any command).
    static bool handleOpenURL(const std::string& url, TNApiDelegate* delegate);
    static bool handleAuthOpenUrl(const std::string& url, TNApiDelegate* delegate);
    static bool handlePayOpenUrl(const std::string& url, TNApiDelegate* delegate);

    // Store the record and open the messenger; whether the URL was opened.
    static bool sendReq(const std::shared_ptr<BaseReq>& req);
    static bool sendResp(const std::shared_ptr<BaseResp>& resp);
    // An authorisation or payment request by URL; any other request answers false.
    static bool safeSendReq(const std::shared_ptr<BaseReq>& req);
    static bool auth(const std::shared_ptr<SendAuthReq>& req);
    static bool pay(const std::shared_ptr<PayReq>& req);

    static bool isTNAppInstalled();
    static bool isTNAppSupportApi();
    static bool openTNApp();
    static std::string getTNAppInstallUrl();
    static std::string getApiVersion();  // "2.0.3"

    // The URL to open after the record was stored; none when nothing was stored.
    static std::optional<std::string> packReq(const std::shared_ptr<BaseReq>& req);
    static std::optional<std::string> packResp(const std::shared_ptr<BaseResp>& resp);

    // The process-wide values, for the app and tests to read.
    static const std::optional<std::string>& registeredAppID();
    static const std::optional<std::string>& conversationAccount();
};
