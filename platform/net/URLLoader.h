#pragma once
// URL loading: one load of one request, with a delegate that hears it as it happens. Loads
// run on libcurl: those whose delegate is on the main queue on the main run loop, the others
// on one network thread (README.md says which and why); the delegate hears it on the queue
// given at start (the main queue by default).
//
// Promises:
//  - Delegate calls come on the delegate queue, one at a time, in this order: willSendRequest
//    for the first request (no redirect response), then for each redirect (with the redirect
//    response); then didReceiveResponse once; didReceiveData any number of times; then
//    willCacheResponse (only for an answer the URL cache would keep) and didFinishLoading, or
//    didFailWithError at any point after the first willSendRequest. Nothing comes after the
//    finish or failure.
//  - willSendRequest may change the request or refuse it (std::nullopt). Refusing the first
//    request ends the load silently; refusing a redirect makes the redirect response the final
//    answer (didReceiveResponse with it, then didFinishLoading). Redirects are followed by the
//    loader, at most 20 (then kURLErrorHTTPTooManyRedirects); 301, 302 and 303 turn a POST into
//    a GET without body. A redirect to a scheme that no URL protocol handles and that is not
//    http or https fails with kURLErrorUnsupportedURL once accepted.
//  - An HTTP status of 400 or more is an answer like any other: it finishes the load.
//  - A connection that closes before the body announced is complete fails the load
//    (kURLErrorNetworkConnectionLost); a body is never silently cut short.
//  - Time-outs: the load fails with kURLErrorTimedOut when the Clock passed timeoutInterval
//    since the request went out or since it last received anything. While a request waits on
//    the network the loader holds a PendingWork, so a virtual clock only moves when a test
//    advances it.
//  - cancel() from any thread: once it returns, no delegate call starts (a call running on
//    another thread finishes first; cancel() waits for it). A cancelled load reports nothing.
//    The loader keeps its delegate until the load ended or was cancelled.
//  - Server trust (https): by default the system's verification applies (authorities and
//    host). A delegate whose handlesServerTrust answers true (asked once, with the first
//    willSendRequest) decides instead: each TLS connection of the load offers its chain to
//    didReceiveServerTrust, after willSendRequest and before anything is sent, and the
//    handshake waits for `decide` (callable from any thread; dropping it unanswered refuses;
//    the load's time-out runs meanwhile). Refuse fails the load with
//    kURLErrorServerCertificateUntrusted; the request never reaches the server. While it waits
//    no other load progresses, so decide promptly and never wait for another load there.
//    Such a load's connections are its own: never reused by or from other loads.
//  - Upload progress: after each part of a request body went out, didSendBodyData with that
//    part's bytes, the bytes sent so far and the body's length (in that order).
//  - HTTP authentication (Credential.h): a 401 whose "WWW-Authenticate" offers Basic is a
//    challenge when the delegate's handlesAuthenticationChallenges answers true (asked once,
//    with the first willSendRequest), or when the load may use the credential storage
//    (shouldUseCredentialStorage, asked then too) and it holds a credential for the space. The
//    401 is then held back and didReceiveAuthenticationChallenge offered; `answer` may be called
//    from any thread, once (dropping it unanswered continues without credential). A credential
//    sends the request again with it (kept in the storage by its persistence when the load uses
//    the storage); a refused one makes a new challenge with previousFailureCount one higher.
//    Continuing without credential makes the 401 the answer; cancelling fails the load with
//    kURLErrorUserCancelledAuthentication. A load that does not handle challenges answers a
//    challenge from the storage once, then takes the 401. A credential is never sent to another
//    host after a redirect.
//  - A file URL answers the file's bytes (a response typed by the extension, no status), or
//    fails with kURLErrorFileDoesNotExist.
//  - The URL cache and the cookie jar are consulted as the request's cache policy and
//    HTTPShouldHandleCookies say (URLCache.h, CookieStorage.h); URL protocols (URLProtocol.h)
//    are asked before the network.

