#pragma once
// The end card: the unpacked post-roll page of an ad bundle in a web view, shown after the
// video. The page talks to the SDK by navigating to "plover://actions/<name>": "close",
// "download", "replay" and "privacy", which become the ad view controller's post-roll actions
// 0 to 3; such navigations never load. Other navigations away from the page are refused.
// Main thread only.

#include <memory>
#include <string>

#include "platform/ui/View.h"
#include "platform/web/WebView.h"

class PloverAdPart;
class PloverEndCardFiles;
class PloverAdViewController;

class PloverWebView : public platform::ui::View {
  public:
    // initWithAdPart: the end card's part (type 2), whose unpacked folder holds the page.
    explicit PloverWebView(std::shared_ptr<PloverAdPart> part);
    ~PloverWebView() override;
    std::string className() const override { return "PloverWebView"; }

    // Builds the web view inside this view (sized to it) and hides this view.
    void prepareView();
    // Loads the end card's page from the bundle folder.
    void load();
    void setAdViewController(const std::shared_ptr<PloverAdViewController>& controller);
    std::shared_ptr<PloverAdViewController> adViewController() const;

    const std::shared_ptr<platform::web::WebView>& webView() const { return webView_; }
    bool didFinishLoading() const { return finished_; }

    // The action code of a page navigation, or -1 for one that is no action.
    static int actionForURL(const std::string& url);

    void layoutSubviews() override;

  private:
    class Delegate;
    std::shared_ptr<PloverAdPart> part_;
    std::shared_ptr<platform::web::WebView> webView_;
    std::shared_ptr<Delegate> delegate_;
    std::shared_ptr<PloverEndCardFiles> files_;  // serves the page's files while it lives
    std::weak_ptr<PloverAdViewController> controller_;
    bool finished_ = false;
};
