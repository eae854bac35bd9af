#pragma once
// A connection operation that turns the response and body into an object through its response
// serializer and reports the outcome through a success or a failure block. The SDK's request
// manager builds one per API request; a serializer error (wrong status, wrong content type, a
// body that does not parse) reaches the failure block just as a transport error does.
//
// Threads: the serializer runs on the shared concurrent queue "networking.http-request.processing"
// (under the networking prefix), never on the network thread; exactly one of the two blocks runs
// per completion, on completionQueue (the main queue when unset) inside completionGroup (a
// process-wide group of this class when unset). A caller's completionGroup is entered before
// the processing starts and left after the block ran.

#include <functional>
#include <memory>
#include <optional>

#include "puffin/networking/PFNURLConnectionOperation.h"
#include "puffin/networking/PFNURLResponseSerialization.h"

class PFNHTTPRequestOperation : public PFNURLConnectionOperation {
  public:
    using SuccessBlock = std::function<void(std::shared_ptr<PFNHTTPRequestOperation> operation,
                                            const std::optional<platform::Value>& responseObject)>;
    using FailureBlock = std::function<void(std::shared_ptr<PFNHTTPRequestOperation> operation,
                                            const platform::Error& error)>;

    static std::shared_ptr<PFNHTTPRequestOperation> create(platform::net::URLRequest request);

    std::shared_ptr<PFNHTTPResponseSerializer> responseSerializer() const;
    // Aborts on null. Clears the object and error, so the next read serializes again.
    void setResponseSerializer(std::shared_ptr<PFNHTTPResponseSerializer> serializer);

    // Serialized once, on first read after the operation finished without error.
    std::optional<platform::Value> responseObject();
    std::optional<platform::Error> responseSerializationError() const;
    // The serializer's error when there is one, else the load's.
    std::optional<platform::Error> error() const override;

    void setCompletionBlockWithSuccessFailure(SuccessBlock success, FailureBlock failure);

    // Pauses and asks, on resuming, only for the rest of the body ("Range", and "If-Range" with
    // the response's ETag).
    void pause() override;

    // As the connection operation's copy, with a copy of the response serializer.
    std::shared_ptr<PFNHTTPRequestOperation> copy() const;

    // Archiving: the connection operation's fields, then the response serializer under
    // "responseSerializer". Reading back gives an operation of this class with that serializer
    // (the default one when the archive holds none it can read); null without a readable request.
    platform::Dictionary encodeWithCoder();
    static std::shared_ptr<PFNHTTPRequestOperation> operationWithCoder(
        const platform::Value& archive);

  protected:
    explicit PFNHTTPRequestOperation(platform::net::URLRequest request);

  private:
    std::shared_ptr<PFNHTTPResponseSerializer> responseSerializer_;
    std::optional<platform::Value> responseObject_;
    std::optional<platform::Error> responseSerializationError_;
};
