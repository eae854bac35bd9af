#include "ads/rendering/presentation/HRNIntermission.h"

#include <algorithm>

#include "ads/formats/HRNAd.h"
#include "ads/pipeline/slot/HRNSlot.h"
#include "platform/dispatch/Queue.h"
#include "platform/ui/Application.h"

const char* const kAdModalViewControllerWillPresentFullScreen =
    "kAdModalViewControllerWillPresentFullScreen";
const char* const kAdModalViewControllerDidDismissFullScreen =
    "kAdModalViewControllerDidDismissFullScreen";

std::shared_ptr<HRNIntermission> HRNIntermission::create(const std::shared_ptr<HRNSlot>& slot) {
    if (!slot) return nullptr;
    return std::shared_ptr<HRNIntermission>(new HRNIntermission(slot));
}

HRNIntermission::~HRNIntermission() {
    cleanUp();
    if (!active_.empty()) {
        willEnd();
        didEnd();
    } else if (!deactivating_.empty()) {
        didEnd();
    }
    if (foregroundObserver_)
        platform::NotificationCenter::defaultCenter().removeObserver(foregroundObserver_);
}

bool HRNIntermission::contains(const std::vector<Participant>& set, const HRNIntermitting* p) {
    return std::any_of(set.begin(), set.end(),
                       [p](const Participant& each) { return each.address == p; });
}

void HRNIntermission::erase(std::vector<Participant>& set, const HRNIntermitting* p) {
    std::erase_if(set, [p](const Participant& each) { return each.address == p; });
}

bool HRNIntermission::isActiveParticipant(const HRNIntermitting* participant) const {
    return contains(active_, participant);
}

void HRNIntermission::cleanUp() {
    auto gone = [](const Participant& each) { return each.object.expired(); };
    const bool droppedActive = std::erase_if(active_, gone) > 0;
    const bool droppedLeaving = std::erase_if(deactivating_, gone) > 0;
    if (droppedActive && active_.empty()) willEnd();
    if (droppedActive || droppedLeaving) {
        if (deactivating_.empty()) {
            resumeDeactivations();
            if (active_.empty()) didEnd();
        }
    }
}

void HRNIntermission::addParticipant(const std::shared_ptr<HRNIntermitting>& participant) {
    cleanUp();
    if (!participant) return;
    if (active_.empty() && deactivating_.empty()) begin();
    if (!contains(active_, participant.get())) active_.push_back({participant, participant.get()});
}

void HRNIntermission::participantWillOverrideStatusBarVisibility(const HRNIntermitting*) {
    statusBarOverridden_ = true;
}

void HRNIntermission::participantWillRelinquishScreen(const HRNIntermitting* participant) {
    cleanUp();
    suspendDeactivations();
    for (auto it = active_.begin(); it != active_.end(); ++it) {
        if (it->address != participant) continue;
        deactivating_.push_back(*it);
        active_.erase(it);
        if (active_.empty()) willEnd();
        break;
    }
}

void HRNIntermission::participantDidRelinquishScreen(const HRNIntermitting* participant) {
    cleanUp();
    if (contains(active_, participant)) participantWillRelinquishScreen(participant);
    if (contains(deactivating_, participant)) {
        erase(deactivating_, participant);
        if (active_.empty() && deactivating_.empty()) didEnd();
    }
    if (deactivating_.empty()) resumeDeactivations();
}

void HRNIntermission::begin() {
    auto slot = slot_.lock();
    platform::NotificationCenter::defaultCenter().post(kAdModalViewControllerWillPresentFullScreen,
                                                       this);
    if (slot) slot->adWillPresentScreen();
    auto& application = platform::ui::Application::shared();
    publisherIdleTimerDisabled_ = application.isIdleTimerDisabled();
    application.setIdleTimerDisabled(true);
    statusBarWasOriginallyHidden_ = application.isStatusBarHidden();
    if (slot && slot->ad())
        if (auto handler = slot->ad()->MRAIDEventHandler()) handler->updateVisibility(false);
    if (!foregroundObserver_) {
        std::weak_ptr<HRNIntermission> weakSelf = weak_from_this();
        foregroundObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
            platform::ui::kApplicationWillEnterForegroundNotification, nullptr,
            [weakSelf](const platform::Notification&) {
                if (auto self = weakSelf.lock()) self->applicationWillEnterForeground();
            });
    }
}

void HRNIntermission::willEnd() {
    auto& application = platform::ui::Application::shared();
    application.setIdleTimerDisabled(publisherIdleTimerDisabled_);
    if (statusBarOverridden_) application.setStatusBarHidden(statusBarWasOriginallyHidden_);
    if (auto slot = slot_.lock()) slot->adWillDismissScreen();
}

void HRNIntermission::didEnd() {
    if (foregroundObserver_) {
        platform::NotificationCenter::defaultCenter().removeObserver(foregroundObserver_);
        foregroundObserver_ = 0;
    }
    platform::NotificationCenter::defaultCenter().post(kAdModalViewControllerDidDismissFullScreen,
                                                       this);
    auto slot = slot_.lock();
    if (!slot) return;
    slot->adDidDismissScreen();
    if (slot->ad())
        if (auto handler = slot->ad()->MRAIDEventHandler())
            handler->updateVisibility(slot->monitoredViewVisible());
}

void HRNIntermission::applicationWillEnterForeground() {
    for (const auto& each : active_) {
        auto participant = each.object.lock();
        if (!participant || !participant->shouldDismissOnApplicationEnteringForeground()) continue;
        std::weak_ptr<HRNIntermitting> weakParticipant = participant;
        std::weak_ptr<HRNIntermission> weakSelf = weak_from_this();
        deactivations_.push_back([weakSelf, weakParticipant] {
            auto self = weakSelf.lock();
            auto participant = weakParticipant.lock();
            if (self && participant && self->isActiveParticipant(participant.get()))
                participant->relinquishScreenWithCompletion(nullptr);
        });
    }
    if (!deactivationSuspended_) runNextDeactivation();
}

void HRNIntermission::resumeDeactivations() {
    deactivationSuspended_ = false;
    runNextDeactivation();
}

void HRNIntermission::runNextDeactivation() {
    if (deactivations_.empty() || deactivationScheduled_) return;
    // On a later turn, so a participant that leaves in the operation suspends the queue
    // before the next one is taken.
    deactivationScheduled_ = true;
    std::weak_ptr<HRNIntermission> weakSelf = weak_from_this();
    platform::Queue::main()->async([weakSelf] {
        auto self = weakSelf.lock();
        if (!self) return;
        self->deactivationScheduled_ = false;
        if (self->deactivationSuspended_ || self->deactivations_.empty()) return;
        auto operation = std::move(self->deactivations_.front());
        self->deactivations_.pop_front();
        operation();
        if (!self->deactivationSuspended_) self->runNextDeactivation();
    });
}
