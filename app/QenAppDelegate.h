#pragma once
// The game's application delegate: at launch it registers the game with the messenger and
// listens for URLs opened to the game (its scheme is the game's messenger app id); every URL
// that opens the game goes to the messenger SDK, and the messenger's answer to a share comes
// back here: a successful share grants the share vouchers kept in the game's files and tells
// the player in alerts; a cancelled or failed one changes nothing.
//
// Main thread only (the application calls it there; onResp comes from inside
// TNApi::handleOpenURL).

#include <memory>
#include <optional>
#include <string>

#include "platform/runtime/Runtime.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "sdk/tern/TNApi.h"

namespace qen::app {

// The game's messenger app id; the game's own URL scheme is this id followed by "://".
extern const char* const kTernAppID;

class QenAppDelegate : public platform::runtime::Object,
                       public platform::ui::ApplicationDelegate,
                       public TNApiDelegate {
  public:
    static constexpr const char* kClassName = "QenAppDelegate";
    std::string className() const override { return kClassName; }

    bool didFinishLaunching(const platform::Dictionary& options) override;
    std::optional<bool> handleOpenURL(const std::string& url) override;
    std::optional<bool> openURL(const std::string& url,
                                const std::string& sourceApplication,
                                const platform::Value& annotation) override;

    void onResp(const std::shared_ptr<BaseResp>& resp) override;

    std::shared_ptr<platform::ui::Window> window() const { return window_; }
    void setWindow(std::shared_ptr<platform::ui::Window> window) { window_ = std::move(window); }

  private:
    std::shared_ptr<platform::ui::Window> window_;
};

// Registers the delegate class by its name, for the launch to find it.
void registerClasses();

}  // namespace qen::app
