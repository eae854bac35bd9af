#include "puffin/networking/PFNURLConnectionOperation.h"

#include <cstdio>

#include "platform/dispatch/Group.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/URLLoader.h"
#include "platform/ui/Application.h"
#include "puffin/networking/PFNNetworking.h"

using platform::Data;
using platform::Error;
using platform::Value;
using platform::net::CachedURLResponse;
using platform::net::HTTPURLResponse;
using platform::net::ServerTrust;
using platform::net::TrustDecision;
using platform::net::URLLoader;
using platform::net::URLRequest;

namespace {

const std::shared_ptr<platform::Group>& sharedCompletionGroup() {
    static const auto* group =
        new std::shared_ptr<platform::Group>(std::make_shared<platform::Group>());
    return *group;
}

const char* keyForState(int64_t state) {
    switch (state) {
        case PFNOperationPausedState:
            return "isPaused";
        case PFNOperationReadyState:
            return "isReady";
        case PFNOperationExecutingState:
            return "isExecuting";
        case PFNOperationFinishedState:
            return "isFinished";
        default:
            return "state";
    }
}

bool transitionAllowed(int64_t from, int64_t to, bool cancelled) {
    switch (from) {
        case PFNOperationReadyState:
            return to == PFNOperationPausedState || to == PFNOperationExecutingState ||
                   (to == PFNOperationFinishedState && cancelled);
        case PFNOperationExecutingState:
            return to == PFNOperationPausedState || to == PFNOperationFinishedState;
        case PFNOperationFinishedState:
            return false;
        case PFNOperationPausedState:
            return to == PFNOperationReadyState;
        default:
            return to == PFNOperationPausedState || to == PFNOperationReadyState ||
                   to == PFNOperationExecutingState || to == PFNOperationFinishedState;
    }
}

}  // namespace

// The load's delegate: forwards to the operation. It holds the operation while the load runs
// (the loader keeps its delegate until the load ended or was cancelled), so an operation
// started outside any queue lives until its load is over. Calls arrive on the network thread.
class PFNURLConnectionOperation::Connection : public platform::net::URLLoaderDelegate {
  public:
    explicit Connection(std::shared_ptr<PFNURLConnectionOperation> operation)
        : operation_(std::move(operation)) {}

