#include "ads/foundation/HRNAdFetcher.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "ads/formats/HRNRequestError.h"
#include "ads/foundation/HRNApplicationContentHashing.h"
#include "ads/foundation/HRNAutoClickProtection.h"
#include "ads/foundation/HRNCSI.h"
#include "ads/foundation/HRNJSONAdditions.h"
#include "ads/foundation/HRNLocationService.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNTokenDispenser.h"
#include "ads/foundation/HRNURLRequestAdditions.h"
#include "ads/rendering/opener/HRNSwipeToViewControllerConfigurations.h"
#include "ads/rendering/views/HRNOrientation.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/foundation/UserDefaults.h"

namespace {

using platform::Dictionary;
using platform::Value;

std::string lowercased(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The header's value when it is a text.
const std::string* stringHeader(const Dictionary& headers, const char* name) {
    auto found = headers.find(name);
    return found == headers.end() ? nullptr : found->second.string();
}

// The header's value as a text (a number in its decimal form); std::nullopt when absent.
std::optional<std::string> textHeader(const Dictionary& headers, const char* name) {
    auto found = headers.find(name);
    if (found == headers.end()) return std::nullopt;
    const Value& value = found->second;
    if (value.string()) return *value.string();
    if (value.isInteger()) return std::to_string(value.asInteger());
    if (value.isReal()) {
        char text[64];
        std::snprintf(text, sizeof text, "%g", value.asReal());
        return std::string(text);
    }
    if (value.isBool()) return value.asBool() ? "1" : "0";
    return std::nullopt;
}

bool boolHeader(const Dictionary& headers, const char* name) {
    auto found = headers.find(name);
    return found != headers.end() && HRNValueBoolValue(found->second);
}

// The header split at whitespace into URLs with a non-empty text; std::nullopt when none.
std::optional<std::vector<platform::net::URL>> URLsFromHeader(const std::string& text) {
    std::vector<platform::net::URL> urls;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        size_t end = i;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])))
            ++end;
        if (end > i) {
            auto url = platform::net::URL::parse(text.substr(i, end - i));
            if (url && !url->absoluteString().empty()) urls.push_back(*url);
        }
        i = end;
    }
    if (urls.empty()) return std::nullopt;
    return urls;
}

Dictionary dictionaryFromHeaderFields(const platform::net::HeaderFields& fields) {
    Dictionary headers;
    for (const auto& [name, value] : fields.entries())
        headers.insert_or_assign(name, value);
    return headers;
}

}  // namespace

std::shared_ptr<HRNAdFetcher> HRNAdFetcher::create() {
    return std::shared_ptr<HRNAdFetcher>(new HRNAdFetcher());
}

HRNAdFetcher::HRNAdFetcher() : adConnection_(std::make_shared<HRNURLConnection>()) {
    char name[64];
    std::snprintf(name, sizeof name, "HRNAdFetcher (%p)", static_cast<const void*>(this));
    timer_ = HRNTiming::create(std::string(name));
}

HRNAdFetcher::~HRNAdFetcher() {
    delegate_.reset();
    adConnection_->cancel();
}

const std::set<std::string>& HRNAdFetcher::whitelistedDomains() {
    static const std::set<std::string>* domains = [] {
        auto* set = new std::set<std::string>();
        auto setting = HRNSettingValue("whitelisted_ad_request_domains");
        if (setting && setting->array()) {
            for (const auto& host : *setting->array())
                if (host.string()) set->insert(*host.string());
        } else {
            set->insert(kDefaultAdRequestHost);
        }
        return set;
    }();
    return *domains;
}

std::optional<platform::net::HeaderFields> HRNAdFetcher::requestHeadersForURL(
    const platform::net::URL& url) {
    if (lowercased(url.scheme()) != "https" || !whitelistedDomains().contains(url.host()))
        return std::nullopt;
    auto token = HRNTokenDispenser::sharedInstance()->token();
    if (!token) return std::nullopt;
    signedInAdsToken_ = token;
    platform::net::HeaderFields headers;
    headers.set("Authorization", "Bearer " + *token);
    return headers;
}

bool HRNAdFetcher::fetchRequestURLDelegateError(
    const std::optional<platform::net::URLRequest>& request,
    std::weak_ptr<HRNAdFetcherDelegate> delegate,
    platform::Error* error) {
    return fetchRequestURLDelegateResponseHeadersResponseAdError(
        request, std::move(delegate), std::nullopt, std::make_shared<HRNAd>(), error);
}

