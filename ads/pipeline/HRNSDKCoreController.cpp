#include "ads/pipeline/HRNSDKCoreController.h"

#include <algorithm>

#include "ads/pipeline/HRNSDKCoreWebView.h"

std::shared_ptr<HRNSDKCoreController> HRNSDKCoreController::sharedInstance() {
    static const std::shared_ptr<HRNSDKCoreController> shared(new HRNSDKCoreController());
    return shared;
}

double HRNSDKCoreController::viewabilitySamplingInterval() const {
    std::lock_guard lock(mutex_);
    return viewabilitySamplingInterval_;
}

void HRNSDKCoreController::setViewabilitySamplingInterval(double interval) {
    std::lock_guard lock(mutex_);
    viewabilitySamplingInterval_ = interval;
}

std::shared_ptr<HRNSDKCoreWebView> HRNSDKCoreController::SDKCoreWebViewForViewabilityProcessing() {
    removeFinishedViewabilityWebViews();
    std::shared_ptr<HRNSDKCoreWebView> page;
    {
        std::lock_guard lock(mutex_);
        if (!useNewWebViewsForViewabilityProcessing_ && SDKCoreUpdateHandled_ &&
            viewabilitySDKCoreWebView_)
            return viewabilitySDKCoreWebView_;
        page = HRNSDKCoreWebView::create();
        if (!useNewWebViewsForViewabilityProcessing_) {
            viewabilitySDKCoreWebView_ = page;
            SDKCoreUpdateHandled_ = true;
        }
    }
    page->refreshSDKCore();
    return page;
}

void HRNSDKCoreController::finishedUsingSDKCoreWebViewForViewabilityProcessing(
    const std::shared_ptr<HRNSDKCoreWebView>& webView) {
    if (webView && webView->isViewabilityRunning()) cacheRunningViewabilityWebView(webView);
}

void HRNSDKCoreController::cacheRunningViewabilityWebView(
    const std::shared_ptr<HRNSDKCoreWebView>& webView) {
    {
        std::lock_guard lock(mutex_);
        if (std::find(viewabilitySDKCoreWebViews_.begin(), viewabilitySDKCoreWebViews_.end(),
                      webView) == viewabilitySDKCoreWebViews_.end())
            viewabilitySDKCoreWebViews_.push_back(webView);
    }
    removeFinishedViewabilityWebViews();
}

void HRNSDKCoreController::removeFinishedViewabilityWebViews() {
    std::vector<std::shared_ptr<HRNSDKCoreWebView>> setAside;
    {
        std::lock_guard lock(mutex_);
        std::vector<std::shared_ptr<HRNSDKCoreWebView>> kept;
        for (auto it = viewabilitySDKCoreWebViews_.rbegin();
             it != viewabilitySDKCoreWebViews_.rend(); ++it) {
            if ((*it)->isViewabilityRunning() && kept.size() < viewabilityUnloadCacheMaxSize_)
                kept.insert(kept.begin(), *it);
            else
                setAside.push_back(*it);
        }
        viewabilitySDKCoreWebViews_ = std::move(kept);
    }
    for (const auto& page : setAside) {
        page->clearAllViewabilityInstances();
        finishedUsingSDKCoreWebViewForViewabilityProcessing(page);
    }
}

void HRNSDKCoreController::SDKCoreHMSGHandlerDidReceiveSDKCoreUpdateNotification() {
    std::lock_guard lock(mutex_);
    SDKCoreUpdateHandled_ = false;
}

void HRNSDKCoreController::setUseNewWebViewsForViewabilityProcessing(bool useNew) {
    std::lock_guard lock(mutex_);
    useNewWebViewsForViewabilityProcessing_ = useNew;
}

void HRNSDKCoreController::setViewabilityUnloadCacheMaxSize(uint64_t size) {
    if (size == 0) return;
    std::lock_guard lock(mutex_);
    viewabilityUnloadCacheMaxSize_ = size;
}

std::vector<std::shared_ptr<HRNSDKCoreWebView>> HRNSDKCoreController::viewabilitySDKCoreWebViews()
    const {
    std::lock_guard lock(mutex_);
    return viewabilitySDKCoreWebViews_;
}
