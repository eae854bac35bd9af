#include "ads/pipeline/core/HRNSDKCoreHMSGHandler.h"

#include <cctype>

#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNErrorAdditions.h"
#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNURLRequestAdditions.h"
#include "ads/pipeline/core/HRNSDKCoreWebView.h"
#include "platform/dispatch/Queue.h"
#include "platform/foundation/PropertyList.h"

namespace {

using platform::Dictionary;
using platform::Value;
using Parameters = HRNHMSGHandler::Parameters;

std::optional<std::string> parameter(const Parameters& parameters, const char* key) {
    auto found = parameters.find(key);
    if (found == parameters.end()) return std::nullopt;
    return found->second;
}

Dictionary dictionaryOf(const Parameters& parameters) {
    Dictionary dictionary;
    for (const auto& [key, value] : parameters)
        dictionary[key] = value;
    return dictionary;
}

// A JSON value as the text a page's identifier is compared by.
std::optional<std::string> identifierText(const Value* value) {
    if (!value) return std::nullopt;
    if (value->string()) return *value->string();
    if (value->isInteger()) return std::to_string(value->asInteger());
    if (value->isNumber()) {
        const double number = value->asReal();
        if (number == static_cast<double>(static_cast<int64_t>(number)))
            return std::to_string(static_cast<int64_t>(number));
        return platform::json::serialize(*value).value_or("");
    }
    return std::nullopt;
}

std::string lowercased(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The "response" member of a fetch reply.
Dictionary responseOf(const std::shared_ptr<HRNAd>& ad,
                      const std::string& requestID,
                      int64_t responseCode) {
    platform::Array headers;
    if (ad) {
        for (const auto& [key, value] : ad->responseHeaders()) {
            Dictionary header;
            header["key"] = key;
            header["value"] = value;
            headers.emplace_back(std::move(header));
        }
    }
    Dictionary response;
    response["response_code"] = responseCode;
    response["body"] = ad ? ad->adHTML() : std::string();
    response["http_request_id"] = requestID;
    response["headers"] = std::move(headers);
    return response;
}

template <typename Call>
void toDelegate(const std::weak_ptr<HRNSDKCoreHMSGHandler>& weak, Call call) {
    platform::Queue::main()->async([weak, call] {
        auto handler = weak.lock();
        if (!handler) return;
        if (auto delegate = handler->delegate()) call(*handler, *delegate);
    });
}

}  // namespace

const HRNHMSGHandler::ActionBlockDictionary& HRNSDKCoreHMSGHandler::actionBlockDictionary() const {
    static const ActionBlockDictionary actions = {
        {"loadAdURL",
         [](HRNHMSGHandler& h, const std::shared_ptr<HRNAdView>&, const Parameters& p) {
             static_cast<HRNSDKCoreHMSGHandler&>(h).adViewDidReceiveLoadAdURLAction(p);
         }},
        {"loadAd",
         [](HRNHMSGHandler& h, const std::shared_ptr<HRNAdView>&, const Parameters& p) {
             static_cast<HRNSDKCoreHMSGHandler&>(h).adViewDidReceiveLoadAdAction(p);
         }},
        {"invalidRequest",
         [](HRNHMSGHandler& h, const std::shared_ptr<HRNAdView>&, const Parameters& p) {
             static_cast<HRNSDKCoreHMSGHandler&>(h).adViewDidReceiveInvalidAdRequestAction(p);
         }},
        {"loadSdkConstants",
         [](HRNHMSGHandler& h, const std::shared_ptr<HRNAdView>&, const Parameters& p) {
             static_cast<HRNSDKCoreHMSGHandler&>(h).adViewDidReceiveLoadSDKConstantsAction(p);
         }},
        {"fetchHttpRequest",
         [](HRNHMSGHandler& h, const std::shared_ptr<HRNAdView>&, const Parameters& p) {
             static_cast<HRNSDKCoreHMSGHandler&>(h).adViewDidReceiveFetchAdAction(p);
         }},
        {"requestReload",
         [](HRNHMSGHandler& h, const std::shared_ptr<HRNAdView>&, const Parameters&) {
             static_cast<HRNSDKCoreHMSGHandler&>(h).adViewDidReceiveSDKCoreReloadRequest();
         }},
    };
    return actions;
}

void HRNSDKCoreHMSGHandler::adViewDidReceiveLoadAdURLAction(const Parameters& parameters) {
    auto requestID = parameter(parameters, "request_id");
    Dictionary dictionary = dictionaryOf(parameters);
    toDelegate(weak_from_this(), [requestID, dictionary](HRNSDKCoreHMSGHandler& handler,
                                                         HRNSDKCoreHMSGHandlerDelegate& delegate) {
        delegate.SDKCoreHMSGHandlerLoadAdURLWithRequestIDParameters(handler, requestID, dictionary);
    });
}

void HRNSDKCoreHMSGHandler::adViewDidReceiveLoadAdAction(const Parameters& parameters) {
    auto requestID = parameter(parameters, "request_id");
    auto text = parameter(parameters, "fetched_ad");
    platform::Error error;
    auto ad = text ? hrn_decodedJSONObjectError(*text, &error) : std::nullopt;
    if (!ad || !ad->dictionary()) {
        // An answer that cannot be read is a failure for its requester, who would otherwise
        // wait for ever; the page hears of it too.
        const std::string reason = "The ad of the answer is not a JSON object.";
        toDelegate(weak_from_this(), [requestID, reason](HRNSDKCoreHMSGHandler& handler,
                                                         HRNSDKCoreHMSGHandlerDelegate& delegate) {
            delegate.SDKCoreHMSGHandlerDidReceiveInvalidAdWithRequestIDParameters(
                handler, requestID, Dictionary{{"errors", reason}});
        });
        if (auto page = SDKCoreWebView()) {
            Dictionary info{{"reason", reason}};
            if (requestID) info["request_id"] = *requestID;
            page->postJSNotification("loadAdFailed", info);
        }
        return;
    }
    toDelegate(weak_from_this(), [requestID, ad = *ad](HRNSDKCoreHMSGHandler& handler,
                                                       HRNSDKCoreHMSGHandlerDelegate& delegate) {
        delegate.SDKCoreHMSGHandlerLoadAdWithRequestIDParameters(handler, requestID, ad);
    });
}

void HRNSDKCoreHMSGHandler::adViewDidReceiveInvalidAdRequestAction(const Parameters& parameters) {
    auto requestID = parameter(parameters, "request_id");
    Dictionary dictionary = dictionaryOf(parameters);
    toDelegate(weak_from_this(), [requestID, dictionary](HRNSDKCoreHMSGHandler& handler,
                                                         HRNSDKCoreHMSGHandlerDelegate& delegate) {
        delegate.SDKCoreHMSGHandlerDidReceiveInvalidAdWithRequestIDParameters(handler, requestID,
                                                                              dictionary);
    });
}

void HRNSDKCoreHMSGHandler::adViewDidReceiveLoadSDKConstantsAction(const Parameters& parameters) {
    Dictionary constants = dictionaryOf(parameters);
    toDelegate(weak_from_this(), [constants](HRNSDKCoreHMSGHandler& handler,
                                             HRNSDKCoreHMSGHandlerDelegate& delegate) {
        delegate.SDKCoreHMSGHandlerDidLoadSDKConstants(handler, constants);
    });
}

void HRNSDKCoreHMSGHandler::adViewDidReceiveSDKCoreReloadRequest() {
    toDelegate(weak_from_this(),
               [](HRNSDKCoreHMSGHandler& handler, HRNSDKCoreHMSGHandlerDelegate& delegate) {
                   delegate.SDKCoreHMSGHandlerDidReceiveSDKCoreUpdateNotification(handler);
               });
}

void HRNSDKCoreHMSGHandler::adViewDidReceiveFetchAdAction(const Parameters& parameters) {
    auto text = parameter(parameters, "http_request");
    platform::Error decodingError;
    auto request = hrn_decodedJSONObjectError(text.value_or(""), &decodingError);
    if (!request || !request->dictionary()) {
        if (request) decodingError = hrn_errorWithCode(1, "The HTTP request is not a JSON object.");
        failedToFetchAdForRequestIDWithErrorResponseCode(nullptr, std::nullopt, decodingError, 0);
        return;
    }
    const std::string requestID = identifierText(request->find("http_request_id")).value_or("");
    if (isFetchInProgressForFetchRequestID(requestID)) return;

    const Value* urlValue = request->find("url");
    const std::string urlText = urlValue && urlValue->string() ? *urlValue->string() : "";
    auto url = urlText.empty() ? std::nullopt : platform::net::URL::parse(urlText);
    // The page may reach the web only: no other scheme is fetched for it.
    const std::string scheme = url ? lowercased(url->scheme()) : "";
    if (!url || (scheme != "http" && scheme != "https")) {
        failedToFetchAdForRequestIDWithErrorResponseCode(
            nullptr, requestID,
            HRNRequestError::errorWithCodeCustomMessage(
                kHRNErrorInternalError, "Invalid URL (" + urlText + ") requested for fetching"),
            0);
        return;
    }
    std::optional<platform::Data> body;
    if (const Value* post = request->find("post_body"); post && post->string())
        body = platform::Data(reinterpret_cast<const uint8_t*>(post->string()->data()),
                              post->string()->size());
    std::optional<std::string> contentType;
    if (const Value* type = request->find("content_type"); type && type->string())
        contentType = *type->string();
    platform::net::HeaderFields headers;
    bool hasHeaders = false;
    if (const Value* list = request->find("headers"); list && list->array()) {
        for (const Value& element : *list->array()) {
            const Value* key = element.find("key");
            const Value* value = element.find("value");
            if (!key || !value || !key->string() || !value->string()) continue;
            headers.set(*key->string(), *value->string());
            hasHeaders = true;
        }
    }
    // A POST only with both a body and its type.
    if (!(body && contentType)) {
        body.reset();
        contentType.reset();
    }
    auto fetcher = HRNAdFetcher::create();
    setAdFetcherForFetchRequestID(fetcher, requestID);
    auto urlRequest = hrn_requestForURL(
        url, body, hasHeaders ? std::optional(headers) : std::nullopt, contentType);
    platform::Error error;
    if (!fetcher->fetchRequestURLDelegateError(urlRequest, weak_from_this(), &error) &&
        isFetchInProgressForFetchRequestID(requestID)) {
        // A fetch that never started (and was not already answered through the delegate)
        // frees its ID, so that the page may ask again.
        removeAdFetcherForFetchRequestID(requestID);
        failedToFetchAdForRequestIDWithErrorResponseCode(nullptr, requestID, error, 0);
    }
}

void HRNSDKCoreHMSGHandler::fetchedAdForFetchRequestIDResponseCode(const std::shared_ptr<HRNAd>& ad,
                                                                   const std::string& requestID,
                                                                   int64_t responseCode) {
    Dictionary reply;
    reply["success"] = "true";
    reply["response"] = responseOf(ad, requestID, responseCode);
    sendFetchReply(reply);
}

void HRNSDKCoreHMSGHandler::failedToFetchAdForRequestIDWithErrorResponseCode(
    const std::shared_ptr<HRNAd>& ad,
    const std::optional<std::string>& requestID,
    const platform::Error& error,
    int64_t responseCode) {
    Dictionary reply;
    reply["success"] = "false";
    reply["reason"] = error.localizedDescription();
    reply["response"] = responseOf(ad, requestID.value_or(""), responseCode);
    sendFetchReply(reply);
}

void HRNSDKCoreHMSGHandler::sendFetchReply(const Dictionary& reply) {
    auto json = hrn_JSONStringForScript(reply);
    // A reply that cannot be written would be broken script: it is not sent.
    if (!json) return;
    if (auto page = SDKCoreWebView())
        page->enqueueJavaScriptCommand("HSDK_ReceiveMessage('fetchHttpRequestCompleted', " + *json +
                                       ")");
}

void HRNSDKCoreHMSGHandler::setAdFetcherForFetchRequestID(
    const std::shared_ptr<HRNAdFetcher>& fetcher,
    const std::string& requestID) {
    std::lock_guard lock(mutex_);
    adFetchers_.emplace(requestID, fetcher);
}

void HRNSDKCoreHMSGHandler::removeAdFetcherForFetchRequestID(const std::string& requestID) {
    std::shared_ptr<HRNAdFetcher> fetcher;
    {
        std::lock_guard lock(mutex_);
        auto found = adFetchers_.find(requestID);
        if (found == adFetchers_.end()) return;
        fetcher = std::move(found->second);
        adFetchers_.erase(found);
    }
    fetcher->cancel();
}

bool HRNSDKCoreHMSGHandler::hasFetchesInProgress() const {
    std::lock_guard lock(mutex_);
    return !adFetchers_.empty();
}

bool HRNSDKCoreHMSGHandler::isFetchInProgressForFetchRequestID(const std::string& requestID) const {
    std::lock_guard lock(mutex_);
    return adFetchers_.count(requestID) != 0;
}

std::optional<std::string> HRNSDKCoreHMSGHandler::fetchRequestIDForAdFetcher(
    const HRNAdFetcher& fetcher) const {
    std::lock_guard lock(mutex_);
    for (const auto& [id, held] : adFetchers_)
        if (held.get() == &fetcher) return id;
    return std::nullopt;
}

void HRNSDKCoreHMSGHandler::adFetcherDidFetchAd(HRNAdFetcher& fetcher,
                                                const std::shared_ptr<HRNAd>& ad) {
    auto requestID = fetchRequestIDForAdFetcher(fetcher);
    if (!requestID) return;
    // The answer's own status goes back to the page.
    int64_t status = 200;
    if (const auto& response = fetcher.adConnection()->response(); response && response->isHTTP())
        status = response->statusCode();
    auto keep = fetcher.shared_from_this();
    fetchedAdForFetchRequestIDResponseCode(ad, *requestID, status);
    removeAdFetcherForFetchRequestID(*requestID);
}

void HRNSDKCoreHMSGHandler::adFetcherDidFailToFetchAdWithErrorResponseCode(
    HRNAdFetcher& fetcher,
    const std::shared_ptr<HRNAd>& ad,
    const HRNRequestError& error,
    int64_t responseCode) {
    auto requestID = fetchRequestIDForAdFetcher(fetcher);
    if (!requestID) return;
    auto keep = fetcher.shared_from_this();
    failedToFetchAdForRequestIDWithErrorResponseCode(ad, *requestID, error, responseCode);
    removeAdFetcherForFetchRequestID(*requestID);
}
