#pragma once
// One URL load as a queued operation: the bottom layer of the Puffin HTTP stack. It sends its
// request through platform/net, writes the body it receives into its output stream, reports
// progress, lets its security policy decide about the server's certificates, and finishes with
// a response and its data or with an error. PFNHTTPRequestOperation adds response parsing.
//
// Threads and order:
//  - Every load runs on one process-wide network thread, "PFNNetworking", with its own run loop;
//    the start, pause and cancellation work is carried out there, and the load's callbacks
//    arrive there.
//  - start, cancel, pause, resume and the accessors may be called from any thread (one
//    recursive lock guards state changes).
//  - Challenges: server trust goes to the security policy, HTTP authentication to the
//    operation's credential, unless an authentication-challenge block answers them.
//  - Progress blocks, totalBytesRead updates and the start and finish notifications run on the
//    main queue; the completion block runs on completionQueue (the main queue when unset) inside
//    completionGroup (a process-wide group when unset), never on the network thread.
//  - A write failure of the output stream fails the load with the stream's error: the body is
//    never silently cut short.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/dispatch/Operation.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/net/Credential.h"
#include "platform/net/ServerTrust.h"
#include "platform/net/URLRequest.h"
#include "puffin/networking/PFNOutputStream.h"
#include "puffin/networking/PFNSecurityPolicy.h"

namespace platform {
class Group;
class Queue;
class RunLoopThread;
namespace net {
class URLLoader;
}
}  // namespace platform

enum PFNOperationState : int64_t {
    PFNOperationPausedState = -1,
    PFNOperationReadyState = 1,
    PFNOperationExecutingState = 2,
    PFNOperationFinishedState = 3,
};

// Posted on the main queue with the operation as sender.
inline constexpr char PFNNetworkingOperationDidStartNotification[] =
    "org.qen.puffin.networking.operation.start";
inline constexpr char PFNNetworkingOperationDidFinishNotification[] =
    "org.qen.puffin.networking.operation.finish";

class PFNURLConnectionOperation : public platform::Operation {
  public:
    using ProgressBlock =
        std::function<void(uint64_t bytes, int64_t totalBytes, int64_t totalBytesExpected)>;
    // Answers a challenge instead of the built-in handling: a server-trust challenge
    // (serverTrust set; UseCredential accepts the chain, Cancel refuses it, the others leave it
    // to the system's verification) or an HTTP authentication challenge (credentialChallenge
    // set). `sender` may be called from any thread, once.
    struct Challenge {
        std::optional<platform::net::ServerTrust> serverTrust;
        std::optional<platform::net::AuthenticationChallenge> credentialChallenge;
    };
    using AuthenticationChallengeBlock =
        std::function<void(const Challenge& challenge,
                           std::function<void(platform::net::ChallengeAnswer)> sender)>;
    using CacheResponseBlock = std::function<std::optional<platform::net::CachedURLResponse>(
        const platform::net::CachedURLResponse& cachedResponse)>;
    using RedirectResponseBlock = std::function<std::optional<platform::net::URLRequest>(
        const platform::net::URLRequest& request,
        const std::optional<platform::net::HTTPURLResponse>& redirectResponse)>;

    static std::shared_ptr<PFNURLConnectionOperation> create(platform::net::URLRequest request);
    ~PFNURLConnectionOperation() override;

    // The shared network thread "PFNNetworking", started on first use; lives until exit.
    static platform::RunLoopThread& networkRequestThread();

    void start() override;
    void cancel() override;
    virtual void pause();

    // Asks the application for time to finish in the background (once: later calls while a
    // task is held do nothing). When that time runs out, `handler` (when given) runs, then the
    // operation is cancelled and its task ended. The task ends with the operation's life.
    void setShouldExecuteAsBackgroundTaskWithExpirationHandler(std::function<void()> handler);
    uint64_t backgroundTaskIdentifier() const;
    void resume();
    bool isPaused() const;
    int64_t state() const;

    // Wrapped so that `block` runs on completionQueue inside completionGroup; null clears it.
    void setCompletionBlock(std::function<void()> block);
    // The block last given to setCompletionBlock (until the operation finished).
    std::function<void()> completionBlock() const;

    // The operations followed by one more operation that depends on all of them and calls
    // `completion` with them on the main queue once each one's own completion block ran;
    // `progress` (finished, total) follows each of those blocks on its completion queue. An
    // empty list gives one operation that calls `completion` with an empty list.
    using BatchProgress = std::function<void(uint64_t finished, uint64_t total)>;
    using BatchCompletion =
        std::function<void(const std::vector<std::shared_ptr<PFNURLConnectionOperation>>&)>;
    static std::vector<std::shared_ptr<platform::Operation>>
    batchOfRequestOperationsProgressBlockCompletionBlock(
        const std::vector<std::shared_ptr<PFNURLConnectionOperation>>& operations,
        BatchProgress progress,
        BatchCompletion completion);
    void setUploadProgressBlock(ProgressBlock block);
    void setDownloadProgressBlock(ProgressBlock block);
    void setWillSendRequestForAuthenticationChallengeBlock(AuthenticationChallengeBlock block);
    void setCacheResponseBlock(CacheResponseBlock block);
    void setRedirectResponseBlock(RedirectResponseBlock block);