    std::optional<URLRequest> willSendRequest(
        URLLoader&,
        const URLRequest& request,
        const std::optional<HTTPURLResponse>& redirectResponse) override {
        auto op = operation_;
        if (!op) return request;
        RedirectResponseBlock block;
        {
            std::lock_guard lock(op->lock_);
            block = op->redirectResponse_;
        }
        return block ? block(request, redirectResponse) : std::optional<URLRequest>(request);
    }
    void didReceiveResponse(URLLoader&, const HTTPURLResponse& response) override {
        if (auto op = operation_) op->connectionDidReceiveResponse(response);
    }
    void didReceiveData(URLLoader&, const Data& data) override {
        if (auto op = operation_) op->connectionDidReceiveData(data);
    }
    std::optional<CachedURLResponse> willCacheResponse(URLLoader&,
                                                       const CachedURLResponse& response) override {
        auto op = operation_;
        if (!op) return response;
        CacheResponseBlock block;
        {
            std::lock_guard lock(op->lock_);
            block = op->cacheResponse_;
        }
        if (block) return block(response);
        if (op->isCancelled()) return std::nullopt;
        return response;
    }
    bool handlesServerTrust(URLLoader&) override { return true; }
    void didReceiveServerTrust(URLLoader&,
                               const ServerTrust& trust,
                               std::function<void(TrustDecision)> decide) override {
        auto op = operation_;
        if (!op) {
            decide(TrustDecision::Refuse);
            return;
        }
        AuthenticationChallengeBlock block;
        std::shared_ptr<PFNSecurityPolicy> policy;
        {
            std::lock_guard lock(op->lock_);
            block = op->authenticationChallenge_;
            policy = op->securityPolicy_;
        }
        if (block) {
            block(Challenge{trust, std::nullopt},
                  [decide = std::move(decide)](platform::net::ChallengeAnswer answer) {
                      using D = platform::net::ChallengeDisposition;
                      decide(answer.disposition == D::UseCredential ? TrustDecision::Accept
                             : answer.disposition == D::CancelAuthenticationChallenge
                                 ? TrustDecision::Refuse
                                 : TrustDecision::UseDefault);
                  });
            return;
        }
        const bool accepted = policy && policy->evaluateServerTrustForDomain(trust, trust.host);
        decide(accepted ? TrustDecision::Accept : TrustDecision::Refuse);
    }
    bool handlesAuthenticationChallenges(URLLoader&) override { return true; }
    bool shouldUseCredentialStorage(URLLoader&) override {
        auto op = operation_;
        return !op || op->shouldUseCredentialStorage();
    }
    void didReceiveAuthenticationChallenge(
        URLLoader&,
        const platform::net::AuthenticationChallenge& challenge,
        std::function<void(platform::net::ChallengeAnswer)> answer) override {
        using D = platform::net::ChallengeDisposition;
        auto op = operation_;
        if (!op) {
            answer({D::CancelAuthenticationChallenge, std::nullopt});
            return;
        }
        AuthenticationChallengeBlock block;
        std::optional<platform::net::Credential> credential;
        {
            std::lock_guard lock(op->lock_);
            block = op->authenticationChallenge_;
            credential = op->credential_;
        }
        if (block) {
            block(Challenge{std::nullopt, challenge}, std::move(answer));
            return;
        }
        if (challenge.previousFailureCount != 0 || !credential) {
            answer({D::ContinueWithoutCredential, std::nullopt});
            return;
        }
        answer({D::UseCredential, credential});
    }
    void didSendBodyData(URLLoader&, int64_t bytes, int64_t total, int64_t expected) override {
        if (auto op = operation_) op->connectionDidSendBodyData(bytes, total, expected);
    }
    void didFinishLoading(URLLoader&) override {
        if (auto op = operation_) op->connectionDidFinishLoading();
    }
    void didFailWithError(URLLoader&, const Error& error) override {
        if (auto op = operation_) op->connectionDidFail(error);
    }

  private:
    std::shared_ptr<PFNURLConnectionOperation> operation_;
};

platform::RunLoopThread& PFNURLConnectionOperation::networkRequestThread() {
    // Never stopped: loads may be in flight until the process ends.
    static auto* thread = new platform::RunLoopThread("PFNNetworking");
    return *thread;
}

std::shared_ptr<PFNURLConnectionOperation> PFNURLConnectionOperation::create(URLRequest request) {
    return std::shared_ptr<PFNURLConnectionOperation>(
        new PFNURLConnectionOperation(std::move(request)));
}

PFNURLConnectionOperation::PFNURLConnectionOperation(URLRequest request)
    : request_(std::move(request)), securityPolicy_(PFNSecurityPolicy::defaultPolicy()) {}

PFNURLConnectionOperation::~PFNURLConnectionOperation() {
    if (outputStream_) outputStream_->close();
    if (connection_) connection_->cancel();
    if (backgroundTaskIdentifier_ != 0)
        platform::ui::Application::shared().endBackgroundTask(backgroundTaskIdentifier_);
}

void PFNURLConnectionOperation::setShouldExecuteAsBackgroundTaskWithExpirationHandler(
    std::function<void()> handler) {
    std::lock_guard lock(lock_);
    if (backgroundTaskIdentifier_ != 0) return;
    std::weak_ptr<PFNURLConnectionOperation> weakSelf =
        std::static_pointer_cast<PFNURLConnectionOperation>(shared_from_this());
    backgroundTaskIdentifier_ =
        platform::ui::Application::shared().beginBackgroundTaskWithExpirationHandler(
            [weakSelf, handler = std::move(handler)] {
                if (handler) handler();
                auto self = weakSelf.lock();
                if (!self) return;
                self->cancel();
                std::lock_guard lock(self->lock_);
                platform::ui::Application::shared().endBackgroundTask(
                    self->backgroundTaskIdentifier_);
                self->backgroundTaskIdentifier_ = 0;
            });
}

