#pragma once
// HRNSDKCoreHMSGHandler: the first handler the SDK-core page's messages are offered to once
// the page has loaded. Five messages carry the page's answers to the SDK-core controller (its
// delegate): "loadAdURL", "loadAd", "invalidRequest", "loadSdkConstants" and "requestReload".
// The sixth, "fetchHttpRequest", lets the page's script make an HTTP(S) request through the
// SDK's own network stack; the page hears the result as the event "fetchHttpRequestCompleted":
//   {"success": "true"|"false", "reason": TEXT (failures only),
//    "response": {"response_code": STATUS, "body": TEXT, "http_request_id": ID,
//                 "headers": [{"key": NAME, "value": VALUE}, ...]}}
// A repeated request whose ID is still being fetched gets no second answer. An ad that cannot
// be read ("loadAd" whose "fetched_ad" is no JSON object) fails its requester as an invalid
// request and tells the page "loadAdFailed" {"request_id", "reason"}.
//
// Threading: messages arrive on the main thread; delegate calls are posted to the main queue.
// The fetcher map is guarded by a lock; fetches report on the main thread and answers go
// through the page's own command queue.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ads/foundation/HRNAdFetcher.h"
#include "ads/pipeline/messages/HRNHMSGHandler.h"

class HRNSDKCoreHMSGHandler;
class HRNSDKCoreWebView;

class HRNSDKCoreHMSGHandlerDelegate {
  public:
    virtual ~HRNSDKCoreHMSGHandlerDelegate() = default;
    virtual void SDKCoreHMSGHandlerLoadAdURLWithRequestIDParameters(
        HRNSDKCoreHMSGHandler& handler,
        const std::optional<std::string>& requestID,
        const platform::Dictionary& parameters) = 0;
    virtual void SDKCoreHMSGHandlerLoadAdWithRequestIDParameters(
        HRNSDKCoreHMSGHandler& handler,
        const std::optional<std::string>& requestID,
        const platform::Value& parameters) = 0;
    virtual void SDKCoreHMSGHandlerDidReceiveInvalidAdWithRequestIDParameters(
        HRNSDKCoreHMSGHandler& handler,
        const std::optional<std::string>& requestID,
        const platform::Dictionary& parameters) = 0;
    virtual void SDKCoreHMSGHandlerDidLoadSDKConstants(HRNSDKCoreHMSGHandler& handler,
                                                       const platform::Dictionary& constants) = 0;
    virtual void SDKCoreHMSGHandlerDidReceiveSDKCoreUpdateNotification(
        HRNSDKCoreHMSGHandler& handler) = 0;
};

class HRNSDKCoreHMSGHandler : public HRNHMSGHandler,
                              public HRNAdFetcherDelegate,
                              public std::enable_shared_from_this<HRNSDKCoreHMSGHandler> {
  public:
    const ActionBlockDictionary& actionBlockDictionary() const override;

    std::shared_ptr<HRNSDKCoreWebView> SDKCoreWebView() const { return SDKCoreWebView_.lock(); }
    void setSDKCoreWebView(std::weak_ptr<HRNSDKCoreWebView> page) {
        SDKCoreWebView_ = std::move(page);
    }
    std::shared_ptr<HRNSDKCoreHMSGHandlerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<HRNSDKCoreHMSGHandlerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    void adViewDidReceiveLoadAdURLAction(const Parameters& parameters);
    void adViewDidReceiveLoadAdAction(const Parameters& parameters);
    void adViewDidReceiveInvalidAdRequestAction(const Parameters& parameters);
    void adViewDidReceiveLoadSDKConstantsAction(const Parameters& parameters);
    void adViewDidReceiveFetchAdAction(const Parameters& parameters);
    void adViewDidReceiveSDKCoreReloadRequest();

    // The reply to the page's fetch: success with the answer's status, or failure with a reason.
    void fetchedAdForFetchRequestIDResponseCode(const std::shared_ptr<HRNAd>& ad,
                                                const std::string& requestID,
                                                int64_t responseCode);
    void failedToFetchAdForRequestIDWithErrorResponseCode(
        const std::shared_ptr<HRNAd>& ad,
        const std::optional<std::string>& requestID,
        const platform::Error& error,
        int64_t responseCode);

    void setAdFetcherForFetchRequestID(const std::shared_ptr<HRNAdFetcher>& fetcher,
                                       const std::string& requestID);
    // Forgets and cancels the fetcher of that ID.
    void removeAdFetcherForFetchRequestID(const std::string& requestID);
    bool isFetchInProgressForFetchRequestID(const std::string& requestID) const;
    bool hasFetchesInProgress() const;
    std::optional<std::string> fetchRequestIDForAdFetcher(const HRNAdFetcher& fetcher) const;

    // HRNAdFetcherDelegate
    void adFetcherDidFetchAd(HRNAdFetcher& fetcher, const std::shared_ptr<HRNAd>& ad) override;
    void adFetcherDidFailToFetchAdWithErrorResponseCode(HRNAdFetcher& fetcher,
                                                        const std::shared_ptr<HRNAd>& ad,
                                                        const HRNRequestError& error,
                                                        int64_t responseCode) override;

  private:
    void sendFetchReply(const platform::Dictionary& reply);

    mutable std::mutex mutex_;  // guards adFetchers_
    std::map<std::string, std::shared_ptr<HRNAdFetcher>> adFetchers_;
    std::weak_ptr<HRNSDKCoreWebView> SDKCoreWebView_;
    std::weak_ptr<HRNSDKCoreHMSGHandlerDelegate> delegate_;
};