bool HRNAdFetcher::fetchRemainingContentForAdHeadersDelegateError(
    const std::shared_ptr<HRNAd>& ad,
    const Dictionary& headers,
    std::weak_ptr<HRNAdFetcherDelegate> delegate,
    platform::Error* error) {
    std::optional<platform::net::URLRequest> request;
    if (ad && ad->adHTML().empty()) {
        std::optional<platform::net::HeaderFields> authorization;
        if (ad->adURL()) authorization = requestHeadersForURL(*ad->adURL());
        request = hrn_requestForURL(ad->adURL(), std::nullopt, authorization, std::nullopt);
    }
    return fetchRequestURLDelegateResponseHeadersResponseAdError(request, std::move(delegate),
                                                                 headers, ad, error);
}

bool HRNAdFetcher::fetchRequestURLDelegateResponseHeadersResponseAdError(
    const std::optional<platform::net::URLRequest>& request,
    std::weak_ptr<HRNAdFetcherDelegate> delegate,
    const std::optional<Dictionary>& responseHeaders,
    const std::shared_ptr<HRNAd>& ad,
    platform::Error* error) {
    if (hasStartedFetch_) {
        if (error)
            *error = HRNRequestError::errorWithCodeCustomMessage(
                kHRNErrorNetworkError,
                "Could not start fetch. This object has already been used to fetch.");
        return false;
    }
    auto self = shared_from_this();
    hasStartedFetch_ = true;
    markFetchStart();
    delegate_ = std::move(delegate);
    ad_ = ad ? ad : std::make_shared<HRNAd>();
    // The kind starts as an HTML ad before the load starts, so that the headers of an answer
    // delivered from the cache during the start decide it.
    ad_->setResponseType(kHRNAdResponseTypeHTML);

    std::optional<platform::Error> startError;
    if (request) {
        platform::Error connectionError;
        if (!adConnection_->startWithRequestURL(*request, self, &connectionError)) {
            if (error)
                *error = HRNRequestError::errorWithCodeCustomMessage(
                    kHRNErrorNetworkError, "Failed to start ad connection.");
            adConnectionHasCompleted_ = true;
            startError = connectionError;
        }
    } else {
        adConnectionHasCompleted_ = true;
    }

    if (responseHeaders) processHTTPHeaders(*responseHeaders);

    if (startError) {
        // The transport's own refusal (a request error of code 2) goes to the delegate.
        resourceFailedToLoadWithErrorResponseCode(
            startError->domain == kHRNErrorDomain
                ? HRNRequestError::errorWithCodeCustomMessage(startError->code,
                                                              startError->localizedDescription())
                : HRNRequestError::errorWithCodeUnderlyingError(kHRNErrorNetworkError, *startError),
            0);
        return false;
    }
    if (adConnectionHasCompleted_) {
        std::weak_ptr<HRNAdFetcher> weak = self;
        platform::OperationQueue::main()->addOperationWithBlock([weak] {
            if (auto fetcher = weak.lock()) fetcher->completedURLConnection();
        });
    }
    return true;
}

void HRNAdFetcher::cancel() {
    delegate_.reset();
    adConnection_->cancel();
    adConnectionHasCompleted_ = true;
}

int64_t HRNAdFetcher::adResponseTypeFromHeadersRequestError(
    const Dictionary& headers,
    std::optional<HRNRequestError>* error) const {
    if (boolHeader(headers, "x-hsdk-mediation")) {
        const std::string* type = stringHeader(headers, "content-type");
        if (type && type->rfind("application/json", 0) == 0) return kHRNAdResponseTypeMediation;
        if (error)
            *error = HRNRequestError::errorWithCodeRequest(kHRNErrorServerError, request_.get());
        return kHRNAdResponseTypeInvalid;
    }
    auto format = textHeader(headers, "x-hsdk-ad-format");
    if (format && lowercased(*format) == "native") return kHRNAdResponseTypeNative;
    if (boolHeader(headers, "x-hsdk-custom-rendering-allowed"))
        return kHRNAdResponseTypeCustomRendering;
    return kHRNAdResponseTypeHTML;
}