uint64_t PFNURLConnectionOperation::backgroundTaskIdentifier() const {
    std::lock_guard lock(lock_);
    return backgroundTaskIdentifier_;
}

void PFNURLConnectionOperation::performOnNetworkThread(void (PFNURLConnectionOperation::*work)()) {
    auto self = std::static_pointer_cast<PFNURLConnectionOperation>(shared_from_this());
    networkRequestThread().queue()->async([self, work] { (self.get()->*work)(); });
}

void PFNURLConnectionOperation::postNotification(const std::string& name) {
    const void* sender = this;
    platform::Queue::main()->async(
        [name, sender] { platform::NotificationCenter::defaultCenter().post(name, sender); });
}

void PFNURLConnectionOperation::setState(int64_t state) {
    std::lock_guard lock(lock_);
    if (!transitionAllowed(state_, state, isCancelled())) return;
    state_ = state;
    if (state == PFNOperationExecutingState) setExecuting(true);
    if (state == PFNOperationFinishedState) setFinished(true);
}

int64_t PFNURLConnectionOperation::state() const {
    std::lock_guard lock(lock_);
    return state_;
}

bool PFNURLConnectionOperation::isPaused() const {
    return state() == PFNOperationPausedState;
}

void PFNURLConnectionOperation::start() {
    std::lock_guard lock(lock_);
    if (isCancelled()) {
        performOnNetworkThread(&PFNURLConnectionOperation::cancelConnection);
    } else if (state_ == PFNOperationReadyState && isReady()) {
        setState(PFNOperationExecutingState);
        performOnNetworkThread(&PFNURLConnectionOperation::operationDidStart);
    }
}

void PFNURLConnectionOperation::operationDidStart() {
    {
        std::lock_guard lock(lock_);
        if (!isCancelled()) {
            auto stream = outputStream();
            stream->open();
            connection_ = URLLoader::start(
                request_,
                std::make_shared<Connection>(
                    std::static_pointer_cast<PFNURLConnectionOperation>(shared_from_this())),
                networkRequestThread().queue());
        }
    }
    postNotification(PFNNetworkingOperationDidStartNotification);
}

void PFNURLConnectionOperation::finish() {
    setState(PFNOperationFinishedState);
    postNotification(PFNNetworkingOperationDidFinishNotification);
}

void PFNURLConnectionOperation::cancel() {
    std::lock_guard lock(lock_);
    if (isFinished() || isCancelled()) return;
    platform::Operation::cancel();
    if (state_ == PFNOperationExecutingState)
        performOnNetworkThread(&PFNURLConnectionOperation::cancelConnection);
}

void PFNURLConnectionOperation::cancelConnection() {
    const std::string url = request().url.absoluteString();
    Error error(platform::net::kURLErrorDomain, platform::net::kURLErrorCancelled);
    if (!url.empty()) error.userInfo[platform::net::kFailingURLKey] = url;
    if (isFinished()) return;
    std::shared_ptr<URLLoader> connection;
    {
        std::lock_guard lock(lock_);
        connection = connection_;
    }
    if (connection) {
        connection->cancel();
        connectionDidFail(error);
    } else {
        {
            std::lock_guard lock(lock_);
            error_ = error;
        }
        finish();
    }
}

void PFNURLConnectionOperation::pause() {
    std::lock_guard lock(lock_);
    if (state_ == PFNOperationPausedState || isFinished() || isCancelled()) return;
    if (state_ == PFNOperationExecutingState) {
        performOnNetworkThread(&PFNURLConnectionOperation::operationDidPause);
        postNotification(PFNNetworkingOperationDidFinishNotification);
    }
    setState(PFNOperationPausedState);
}