    platform::net::URLRequest request() const;
    void setRequest(platform::net::URLRequest request);
    std::optional<platform::net::HTTPURLResponse> response() const;
    // The load's or the cancellation's error.
    virtual std::optional<platform::Error> error() const;
    std::optional<platform::Data> responseData() const;
    std::optional<std::string> responseString();
    uint64_t responseStringEncoding();
    int64_t totalBytesRead() const;

    std::shared_ptr<PFNOutputStream> outputStream();
    // Before start: where the body goes instead of memory (responseData is then unset).
    void setOutputStream(std::shared_ptr<PFNOutputStream> stream);

    // The loader's answer to whether the credential storage may be used (and kept).
    bool shouldUseCredentialStorage() const;
    void setShouldUseCredentialStorage(bool value);
    // Offered to an HTTP authentication challenge when no block answers it: on the first
    // challenge only; without one, or after a refusal, the 401 is the answer.
    std::optional<platform::net::Credential> credential() const;
    void setCredential(std::optional<platform::net::Credential> credential);
    std::shared_ptr<PFNSecurityPolicy> securityPolicy() const;
    void setSecurityPolicy(std::shared_ptr<PFNSecurityPolicy> policy);
    std::shared_ptr<platform::Queue> completionQueue() const;
    void setCompletionQueue(std::shared_ptr<platform::Queue> queue);
    std::shared_ptr<platform::Group> completionGroup() const;
    void setCompletionGroup(std::shared_ptr<platform::Group> group);
    platform::Dictionary userInfo() const;
    void setUserInfo(platform::Dictionary userInfo);

    std::string description() const;

    // A fresh operation (ready, default policy) for the same request with the same progress,
    // challenge, cache and redirect blocks, completion queue and group.
    std::shared_ptr<PFNURLConnectionOperation> copy() const;

    // Archiving, under the property names: pauses the operation first (a load on the wire
    // stops), then writes "request", "state" (Ready for an operation that was ready, running
    // or paused, else its state), "response", "error", "responseData" and "totalBytesRead".
    platform::Dictionary encodeWithCoder();
    // An operation for the archived request with the archived results; the state is applied
    // as a transition from Ready, so only the transitions allowed from there take effect.
    // Null when the archive holds no readable request.
    static std::shared_ptr<PFNURLConnectionOperation> operationWithCoder(
        const platform::Value& archive);

  protected:
    // Reads the archived state and results into this operation (made for the archived request).
    void decodeFromCoder(const platform::Dictionary& archive);
    // Copies what copy() carries over into `other`.
    void copyInto(PFNURLConnectionOperation& other) const;
    explicit PFNURLConnectionOperation(platform::net::URLRequest request);
    mutable std::recursive_mutex lock_;
    uint64_t backgroundTaskIdentifier_ = 0;

  private:
    class Connection;
    friend class Connection;

    void setState(int64_t state);
    void operationDidStart();
    void operationDidPause();
    void cancelConnection();
    void finish();
    void postNotification(const std::string& name);
    // Connection callbacks, on the network thread.
    void connectionDidReceiveResponse(const platform::net::HTTPURLResponse& response);
    void connectionDidReceiveData(const platform::Data& data);
    void connectionDidSendBodyData(int64_t bytes, int64_t total, int64_t expected);
    void connectionDidFinishLoading();
    void connectionDidFail(const platform::Error& error);
    void performOnNetworkThread(void (PFNURLConnectionOperation::*work)());

    int64_t state_ = PFNOperationReadyState;
    bool shouldUseCredentialStorage_ = true;
    std::optional<platform::net::Credential> credential_;
    platform::net::URLRequest request_;
    std::optional<platform::net::HTTPURLResponse> response_;
    std::optional<platform::Error> error_;
    std::optional<platform::Data> responseData_;
    std::optional<std::string> responseString_;
    uint64_t responseStringEncoding_ = 0;
    int64_t totalBytesRead_ = 0;  // main queue
    std::shared_ptr<PFNOutputStream> outputStream_;
    std::shared_ptr<PFNSecurityPolicy> securityPolicy_;
    std::shared_ptr<platform::Queue> completionQueue_;
    std::shared_ptr<platform::Group> completionGroup_;
    platform::Dictionary userInfo_;
    std::function<void()> completionBlock_;
    ProgressBlock uploadProgress_;
    ProgressBlock downloadProgress_;
    AuthenticationChallengeBlock authenticationChallenge_;
    CacheResponseBlock cacheResponse_;
    RedirectResponseBlock redirectResponse_;
    std::shared_ptr<platform::net::URLLoader> connection_;
};
