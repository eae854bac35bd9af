#include "ads/foundation/HRNApplicationContentHashing.h"

#include <cstdlib>

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNContent.h"
#include "ads/foundation/HRNContentQueue.h"
#include "ads/foundation/HRNQueueLabel.h"
#include "ads/foundation/HRNScheduler.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/foundation/HRNViewHierarchyTraverser.h"
#include "platform/dispatch/Queue.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/web/WebView.h"

namespace {

// The text a view shows, as the walk reads it: a web page's text (this view tree has no
// multi-line text view, the one other kind of view whose text counts); "" for any other view.
std::string textOfView(platform::ui::View& view) {
    if (auto* web = dynamic_cast<platform::web::WebView*>(&view))
        return web->stringByEvaluatingJavaScriptFromString("document.body.innerText");
    return "";
}

}  // namespace

std::shared_ptr<HRNApplicationContentHashing> HRNApplicationContentHashing::sharedInstance() {
    static const auto& shared =
        *new std::shared_ptr<HRNApplicationContentHashing>(new HRNApplicationContentHashing());
    return shared;
}

HRNApplicationContentHashing::HRNApplicationContentHashing()
    : serialQueue_(platform::Queue::serial(HRNQueueLabel("content-hashing"))) {}

void HRNApplicationContentHashing::startContentHashing() {
    std::lock_guard lock(mutex_);
    if (scheduler_) return;
    const auto capacity = HRNSettingNumberValue("content_queue_maximum_capacity");
    const auto interval = HRNSettingNumberValue("traversal_interval");
    contentQueue_ = std::make_shared<HRNContentQueue>(
        capacity && *capacity >= 0 ? static_cast<uint64_t>(*capacity) : 10);
    // A zero interval would spin the timer.
    scheduler_ = HRNScheduler::createWithInterval(interval && *interval > 0 ? *interval : 10.0);
    traverser_ = std::make_shared<HRNViewHierarchyTraverser>();
    scheduler_->taskIDScheduledOnQueueBlock(platform::Queue::main(),
                                            [this] { traverseViewHierarchy(); });
    scheduler_->start();
}

void HRNApplicationContentHashing::stopContentHashing() {
    std::shared_ptr<HRNScheduler> scheduler;
    {
        std::lock_guard lock(mutex_);
        scheduler = std::move(scheduler_);
        scheduler_.reset();
    }
    if (scheduler) scheduler->stop();
}

bool HRNApplicationContentHashing::isRunning() const {
    std::lock_guard lock(mutex_);
    return scheduler_ != nullptr;
}

void HRNApplicationContentHashing::traverseViewHierarchy(std::function<void()> completion) {
    std::weak_ptr<HRNContentQueue> weakContentQueue;
    std::shared_ptr<HRNViewHierarchyTraverser> traverser;
    const auto queue = serialQueue_;
    {
        std::lock_guard lock(mutex_);
        if (!scheduler_) {
            if (completion) queue->async(std::move(completion));
            return;
        }
        weakContentQueue = contentQueue_;
        traverser = traverser_;
    }
    std::shared_ptr<platform::ui::View> root;
    if (auto window = HRNApplication::sharedInstance()->mainWindow()) {
        if (auto controller = window->rootViewController()) root = controller->view();
    }

    // The walk's one content, made at its first visit; touched on the main thread only, the
    // content itself only on the serial queue.
    auto content = std::make_shared<std::shared_ptr<HRNContent>>();
    traverser->traverseView(
        root,
        [content, queue](const std::shared_ptr<platform::ui::View>& view, int64_t walk) {
            if (!*content) *content = std::make_shared<HRNContent>(static_cast<uint64_t>(walk));
            queue->async([content = *content, text = textOfView(*view)] {
                content->updateContentWithText(text);
            });
        },
        [content, queue, weakContentQueue, completion](bool finished) {
            queue->async([content = finished ? *content : nullptr, weakContentQueue, completion] {
                auto contentQueue = weakContentQueue.lock();
                if (content && contentQueue && !content->fingerprint().empty()) {
                    contentQueue->deduplicate(content);
                    contentQueue->enqueueContent(content);
                }
                if (completion) completion();
            });
        });
}

std::optional<std::string> HRNApplicationContentHashing::fingerprintWithServedPenaltyDeduction() {
    std::shared_ptr<HRNContentQueue> contentQueue;
    {
        std::lock_guard lock(mutex_);
        contentQueue = contentQueue_;
    }
    if (!contentQueue) return std::nullopt;
    std::optional<std::string> fingerprint;
    serialQueue_->sync([&] {
        auto best = contentQueue->contentWithHighestScore();
        if (!best) return;
        best->deductServedPenalty();
        fingerprint = best->fingerprint();
    });
    return fingerprint;
}