void PFNURLConnectionOperation::operationDidPause() {
    std::lock_guard lock(lock_);
    if (connection_) connection_->cancel();
    connection_.reset();
}

void PFNURLConnectionOperation::resume() {
    std::lock_guard lock(lock_);
    if (state_ != PFNOperationPausedState) return;
    setState(PFNOperationReadyState);
    start();
}

void PFNURLConnectionOperation::connectionDidReceiveResponse(const HTTPURLResponse& response) {
    std::lock_guard lock(lock_);
    response_ = response;
}

void PFNURLConnectionOperation::connectionDidReceiveData(const Data& data) {
    const size_t length = data.size();
    auto stream = outputStream();
    while (true) {
        if (stream->hasSpaceAvailable()) {
            size_t written = 0;
            while (written < length) {
                const int64_t n = stream->write(data.data() + written, length - written);
                if (n < 0) {
                    // The bytes cannot be kept: the load fails instead of ending with a body
                    // that is silently short.
                    std::shared_ptr<URLLoader> connection;
                    {
                        std::lock_guard lock(lock_);
                        connection = connection_;
                    }
                    if (connection) connection->cancel();
                    connectionDidFail(stream->streamError().value_or(Error::withDescription(
                        PFNNetworkingErrorDomain, -1, "The output stream refused the data")));
                    return;
                }
                written += static_cast<size_t>(n);
            }
            break;
        }
        if (auto streamError = stream->streamError()) {
            std::shared_ptr<URLLoader> connection;
            {
                std::lock_guard lock(lock_);
                connection = connection_;
            }
            if (connection) connection->cancel();
            connectionDidFail(*streamError);
            return;
        }
    }
    auto self = std::static_pointer_cast<PFNURLConnectionOperation>(shared_from_this());
    platform::Queue::main()->async([self, length] {
        int64_t total;
        ProgressBlock progress;
        int64_t expected = -1;
        {
            std::lock_guard lock(self->lock_);
            self->totalBytesRead_ += static_cast<int64_t>(length);
            total = self->totalBytesRead_;
            progress = self->downloadProgress_;
            if (self->response_) expected = self->response_->expectedContentLength();
        }
        if (progress) progress(length, total, expected);
    });
}

void PFNURLConnectionOperation::connectionDidSendBodyData(int64_t bytes,
                                                          int64_t total,
                                                          int64_t expected) {
    ProgressBlock progress;
    {
        std::lock_guard lock(lock_);
        progress = uploadProgress_;
    }
    if (!progress) return;
    platform::Queue::main()->async([progress, bytes, total, expected] {
        progress(static_cast<uint64_t>(bytes), total, expected);
    });
}

void PFNURLConnectionOperation::connectionDidFinishLoading() {
    {
        std::lock_guard lock(lock_);
        if (isFinished()) return;
        auto stream = outputStream();
        responseData_ = stream->dataWrittenToMemory();
        stream->close();
        if (responseData_) outputStream_.reset();
        connection_.reset();
    }
    finish();
}

void PFNURLConnectionOperation::connectionDidFail(const Error& error) {
    {
        std::lock_guard lock(lock_);
        if (isFinished()) return;
        error_ = error;
        if (outputStream_) {
            outputStream_->close();
            if (responseData_) outputStream_.reset();
        }
        connection_.reset();
    }
    finish();
}

