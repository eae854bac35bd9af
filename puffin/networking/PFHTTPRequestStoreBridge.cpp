#include "puffin/networking/PFHTTPRequestStoreBridge.h"

#include <algorithm>
#include <chrono>

#include "puffin/core/PFLog.h"
#include "puffin/core/PFUtilities.h"
#include "puffin/networking/PFConfig.h"
#include "puffin/networking/PFHTTPRequestRetryRules.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

platform::Date now() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return platform::Date{std::chrono::duration<double>(since).count()};
}

uint64_t storedRetryCount(const PFHTTPRequestDataManager::Entry& entry) {
    const int64_t count = entry->valueForKey("retryCount").asInteger();
    return count > 0 ? static_cast<uint64_t>(count) : 0;
}

}  // namespace

PFHTTPRequestStoreBridge::PFHTTPRequestStoreBridge(
    std::shared_ptr<PFHTTPRequestDataManager> persistence,
    std::shared_ptr<const PFHTTPRequestRetryRules> rules,
    AddRequest addRequest)
    : persistence_(std::move(persistence)),
      rules_(std::move(rules)),
      addRequest_(std::move(addRequest)) {}

std::string PFHTTPRequestStoreBridge::requestClassForPath(const std::string& path) {
    if (path.rfind("/webview/", 0) == 0) return "PFWebviewHTTPAPIRequest";
    if (path.rfind("/post-install-event/", 0) == 0) return "PFPIAHTTPAPIRequest";
    return "PFHTTPAPIRequest";
}

void PFHTTPRequestStoreBridge::write(const std::function<void()>& change) {
    auto context = persistence_ ? persistence_->managedObjectContext() : nullptr;
    if (!context) return;
    context->performBlockAndWait([&] {
        change();
        platform::Error error;
        if (!context->save(&error))
            PFLogError("Error saving new request in from Core Data - %s %lld, %s",
                       error.domain.c_str(), static_cast<long long>(error.code),
                       error.localizedDescription().c_str());
    });
}

void PFHTTPRequestStoreBridge::saveRequestInCoreDataInOperationQueue(
    const PFHTTPAPIRequest& request,
    bool inOperationQueue) {
    const Value body = request.body;
    const uint64_t retryCount = request.retryCount;
    const std::string tag = request.tag;
    const std::string path = request.url.path();
    const platform::Date date = now();
    write([&] {
        persistence_->createRequestEntityWithBody(body, retryCount, tag, path, date,
                                                  inOperationQueue);
    });
}

void PFHTTPRequestStoreBridge::updateRequestInCoreData(const PFHTTPAPIRequest& request) {
    const Value body = request.body;
    const uint64_t retryCount = request.retryCount;
    const std::string tag = request.tag;
    write([&] { persistence_->updateRequestEntityWithBody(body, retryCount, tag); });
}

void PFHTTPRequestStoreBridge::removeRequestInCoreData(const PFHTTPAPIRequest& request) {
    const std::string tag = request.tag;
    write([&] { persistence_->removeRequestEntityWithUniqueId(tag); });
}

void PFHTTPRequestStoreBridge::removeRequestFromRetrySystem(const PFHTTPAPIRequest& request) {
    if (request.shouldRetry) removeRequestInCoreData(request);
}

void PFHTTPRequestStoreBridge::removeEntry(const PFHTTPRequestDataManager::Entry& entry) {
    // The fetched entry is the one its unique id names; removing it directly spares a fetch per
    // replayed request.
    if (auto context = persistence_->managedObjectContext()) context->deleteObject(entry);
}

void PFHTTPRequestStoreBridge::initializeOperationQueueFromCoreData() {
    updateOperationsQueueFromCoreData(true);
}

void PFHTTPRequestStoreBridge::populateOperationQueueFromCoreData() {
    updateOperationsQueueFromCoreData(false);
}

void PFHTTPRequestStoreBridge::updateOperationsQueueFromCoreData(bool all) {
    auto context = persistence_ ? persistence_->managedObjectContext() : nullptr;
    if (!context) return;
    const Dictionary rules = rules_->apiRetryRules();
    context->performBlockAndWait([&] {
        for (const auto& [path, rule] : rules) {
            if (!rule.isDictionary()) continue;
            auto entries = all ? persistence_->allRequestsWithPath(path)
                               : persistence_->allRequestsWithPathInOperationQueue(path, false);
            if (entries.empty()) continue;
            PFLogInfo("updateOperationsQueueFromCoreData %s - size %lu", path.c_str(),
                      static_cast<unsigned long>(entries.size()));
            processRequestsFromCoreDataNotInOperationQueue(entries, path, *rule.dictionary());
        }
        platform::Error error;
        if (!context->save(&error))
            PFLogError(
                "Error loading requests into network operation queue from Core Data - %s %lld, %s",
                error.domain.c_str(), static_cast<long long>(error.code),
                error.localizedDescription().c_str());
    });
}