void HRNAdFetcher::processHTTPHeaders(const Dictionary& received) {
    auto self = shared_from_this();
    Dictionary headers;
    for (const auto& [name, value] : received)
        headers.insert_or_assign(lowercased(name), value);

    Dictionary merged = ad_->responseHeaders();
    for (const auto& [name, value] : headers)
        merged.insert_or_assign(name, value);
    ad_->setResponseHeaders(std::move(merged));

    std::optional<HRNRequestError> typeError;
    const int64_t type = adResponseTypeFromHeadersRequestError(headers, &typeError);
    ad_->setResponseType(type);
    if (type == kHRNAdResponseTypeInvalid && typeError)
        resourceFailedToLoadWithErrorResponseCode(*typeError, 0);

    if (const std::string* text = stringHeader(headers, "x-hsdk-click-tracking-urls"))
        if (auto urls = URLsFromHeader(*text)) ad_->addClickURLsFromArray(*urls);
    if (const std::string* text = stringHeader(headers, "x-hsdk-tracking-urls"))
        if (auto urls = URLsFromHeader(*text)) ad_->addImpressionURLsFromArray(*urls);
    if (const std::string* text = stringHeader(headers, "x-hsdk-manual-tracking-urls"))
        if (auto urls = URLsFromHeader(*text)) ad_->addManualImpressionURLsFromArray(*urls);

    auto& defaults = platform::UserDefaults::standard();
    const std::string* optedOut = stringHeader(headers, "x-hsdk-content-url-opted-out");
    if (optedOut && *optedOut == "false") {
        HRNApplicationContentHashing::sharedInstance()->startContentHashing();
        defaults.set(HRNSettingKey("content_url_enabled"), true);
    } else {
        HRNApplicationContentHashing::sharedInstance()->stopContentHashing();
        defaults.remove(HRNSettingKey("content_url_enabled"));
    }

    if (const std::string* text = stringHeader(headers, "x-hsdk-render-in-browser"))
        defaults.set(HRNSettingKey("render_in_browser"), HRNValueBoolValue(Value(*text)));

    std::optional<Value> viewability;
    if (const std::string* text = stringHeader(headers, "x-hsdk-viewability"))
        viewability = hrn_decodedJSONObjectError(*text, nullptr);
    ad_->setViewabilityConfigurations(std::move(viewability));

    if (const std::string* text = stringHeader(headers, "x-hsdk-use-displayed-impression"))
        if (HRNValueBoolValue(Value(*text))) ad_->setImpressionDefinition(1);

    if (auto orientation = textHeader(headers, "x-hsdk-orientation"))
        if (uint64_t mask = HRNInterfaceOrientationMaskFromString(*orientation))
            ad_->setSupportedOrientations(mask);

    if (auto rate = textHeader(headers, "x-hsdk-refresh-rate"); rate && !rate->empty()) {
        const double seconds = std::strtod(rate->c_str(), nullptr);
        if (seconds >= 0) ad_->setReloadInterval(seconds);
    }

    ad_->setDebugDialogString(textHeader(headers, "x-hsdk-debug-dialog"));
    ad_->setCustomAdSizeString(textHeader(headers, "x-hsdk-ad-size"));
    ad_->setScrollEnabled(!boolHeader(headers, "x-hsdk-disable-activation-and-scroll"));

    if (headers.contains("x-hsdk-use-https"))
        defaults.set(HRNSettingKey("use_https"), boolHeader(headers, "x-hsdk-use-https"));
    else if (!defaults.object(HRNSettingKey("use_https")))
        defaults.set(HRNSettingKey("use_https"), false);

    auto tokenStatus = textHeader(headers, "x-hsdk-oauth-token-status");
    if (tokenStatus && lowercased(*tokenStatus) == "clear" && signedInAdsToken_) {
        HRNTokenDispenser::sharedInstance()->refreshToken(*signedInAdsToken_);
        signedInAdsToken_.reset();
    }

    auto fluid = textHeader(headers, "x-hsdk-fluid");
    if (fluid && lowercased(*fluid) == "height") ad_->setFluid(true);

    if (auto queryID = textHeader(headers, "x-hsdk-hws-query-id"))
        HRNCSI::sharedInstance()->setHWSQueryID(*queryID);

    HRNLocationService::sharedInstance()->setPublisherAuthorized(
        boolHeader(headers, "x-hsdk-auto-collect-location"));

    if (const std::string* text = stringHeader(headers, "x-hsdk-swipe-to-view-controller")) {
        auto configurations = hrn_decodedJSONObjectError(*text, nullptr);
        if (configurations && configurations->dictionary() && configurations->size() >= 1)
            ad_->setSwipeToViewControllerConfigurations(
                HRNSwipeToViewControllerConfigurations::initWithSwipeConfigurations(
                    *configurations->dictionary()));
    }

    if (const std::string* text = stringHeader(headers, "x-hsdk-auto-protection-configuration")) {
        auto configuration = hrn_decodedJSONObjectError(*text, nullptr);
        if (configuration && configuration->dictionary())
            ad_->setAutoClickProtection(
                HRNAutoClickProtection::initWithDictionary(*configuration->dictionary()));
    }
}