void PFNURLConnectionOperation::setCompletionBlock(std::function<void()> block) {
    std::lock_guard lock(lock_);
    completionBlock_ = block;
    if (!block) {
        platform::Operation::setCompletionBlock(nullptr);
        return;
    }
    std::weak_ptr<PFNURLConnectionOperation> weak =
        std::static_pointer_cast<PFNURLConnectionOperation>(shared_from_this());
    platform::Operation::setCompletionBlock([weak, block = std::move(block)] {
        auto self = weak.lock();
        std::shared_ptr<platform::Group> group = self ? self->completionGroup() : nullptr;
        std::shared_ptr<platform::Queue> queue = self ? self->completionQueue() : nullptr;
        if (!group) group = sharedCompletionGroup();
        if (!queue) queue = platform::Queue::main();
        group->enter();
        // The operation stays alive until its block ran.
        queue->async([group, block, self] {
            block();
            group->leave();
        });
    });
}

std::function<void()> PFNURLConnectionOperation::completionBlock() const {
    std::lock_guard lock(lock_);
    return isFinished() ? nullptr : completionBlock_;
}

std::vector<std::shared_ptr<platform::Operation>>
PFNURLConnectionOperation::batchOfRequestOperationsProgressBlockCompletionBlock(
    const std::vector<std::shared_ptr<PFNURLConnectionOperation>>& operations,
    BatchProgress progress,
    BatchCompletion completion) {
    if (operations.empty()) {
        return {platform::BlockOperation::create([completion] {
            platform::Queue::main()->async([completion] {
                if (completion) completion({});
            });
        })};
    }
    auto group = std::make_shared<platform::Group>();
    auto batch = platform::BlockOperation::create([group, operations, completion] {
        group->notify(platform::Queue::main(), [operations, completion] {
            if (completion) completion(operations);
        });
    });
    std::vector<std::weak_ptr<PFNURLConnectionOperation>> all(operations.begin(), operations.end());
    const uint64_t total = operations.size();
    std::vector<std::shared_ptr<platform::Operation>> result;
    for (const auto& operation : operations) {
        auto kept = operation->completionBlock();
        // Runs on the operation's completion queue (setCompletionBlock puts it there).
        operation->setCompletionBlock([kept, all, total, progress, group] {
            if (kept) kept();
            uint64_t finished = 0;
            for (const auto& weak : all)
                if (auto op = weak.lock(); op && op->isFinished()) ++finished;
            if (progress) progress(finished, total);
            group->leave();
        });
        group->enter();
        batch->addDependency(operation);
        result.push_back(operation);
    }
    result.push_back(batch);
    return result;
}

void PFNURLConnectionOperation::setUploadProgressBlock(ProgressBlock block) {
    std::lock_guard lock(lock_);
    uploadProgress_ = std::move(block);
}

void PFNURLConnectionOperation::setDownloadProgressBlock(ProgressBlock block) {
    std::lock_guard lock(lock_);
    downloadProgress_ = std::move(block);
}

void PFNURLConnectionOperation::setWillSendRequestForAuthenticationChallengeBlock(
    AuthenticationChallengeBlock block) {
    std::lock_guard lock(lock_);
    authenticationChallenge_ = std::move(block);
}

void PFNURLConnectionOperation::setCacheResponseBlock(CacheResponseBlock block) {
    std::lock_guard lock(lock_);
    cacheResponse_ = std::move(block);
}

void PFNURLConnectionOperation::setRedirectResponseBlock(RedirectResponseBlock block) {
    std::lock_guard lock(lock_);
    redirectResponse_ = std::move(block);
}

URLRequest PFNURLConnectionOperation::request() const {
    std::lock_guard lock(lock_);
    return request_;
}

void PFNURLConnectionOperation::setRequest(URLRequest request) {
    std::lock_guard lock(lock_);
    request_ = std::move(request);
}

std::optional<HTTPURLResponse> PFNURLConnectionOperation::response() const {
    std::lock_guard lock(lock_);
    return response_;
}

std::optional<Error> PFNURLConnectionOperation::error() const {
    std::lock_guard lock(lock_);
    return error_;
}

std::optional<Data> PFNURLConnectionOperation::responseData() const {
    std::lock_guard lock(lock_);
    return responseData_;
}