void PFHTTPRequestStoreBridge::processRequestsFromCoreDataNotInOperationQueue(
    const std::vector<PFHTTPRequestDataManager::Entry>& entries,
    const std::string& path,
    const Dictionary& rule) {
    auto batch = rule.find("batchSize");
    if (batch != rule.end() && PFConfigInteger(batch->second) > 0) {
        processRequestBatchArray(entries, rule, path);
        return;
    }
    for (const auto& entry : entries) {
        const Value body = entry->valueForKey("body");
        const uint64_t retryCount = storedRetryCount(entry);
        removeEntry(entry);
        if (body.isDictionary()) createAndAddRequestOperationWithBody(body, path, retryCount);
    }
}

void PFHTTPRequestStoreBridge::processRequestBatchArray(
    const std::vector<PFHTTPRequestDataManager::Entry>& entries,
    const Dictionary& rule,
    const std::string& path) {
    const auto parameter = rule.find("dataParameterString");
    const std::string key = parameter != rule.end() ? parameter->second.asString() : std::string();
    const auto size =
        static_cast<size_t>(std::max<int64_t>(1, PFConfigInteger(rule.at("batchSize"))));
    Array items;
    std::optional<uint64_t> retryCount;
    for (const auto& entry : entries) {
        const Value body = entry->valueForKey("body");
        if (const Value* payload = body.isDictionary() ? body.find(key) : nullptr;
            payload && !payload->isNull()) {
            const size_t before = items.size();
            if (payload->isArray())
                items.insert(items.end(), payload->array()->begin(), payload->array()->end());
            else
                items.push_back(*payload);
            // The batches go on with the smallest count their items reached.
            if (items.size() > before) {
                const uint64_t count = storedRetryCount(entry);
                retryCount = retryCount ? std::min(*retryCount, count) : count;
            }
        }
        removeEntry(entry);
    }
    for (size_t start = 0; start < items.size(); start += size) {
        const size_t end = std::min(items.size(), start + size);
        createAndAddRequestOperationWithBatchedData(
            Array(items.begin() + static_cast<std::ptrdiff_t>(start),
                  items.begin() + static_cast<std::ptrdiff_t>(end)),
            path, retryCount);
    }
}

void PFHTTPRequestStoreBridge::createAndAddRequestOperationWithBody(
    const Value& body,
    const std::string& path,
    std::optional<uint64_t> retryCount) {
    auto request = PFHTTPAPIRequest::createOfClass(requestClassForPath(path), path);
    request->body = body;
    request->shouldRetry = true;
    createAndAddRequestOperationWithRequest(request, retryCount);
}

void PFHTTPRequestStoreBridge::createAndAddRequestOperationWithBatchedData(
    const Array& items,
    const std::string& path,
    std::optional<uint64_t> retryCount) {
    auto request = PFHTTPAPIRequest::createOfClass(requestClassForPath(path), path);
    std::string key;
    if (auto rule = rules_->retryRuleForPath(path))
        if (auto it = rule->find("dataParameterString"); it != rule->end())
            key = it->second.asString();
    request->appendBodyArgumentKeyValue(key, Value(items));
    request->shouldRetry = true;
    createAndAddRequestOperationWithRequest(request, retryCount);
}

void PFHTTPRequestStoreBridge::createAndAddRequestOperationWithRequest(
    const std::shared_ptr<PFHTTPAPIRequest>& request,
    std::optional<uint64_t> retryCount) {
    const std::string path = request->url.path();
    auto success = [path] {
        PFLogInfo(
            "Successfully completed network request, that came from our persistence layer. \n path "
            "- %s",
            path.c_str());
    };
    auto failure = [path] {
        PFLogInfo("Network request failue, that came from our persistence layer \n path - %s",
                  path.c_str());
    };
    request->retryCount = retryCount.value_or(0);
    if (request->retryCount > 0)
        request->appendBodyArgumentKeyValue("retry_count", Value(request->getRetryCount()));
    const int64_t autoRetryOf = std::max<int64_t>(
        0, rules_->timesToRetryForRequest(*request) - static_cast<int64_t>(request->retryCount));
    if (addRequest_) addRequest_(request, success, failure, autoRetryOf, false);
}
