#pragma once
// QenGameStoryViewController: the story that sets the scene on a first run, five pages of text
// turned by the next button, each fading in. The start button on the last page leaves by the
// scene's unwind segue to the screen that opened it ("backFromGameStory:").
//
// Contract (main thread only):
//  - The opening screen hands over its model before the view loads, under the key "mdata".
//  - viewDidLoad shows page 1 and stores "hints off" in the model's settings; without a model
//    the page still shows and nothing is stored.

#include <cstdint>
#include <memory>
#include <string>

#include "game/model/QenData.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"

class QenGameStoryViewController : public platform::ui::ViewController {
  public:
    static constexpr const char* kClassName = "QenGameStoryViewController";
    // Pages of the story, in order; each is shown by `text`.
    static constexpr int32_t kPageCount = 5;
    static const std::string& page(int32_t number);  // 1 to 5

    QenGameStoryViewController();
    std::string className() const override { return kClassName; }

    std::shared_ptr<QenData> mdata() const { return mdata_; }
    void setMdata(std::shared_ptr<QenData> model) { mdata_ = std::move(model); }
    int32_t step() const { return step_; }

    void viewDidLoad() override;
    // The next button: the next page; the last page swaps the next button for the start button.
    void bnextAction();

    std::weak_ptr<platform::ui::Label> text;
    std::weak_ptr<platform::ui::Button> bnext;
    std::weak_ptr<platform::ui::Button> bstart;

  private:
    void showPage(int32_t number);

    std::shared_ptr<QenData> mdata_;
    int32_t step_ = 0;
};