uint64_t PFNURLConnectionOperation::responseStringEncoding() {
    std::lock_guard lock(lock_);
    if (responseStringEncoding_ == 0 && response_) {
        uint64_t encoding = kPFNUTF8Encoding;
        if (const auto& name = response_->textEncodingName()) {
            if (uint64_t named = PFNEncodingForIANAName(*name)) encoding = named;
        }
        responseStringEncoding_ = encoding;
    }
    return responseStringEncoding_;
}

std::optional<std::string> PFNURLConnectionOperation::responseString() {
    std::lock_guard lock(lock_);
    if (!responseString_ && response_ && responseData_) {
        const std::string bytes = responseData_->toString();
        if (responseStringEncoding() == kPFNLatin1Encoding) {
            std::string text;
            for (unsigned char c : bytes) {
                if (c < 0x80) {
                    text += static_cast<char>(c);
                } else {
                    text += static_cast<char>(0xC0 | (c >> 6));
                    text += static_cast<char>(0x80 | (c & 0x3F));
                }
            }
            responseString_ = text;
        } else {
            responseString_ = bytes;
        }
    }
    return responseString_;
}

int64_t PFNURLConnectionOperation::totalBytesRead() const {
    std::lock_guard lock(lock_);
    return totalBytesRead_;
}

std::shared_ptr<PFNOutputStream> PFNURLConnectionOperation::outputStream() {
    std::lock_guard lock(lock_);
    if (!outputStream_) outputStream_ = PFNOutputStream::outputStreamToMemory();
    return outputStream_;
}

void PFNURLConnectionOperation::setOutputStream(std::shared_ptr<PFNOutputStream> stream) {
    std::lock_guard lock(lock_);
    if (stream == outputStream_) return;
    if (outputStream_) outputStream_->close();
    outputStream_ = std::move(stream);
}

std::optional<platform::net::Credential> PFNURLConnectionOperation::credential() const {
    std::lock_guard lock(lock_);
    return credential_;
}

void PFNURLConnectionOperation::setCredential(std::optional<platform::net::Credential> credential) {
    std::lock_guard lock(lock_);
    credential_ = std::move(credential);
}

bool PFNURLConnectionOperation::shouldUseCredentialStorage() const {
    std::lock_guard lock(lock_);
    return shouldUseCredentialStorage_;
}

void PFNURLConnectionOperation::setShouldUseCredentialStorage(bool value) {
    std::lock_guard lock(lock_);
    shouldUseCredentialStorage_ = value;
}

std::shared_ptr<PFNSecurityPolicy> PFNURLConnectionOperation::securityPolicy() const {
    std::lock_guard lock(lock_);
    return securityPolicy_;
}

void PFNURLConnectionOperation::setSecurityPolicy(std::shared_ptr<PFNSecurityPolicy> policy) {
    std::lock_guard lock(lock_);
    securityPolicy_ = std::move(policy);
}

std::shared_ptr<platform::Queue> PFNURLConnectionOperation::completionQueue() const {
    std::lock_guard lock(lock_);
    return completionQueue_;
}

void PFNURLConnectionOperation::setCompletionQueue(std::shared_ptr<platform::Queue> queue) {
    std::lock_guard lock(lock_);
    completionQueue_ = std::move(queue);
}

std::shared_ptr<platform::Group> PFNURLConnectionOperation::completionGroup() const {
    std::lock_guard lock(lock_);
    return completionGroup_;
}

void PFNURLConnectionOperation::setCompletionGroup(std::shared_ptr<platform::Group> group) {
    std::lock_guard lock(lock_);
    completionGroup_ = std::move(group);
}

platform::Dictionary PFNURLConnectionOperation::userInfo() const {
    std::lock_guard lock(lock_);
    return userInfo_;
}

void PFNURLConnectionOperation::setUserInfo(platform::Dictionary userInfo) {
    std::lock_guard lock(lock_);
    userInfo_ = std::move(userInfo);
}