#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/net/Credential.h"
#include "platform/net/ServerTrust.h"
#include "platform/net/URLRequest.h"

namespace platform {
class Queue;
class OperationQueue;
}  // namespace platform

namespace platform::net {

class URLLoader;

// Every operation is optional; the defaults behave as a delegate that does not answer it.
class URLLoaderDelegate {
  public:
    virtual ~URLLoaderDelegate() = default;
    virtual std::optional<URLRequest> willSendRequest(
        URLLoader& /*loader*/,
        const URLRequest& request,
        const std::optional<HTTPURLResponse>& /*redirectResponse*/) {
        return request;
    }
    virtual void didReceiveResponse(URLLoader& /*loader*/, const HTTPURLResponse& /*response*/) {}
    virtual void didReceiveData(URLLoader& /*loader*/, const Data& /*data*/) {}
    // std::nullopt keeps the answer out of the URL cache.
    virtual std::optional<CachedURLResponse> willCacheResponse(URLLoader& /*loader*/,
                                                               const CachedURLResponse& response) {
        return response;
    }
    virtual bool handlesServerTrust(URLLoader& /*loader*/) { return false; }
    virtual void didReceiveServerTrust(URLLoader& /*loader*/,
                                       const ServerTrust& /*trust*/,
                                       std::function<void(TrustDecision)> decide) {
        decide(TrustDecision::UseDefault);
    }
    virtual void didSendBodyData(URLLoader& /*loader*/,
                                 int64_t /*bytesWritten*/,
                                 int64_t /*totalBytesWritten*/,
                                 int64_t /*totalBytesExpectedToWrite*/) {}
    virtual bool handlesAuthenticationChallenges(URLLoader& /*loader*/) { return false; }
    virtual void didReceiveAuthenticationChallenge(URLLoader& /*loader*/,
                                                   const AuthenticationChallenge& /*challenge*/,
                                                   std::function<void(ChallengeAnswer)> answer) {
        answer(ChallengeAnswer{});
    }
    virtual bool shouldUseCredentialStorage(URLLoader& /*loader*/) { return true; }
    virtual void didFinishLoading(URLLoader& /*loader*/) {}
    virtual void didFailWithError(URLLoader& /*loader*/, const Error& /*error*/) {}
};

class URLLoader : public std::enable_shared_from_this<URLLoader> {
  public:
    // Starts loading at once. `queue` null means the main queue.
    static std::shared_ptr<URLLoader> start(const URLRequest& request,
                                            std::shared_ptr<URLLoaderDelegate> delegate,
                                            std::shared_ptr<Queue> queue = nullptr);
    void cancel();

    // The request as first given.
    const URLRequest& originalRequest() const { return original_; }

    ~URLLoader();
    URLLoader(const URLLoader&) = delete;
    URLLoader& operator=(const URLLoader&) = delete;

    struct State;

  private:
    explicit URLLoader(const URLRequest& request) : original_(request) {}
    URLRequest original_;
    std::shared_ptr<State> state_;
};

// One request, answered whole: completion(response, body, error) runs once on the given
// queue, with error set exactly when the load failed (response and body are then what had
// arrived, if anything).
using URLCompletion = std::function<void(const std::optional<HTTPURLResponse>& response,
                                         const Data& data,
                                         const std::optional<Error>& error)>;
void sendAsynchronousRequest(const URLRequest& request,
                             std::shared_ptr<OperationQueue> queue,
                             URLCompletion completion);
void sendAsynchronousRequest(const URLRequest& request,
                             std::shared_ptr<Queue> queue,
                             URLCompletion completion);

// Blocks the calling thread until the load ended; aborts with a message on the main thread.
// Answers the body; response and error through the out-parameters when not null.
Data sendSynchronousRequest(const URLRequest& request,
                            std::optional<HTTPURLResponse>* response,
                            Error* error);

}  // namespace platform::net
