#pragma once
// URL-protocol interception: a hook that may answer any request itself instead of the network
// (the web view's scripts, the ad page's injected script, tests). Every load asks the
// registered protocols, newest first, on the network thread, before it goes to the network;
// the first whose canHandle() says yes answers it through a URLProtocolClient.
//
// Promises:
//  - canHandle() and startLoading() run on the network thread; keep them quick. The client may
//    be called from any thread, at any later time: response, then data (any number of times),
//    then finish, or fail at any point. Calls after finish or fail, or after the load was
//    cancelled, are ignored. A finish without a response delivers an empty non-HTTP answer.
//  - stopLoading() runs on the network thread when the load is cancelled before the protocol
//    finished it.
//  - Interception answers are neither looked up in nor stored in the URL cache, and have no
//    time-out of their own.

#include <memory>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/net/URLRequest.h"

namespace platform::net {

class URLProtocolClient {
  public:
    virtual ~URLProtocolClient() = default;
    virtual void didReceiveResponse(const HTTPURLResponse& response) = 0;
    virtual void didLoadData(const Data& data) = 0;
    virtual void didFinishLoading() = 0;
    virtual void didFailWithError(const Error& error) = 0;
};

class URLProtocol {
  public:
    virtual ~URLProtocol() = default;
    virtual bool canHandle(const URLRequest& request) = 0;
    virtual void startLoading(const URLRequest& request,
                              std::shared_ptr<URLProtocolClient> client) = 0;
    virtual void stopLoading(const std::shared_ptr<URLProtocolClient>& /*client*/) {}
};

// Thread-safe; a load already started keeps the protocol it chose.
void registerProtocol(std::shared_ptr<URLProtocol> protocol);
void unregisterProtocol(const std::shared_ptr<URLProtocol>& protocol);

}  // namespace platform::net