std::shared_ptr<PFNURLConnectionOperation> PFNURLConnectionOperation::copy() const {
    auto other = create(request());
    copyInto(*other);
    return other;
}

void PFNURLConnectionOperation::copyInto(PFNURLConnectionOperation& other) const {
    std::scoped_lock lock(lock_, other.lock_);
    other.uploadProgress_ = uploadProgress_;
    other.downloadProgress_ = downloadProgress_;
    other.authenticationChallenge_ = authenticationChallenge_;
    other.cacheResponse_ = cacheResponse_;
    other.redirectResponse_ = redirectResponse_;
    other.completionQueue_ = completionQueue_;
    other.completionGroup_ = completionGroup_;
}

std::string PFNURLConnectionOperation::description() const {
    std::lock_guard lock(lock_);
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return std::string("<PFNURLConnectionOperation: ") + address +
           ", state: " + keyForState(state_) + ", cancelled: " + (isCancelled() ? "YES" : "NO") +
           " request: " + request_.httpMethod + " " + request_.url.absoluteString() +
           ", response: " +
           (response_
                ? std::to_string(response_->statusCode()) + " " + response_->url().absoluteString()
                : "(null)") +
           ">";
}

// ---- Archiving

namespace {

using platform::Array;
using platform::Dictionary;
using platform::net::HeaderFields;
using platform::net::URL;

const Value* archived(const Dictionary& archive, const char* key) {
    auto it = archive.find(key);
    return it == archive.end() || it->second.isNull() ? nullptr : &it->second;
}

// Header fields as [name, value] pairs, so their order and repeated names survive.
Value encodeHeaders(const HeaderFields& headers) {
    Array pairs;
    for (const auto& [name, value] : headers.entries())
        pairs.push_back(Array{name, value});
    return pairs;
}

HeaderFields decodeHeaders(const Value* value) {
    HeaderFields headers;
    if (!value || !value->array()) return headers;
    for (const auto& pair : *value->array())
        if (pair.array() && pair.array()->size() == 2)
            headers.append((*pair.array())[0].asString(), (*pair.array())[1].asString());
    return headers;
}

Value encodeRequest(const URLRequest& request) {
    Dictionary out{{"URL", request.url.absoluteString()},
                   {"HTTPMethod", request.httpMethod},
                   {"allHTTPHeaderFields", encodeHeaders(request.headers)},
                   {"HTTPBody", request.body},
                   {"cachePolicy", static_cast<int64_t>(request.cachePolicy)},
                   {"timeoutInterval", request.timeoutInterval},
                   {"HTTPShouldHandleCookies", request.HTTPShouldHandleCookies}};
    if (request.mainDocumentURL) out["mainDocumentURL"] = request.mainDocumentURL->absoluteString();
    return out;
}

std::optional<URLRequest> decodeRequest(const Value* value) {
    if (!value || !value->dictionary()) return std::nullopt;
    const Dictionary& in = *value->dictionary();
    const Value* url = archived(in, "URL");
    auto parsed = url && url->isString() ? URL::parse(url->asString()) : std::nullopt;
    if (!parsed) return std::nullopt;
    URLRequest request(*parsed);
    if (const Value* v = archived(in, "HTTPMethod")) request.httpMethod = v->asString();
    request.headers = decodeHeaders(archived(in, "allHTTPHeaderFields"));
    if (const Value* v = archived(in, "HTTPBody"); v && v->data()) request.body = *v->data();
    if (const Value* v = archived(in, "cachePolicy")) {
        const int64_t policy = v->asInteger();
        if (policy >= 0 && policy <= 3)
            request.cachePolicy = static_cast<platform::net::CachePolicy>(policy);
    }
    if (const Value* v = archived(in, "timeoutInterval"))
        request.timeoutInterval = v->asReal(request.timeoutInterval);
    if (const Value* v = archived(in, "HTTPShouldHandleCookies"))
        request.HTTPShouldHandleCookies = v->asBool();
    if (const Value* v = archived(in, "mainDocumentURL"))
        request.mainDocumentURL = URL::parse(v->asString());
    return request;
}

Value encodeResponse(const HTTPURLResponse& response) {
    Dictionary out{{"URL", response.url().absoluteString()}, {"statusCode", response.statusCode()}};
    if (response.isHTTP()) {
        out["allHeaderFields"] = encodeHeaders(response.allHeaderFields());
    } else {
        out["MIMEType"] = response.MIMEType();
        out["expectedContentLength"] = response.expectedContentLength();
        if (response.textEncodingName()) out["textEncodingName"] = *response.textEncodingName();
    }
    return out;
}

std::optional<HTTPURLResponse> decodeResponse(const Value* value) {
    if (!value || !value->dictionary()) return std::nullopt;
    const Dictionary& in = *value->dictionary();
    const Value* url = archived(in, "URL");
    auto parsed = url ? URL::parse(url->asString()) : std::nullopt;
    if (!parsed) parsed = URL::parse("");
    if (!parsed) return std::nullopt;
    const Value* status = archived(in, "statusCode");
    const int64_t code = status ? status->asInteger(-1) : -1;
    if (code >= 0)
        return HTTPURLResponse(*parsed, code, decodeHeaders(archived(in, "allHeaderFields")));
    const Value* mime = archived(in, "MIMEType");
    const Value* length = archived(in, "expectedContentLength");
    const Value* encoding = archived(in, "textEncodingName");
    return HTTPURLResponse(
        *parsed, mime ? mime->asString() : "", length ? length->asInteger(-1) : -1,
        encoding ? std::optional<std::string>(encoding->asString()) : std::nullopt);
}

Value encodeError(const Error& error) {
    return Dictionary{{"domain", error.domain}, {"code", error.code}, {"userInfo", error.userInfo}};
}

std::optional<Error> decodeError(const Value* value) {
    if (!value || !value->dictionary()) return std::nullopt;
    const Dictionary& in = *value->dictionary();
    Error error;
    if (const Value* v = archived(in, "domain")) error.domain = v->asString();
    if (const Value* v = archived(in, "code")) error.code = v->asInteger();
    if (const Value* v = archived(in, "userInfo"); v && v->dictionary())
        error.userInfo = *v->dictionary();
    return error;
}

}  // namespace

