#pragma once
// HRNIntermission: the time a full-screen ad takes the screen for a slot; the slot holds it
// weakly and hears will-present, will-dismiss and did-dismiss once per intermission. In this
// form it only says whether it is running; presenting comes with the full-screen controllers.
// Main thread only.

class HRNIntermission {
  public:
    bool isRunning() const { return running_; }
    void setRunning(bool running) { running_ = running; }

  private:
    bool running_ = false;
};
