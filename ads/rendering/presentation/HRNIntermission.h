#pragma once
// HRNIntermission: the stretch of time during which one slot's ad covers the application. Every
// screen the SDK puts up for the slot (the interstitial, a browser opened from it, a system
// sheet) joins it as a participant. The first participant begins it: "will present" for the
// slot, the idle timer off; when the last active participant starts to leave it ends ("will
// dismiss", idle timer and status bar put back) and when the last leaving one is gone it
// finishes ("did dismiss"). So the slot hears each of the three once, however many screens are
// stacked. On the return to the foreground the participants that allow it are closed one after
// another, each once the previous one has gone.
//
// Ownership: the slot holds its intermission weakly, the participants strongly; participants
// are held weakly, and one that goes away without leaving counts as having left.
//
// Main thread only.

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NotificationCenter.h"

namespace platform::ui {
class ViewController;
}
class HRNIntermission;
class HRNSlot;

// What takes part in an intermission.
class HRNIntermitting {
  public:
    virtual ~HRNIntermitting() = default;
    // Puts the participant on screen over `controller`; `completion` (may be empty) runs once
    // it has appeared.
    virtual void presentFromViewController(
        const std::shared_ptr<platform::ui::ViewController>& controller,
        std::function<void()> completion) = 0;
    virtual bool shouldDismissOnApplicationEnteringForeground() = 0;
    // Takes the participant off screen; `completion` (may be empty) runs once it has gone.
    virtual void relinquishScreenWithCompletion(std::function<void()> completion) = 0;
    // The intermission it belongs to while on screen, else null.
    virtual std::shared_ptr<HRNIntermission> intermission() const = 0;
};

extern const char* const kAdModalViewControllerWillPresentFullScreen;
extern const char* const kAdModalViewControllerDidDismissFullScreen;

class HRNIntermission : public std::enable_shared_from_this<HRNIntermission> {
  public:
    // Null for a null slot.
    static std::shared_ptr<HRNIntermission> create(const std::shared_ptr<HRNSlot>& slot);
    ~HRNIntermission();
    HRNIntermission(const HRNIntermission&) = delete;
    HRNIntermission& operator=(const HRNIntermission&) = delete;

    std::shared_ptr<HRNSlot> slot() const { return slot_.lock(); }

    // The first participant begins the intermission. A null participant is ignored.
    void addParticipant(const std::shared_ptr<HRNIntermitting>& participant);
    // A participant hid the status bar: it is put back as found when the intermission ends.
    void participantWillOverrideStatusBarVisibility(const HRNIntermitting* participant);
    void participantWillRelinquishScreen(const HRNIntermitting* participant);
    void participantDidRelinquishScreen(const HRNIntermitting* participant);

    size_t activeParticipantCount() const { return active_.size(); }
    size_t deactivatingParticipantCount() const { return deactivating_.size(); }
    bool isActiveParticipant(const HRNIntermitting* participant) const;
    bool publisherIdleTimerDisabled() const { return publisherIdleTimerDisabled_; }
    bool statusBarWasOriginallyHidden() const { return statusBarWasOriginallyHidden_; }

    // The return to the foreground: closes each active participant that allows it, in turn.
    void applicationWillEnterForeground();

  private:
    struct Participant {
        std::weak_ptr<HRNIntermitting> object;
        const HRNIntermitting* address;
    };
    explicit HRNIntermission(std::weak_ptr<HRNSlot> slot) : slot_(std::move(slot)) {}

    void cleanUp();
    void begin();
    void willEnd();
    void didEnd();
    void suspendDeactivations() { deactivationSuspended_ = true; }
    void resumeDeactivations();
    void runNextDeactivation();
    static bool contains(const std::vector<Participant>& set, const HRNIntermitting* p);
    static void erase(std::vector<Participant>& set, const HRNIntermitting* p);

    std::weak_ptr<HRNSlot> slot_;
    std::vector<Participant> active_;
    std::vector<Participant> deactivating_;
    // Closing on the return to the foreground: one operation at a time, held while any
    // participant is leaving.
    std::deque<std::function<void()>> deactivations_;
    bool deactivationSuspended_ = false;
    bool deactivationScheduled_ = false;
    bool publisherIdleTimerDisabled_ = false;
    bool statusBarWasOriginallyHidden_ = false;
    bool statusBarOverridden_ = false;
    platform::NotificationCenter::Token foregroundObserver_ = 0;
};