void HRNAdFetcher::completedURLConnection() {
    if (!adConnectionHasCompleted_ || hasNotifiedDelegate_) return;
    auto self = shared_from_this();
    markFetchComplete();
    auto delegate = delegate_.lock();
    if (ad_->responseType() != kHRNAdResponseTypeInvalid && !ad_->adHTML().empty()) {
        if (delegate) delegate->adFetcherDidFetchAd(*this, ad_);
    } else {
        const int64_t code = ad_->responseType() != kHRNAdResponseTypeInvalid
                                 ? kHRNErrorNoFill
                                 : kHRNErrorInternalError;
        if (delegate)
            delegate->adFetcherDidFailToFetchAdWithErrorResponseCode(
                *this, ad_, HRNRequestError::errorWithCode(code), 0);
    }
    hasNotifiedDelegate_ = true;
}

void HRNAdFetcher::resourceFailedToLoadWithErrorResponseCode(const HRNRequestError& error,
                                                             int64_t responseCode) {
    auto self = shared_from_this();
    if (auto delegate = delegate_.lock())
        delegate->adFetcherDidFailToFetchAdWithErrorResponseCode(*this, ad_, error, responseCode);
    cancel();
}

void HRNAdFetcher::markFetchStart() {
    timer_->start();
}

void HRNAdFetcher::markFetchComplete() {
    timer_->end();
}

std::optional<platform::Error> HRNAdFetcher::connectionShouldRedirectToURL(
    HRNURLConnection&,
    const platform::net::URL&) {
    return std::nullopt;
}

void HRNAdFetcher::connectionLoadDidReceiveRedirectResponse(
    HRNURLConnection&,
    const platform::net::HTTPURLResponse& response) {
    if (response.isHTTP())
        processHTTPHeaders(dictionaryFromHeaderFields(response.allHeaderFields()));
}

bool HRNAdFetcher::connectionLoadShouldUseCachedResponse(
    HRNURLConnection&,
    const platform::net::HTTPURLResponse& response) {
    processHTTPHeaders(dictionaryFromHeaderFields(response.allHeaderFields()));
    return ad_->responseType() == kHRNAdResponseTypeMediation;
}

void HRNAdFetcher::connectionLoadDidReceiveCachedResponse(HRNURLConnection&,
                                                          const HRNCachedURLResponse& response) {
    processHTTPHeaders(dictionaryFromHeaderFields(response.response().allHeaderFields()));
}

void HRNAdFetcher::connectionLoadDidFinishBaseURL(
    HRNURLConnection& connection,
    const std::optional<std::string>& body,
    const std::optional<platform::net::URL>& baseURL) {
    auto self = shared_from_this();
    // An error status is a failure whatever body came with it.
    const auto& response = connection.response();
    if (response && response->isHTTP() && response->statusCode() >= 400) {
        connectionLoadDidFailHttpStatusCode(connection, std::nullopt, response->statusCode());
        return;
    }
    ad_->setAdHTML(body.value_or(""));
    ad_->setAdBaseURL(baseURL);
    adConnectionHasCompleted_ = true;
    completedURLConnection();
}

void HRNAdFetcher::connectionLoadDidFailHttpStatusCode(HRNURLConnection&,
                                                       const std::optional<platform::Error>&,
                                                       int64_t status) {
    auto self = shared_from_this();
    ad_->setAdHTML("");
    ad_->setAdBaseURL(std::nullopt);
    const HRNRequest* request = request_.get();
    std::optional<HRNRequestError> error;
    if (status == 400) {
        HRNLogger::sharedInstance()->logPublicMessage(
            "Server rejected ad parameters. Typically this is because the ad unit ID is "
            "incorrect.");
        error = HRNRequestError::errorWithCodeRequest(kHRNErrorInvalidRequest, request);
    } else if (status > 400) {
        error = HRNRequestError::errorWithCodeRequestHTTPStatusCode(kHRNErrorServerError, request,
                                                                    status);
    } else if (status == -1) {
        error = HRNRequestError::errorWithCodeRequestHTTPStatusCode(
            kHRNErrorReceivedInvalidResponse, request, status);
    } else {
        error = HRNRequestError::errorWithCodeRequestHTTPStatusCode(kHRNErrorNetworkError, request,
                                                                    status);
    }
    resourceFailedToLoadWithErrorResponseCode(*error, status);
}