Dictionary PFNURLConnectionOperation::encodeWithCoder() {
    pause();
    std::lock_guard lock(lock_);
    const bool restartable =
        state_ == PFNOperationExecutingState || state_ == PFNOperationPausedState;
    Dictionary archive{{"request", encodeRequest(request_)},
                       {"state", restartable ? int64_t{PFNOperationReadyState} : state_},
                       {"totalBytesRead", totalBytesRead_}};
    if (response_) archive["response"] = encodeResponse(*response_);
    if (error_) archive["error"] = encodeError(*error_);
    if (responseData_) archive["responseData"] = *responseData_;
    return archive;
}

std::shared_ptr<PFNURLConnectionOperation> PFNURLConnectionOperation::operationWithCoder(
    const Value& archive) {
    if (!archive.dictionary()) return nullptr;
    auto request = decodeRequest(archived(*archive.dictionary(), "request"));
    if (!request) return nullptr;
    auto operation = create(std::move(*request));
    operation->decodeFromCoder(*archive.dictionary());
    return operation;
}

void PFNURLConnectionOperation::decodeFromCoder(const Dictionary& archive) {
    if (const Value* state = archived(archive, "state"); state && state->isNumber())
        setState(state->asInteger());
    std::lock_guard lock(lock_);
    response_ = decodeResponse(archived(archive, "response"));
    error_ = decodeError(archived(archive, "error"));
    if (const Value* data = archived(archive, "responseData"); data && data->data())
        responseData_ = *data->data();
    if (const Value* total = archived(archive, "totalBytesRead"))
        totalBytesRead_ = total->asInteger();
}
