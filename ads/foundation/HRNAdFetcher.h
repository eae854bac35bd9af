#pragma once
// HRNAdFetcher: one fetch of an ad. It loads the ad request the pipeline built (or only applies
// the headers of an ad that the SDK-core page delivered), reads every "x-hsdk-..." response
// header into the ad and into a few SDK-wide settings, decides what kind of answer arrived, and
// hands the finished HRNAd or an HRNRequestError to its delegate. A fetcher serves exactly one
// fetch; a second start fails.
//
// Header names are matched without regard to case, every one of them. An answer with an HTTP
// status of 400 or more is a failure, whatever its body: 400 is code 0 (the request was
// refused), above 400 code 3 with the status; a load that fails without an HTTP answer is code
// 13, other transport failures code 2.
//
// Threading: main thread only. Delegate calls come on the main thread, at most one success or
// completion failure per fetch; a completion for a fetch that had nothing to load comes from the
// main operation queue, at its next turn. After cancel() the delegate hears nothing.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNTiming.h"
#include "ads/foundation/HRNURLConnection.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/net/URLRequest.h"

class HRNAdFetcher;
class HRNRequest;

class HRNAdFetcherDelegate {
  public:
    virtual ~HRNAdFetcherDelegate() = default;
    virtual void adFetcherDidFetchAd(HRNAdFetcher& fetcher, const std::shared_ptr<HRNAd>& ad) = 0;
    // `responseCode`: the HTTP status, 0 when there is none to report.
    virtual void adFetcherDidFailToFetchAdWithErrorResponseCode(HRNAdFetcher& fetcher,
                                                                const std::shared_ptr<HRNAd>& ad,
                                                                const HRNRequestError& error,
                                                                int64_t responseCode) = 0;
};

class HRNAdFetcher : public HRNURLConnectionDelegate,
                     public std::enable_shared_from_this<HRNAdFetcher> {
  public:
    // The host the whitelist holds when the setting "whitelisted_ad_request_domains" is absent:
    // the ad server's (the loopback ad server here).
    static constexpr const char* kDefaultAdRequestHost = "127.0.0.1";

    static std::shared_ptr<HRNAdFetcher> create();
    ~HRNAdFetcher() override;

    // The full fetch of the request with a new, empty ad and no headers.
    bool fetchRequestURLDelegateError(const std::optional<platform::net::URLRequest>& request,
                                      std::weak_ptr<HRNAdFetcherDelegate> delegate,
                                      platform::Error* error);
    // For an ad the SDK-core page delivered with its headers: loads the ad's adURL (with the
    // Authorization header when it applies) unless the ad already has its HTML.
    bool fetchRemainingContentForAdHeadersDelegateError(
        const std::shared_ptr<HRNAd>& ad,
        const platform::Dictionary& headers,
        std::weak_ptr<HRNAdFetcherDelegate> delegate,
        platform::Error* error);
    // The full fetch: starts the load (none without a request), applies the given headers, and
    // reports when the answer is complete. False with `error` (code 2) for a second start or a
    // transport that would not start.
    bool fetchRequestURLDelegateResponseHeadersResponseAdError(
        const std::optional<platform::net::URLRequest>& request,
        std::weak_ptr<HRNAdFetcherDelegate> delegate,
        const std::optional<platform::Dictionary>& responseHeaders,
        const std::shared_ptr<HRNAd>& ad,
        platform::Error* error);

    // {"Authorization": "Bearer <token>"} for an https URL of a whitelisted host while the
    // signed-in user has a token; std::nullopt otherwise.
    std::optional<platform::net::HeaderFields> requestHeadersForURL(const platform::net::URL& url);
    // The ad-request hosts that may see the user's token, built once per process.
    static const std::set<std::string>& whitelistedDomains();

    // Forgets the delegate, cancels the load and marks it completed.
    void cancel();

    // The kind of answer the lower-cased headers announce (HRNAdResponseType); 0 with `error`
    // set for a mediation answer that is not JSON.
    int64_t adResponseTypeFromHeadersRequestError(const platform::Dictionary& headers,
                                                  std::optional<HRNRequestError>* error) const;
    // Applies the response headers to the ad and the SDK's settings.
    void processHTTPHeaders(const platform::Dictionary& headers);

    const std::shared_ptr<HRNAd>& ad() const { return ad_; }
    void setAd(std::shared_ptr<HRNAd> ad) { ad_ = std::move(ad); }
    const HRNRequest* request() const { return request_.get(); }
    void setRequest(std::shared_ptr<HRNRequest> request) { request_ = std::move(request); }
    std::shared_ptr<HRNAdFetcherDelegate> delegate() const { return delegate_.lock(); }
    const std::shared_ptr<HRNTiming>& timer() const { return timer_; }
    const std::shared_ptr<HRNURLConnection>& adConnection() const { return adConnection_; }
    bool adConnectionHasCompleted() const { return adConnectionHasCompleted_; }
    void setAdConnectionHasCompleted(bool completed) { adConnectionHasCompleted_ = completed; }

    // HRNURLConnectionDelegate
    std::optional<platform::Error> connectionShouldRedirectToURL(
        HRNURLConnection& connection,
        const platform::net::URL& url) override;
    void connectionLoadDidReceiveRedirectResponse(
        HRNURLConnection& connection,
        const platform::net::HTTPURLResponse& response) override;
    bool connectionLoadShouldUseCachedResponse(
        HRNURLConnection& connection,
        const platform::net::HTTPURLResponse& response) override;
    void connectionLoadDidReceiveCachedResponse(HRNURLConnection& connection,
                                                const HRNCachedURLResponse& response) override;
    void connectionLoadDidFinishBaseURL(HRNURLConnection& connection,
                                        const std::optional<std::string>& body,
                                        const std::optional<platform::net::URL>& baseURL) override;
    void connectionLoadDidFailHttpStatusCode(HRNURLConnection& connection,
                                             const std::optional<platform::Error>& error,
                                             int64_t httpStatusCode) override;

  private:
    HRNAdFetcher();
    void completedURLConnection();
    void resourceFailedToLoadWithErrorResponseCode(const HRNRequestError& error,
                                                   int64_t responseCode);
    void markFetchStart();
    void markFetchComplete();

    bool hasStartedFetch_ = false;
    bool hasNotifiedDelegate_ = false;
    std::optional<std::string> signedInAdsToken_;
    bool adConnectionHasCompleted_ = false;
    std::shared_ptr<HRNAd> ad_;
    std::shared_ptr<HRNRequest> request_;
    std::weak_ptr<HRNAdFetcherDelegate> delegate_;
    std::shared_ptr<HRNTiming> timer_;
    std::shared_ptr<HRNURLConnection> adConnection_;
};
