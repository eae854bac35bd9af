#pragma once
// A web view: loads a page by request or from an HTML text, runs its scripts in a JavaScript
// context of its own with a small DOM (README.md lists it), reports the load to its delegate,
// evaluates scripts for its owner and draws the page's boxes, images and text.
//
// Contract:
//  - Main thread only. Delegate calls come on the main thread, never from inside JavaScript.
//  - Every navigation (a load, location changes, iframe sources, a tapped link, reload,
//    back/forward) is offered to shouldStartLoad first; those a script turn makes are queued
//    and offered one by one, in order, after the turn. A refused navigation loads nothing,
//    leaves the page as it was and reports nothing.
//  - One main-frame load reports didStartLoad, then didFinishLoad once its scripts ran (after
//    DOMContentLoaded and load), or didFailLoad with a platform::net error (code, failing URL
//    text under kFailingURLStringKey). An HTTP error status loads as a page. A load replaced by
//    a new one or stopped fails with kURLErrorCancelled. Accepting a jump to a fragment of the
//    page shown moves within it (hashchange) without loading.
//  - Subresources (scripts, images) load through platform::net with a Referer of the document
//    URL, so URL protocols may answer them.
//  - A script that throws logs a console line and the page goes on; a synchronous run longer
//    than scriptTimeLimit seconds is terminated with a console line.
//  - scrollView() holds the size of the laid-out page (at least the view's own), measured when
//    a load finishes, when the view's size changes and after each script the owner evaluates
//    asynchronously; its observers hear each change.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"

namespace platform::web {

enum class NavigationType : int64_t {
    LinkClicked = 0,
    FormSubmitted = 1,
    BackForward = 2,
    Reload = 3,
    FormResubmitted = 4,
    Other = 5,
};

class WebView;

// Every operation is optional; the defaults behave as a delegate that does not answer it.
class WebViewDelegate {
  public:
    virtual ~WebViewDelegate() = default;
    virtual bool shouldStartLoadWithRequest(WebView& /*webView*/,
                                            const net::URLRequest& /*request*/,
                                            NavigationType /*type*/) {
        return true;
    }
    virtual void webViewDidStartLoad(WebView& /*webView*/) {}
    virtual void webViewDidFinishLoad(WebView& /*webView*/) {}
    virtual void didFailLoadWithError(WebView& /*webView*/, const Error& /*error*/) {}
};

class WebView : public ui::View {
  public:
    static constexpr double kScriptTimeLimit = 5;  // seconds of one synchronous script run

    WebView();
    explicit WebView(const ui::Rect& frame);
    ~WebView() override;

    std::string className() const override { return "WebView"; }

    std::weak_ptr<WebViewDelegate> delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<WebViewDelegate> delegate) { delegate_ = std::move(delegate); }

    void loadRequest(const net::URLRequest& request);
    // Relative references resolve against `baseURL`; without one the document is about:blank.
    void loadHTMLString(const std::string& html, const std::optional<net::URL>& baseURL);

    void stopLoading();
    void reload();
    void goBack();
    void goForward();
    bool canGoBack() const;
    bool canGoForward() const;
    bool isLoading() const;
    // The request of the page shown or loading, if any.
    std::optional<net::URLRequest> request() const;
    // The answer the page shown was fetched with (its status and headers); std::nullopt for a
    // page from a text or about:, and until the document has arrived.
    std::optional<net::HTTPURLResponse> response() const;

    // Runs `script` now as one turn and answers its result as text ("" for undefined, null, or
    // an exception, which is logged).
    std::string stringByEvaluatingJavaScriptFromString(const std::string& script);
    // Runs `script` at a later turn of the main run loop; completion(result, error) follows on
    // the main thread, error set when the script threw.
    void evaluateJavaScript(const std::string& script,
                            std::function<void(const std::string& result,
                                               const std::optional<Error>& error)> completion);

    // Makes, on a thread of its own, the script context the next page of this view will run in
    // (its engine, its global object and the DOM prelude run in it), so that an owner who knows
    // a load is coming (an ad being fetched) has the page's longest step done meanwhile. The
    // next main-frame page takes it, waiting for it if it is not ready yet; a second call before
    // then does nothing.
    void prepareScriptContext();

    // The page's user agent (navigator.userAgent and the User-Agent header).
    static const std::string& userAgent();

    // The page's scroll view: its content size is the laid-out page's.
    const std::shared_ptr<ui::ScrollView>& scrollView() const { return scrollView_; }

    void draw(render::Canvas& canvas, const ui::Rect& rect) override;
    void touchesEnded(const ui::Touches& touches) override;
    void didChangeSize() override;

    struct Page;
    struct Entry;
    struct ScriptContext;
    // Internal: the context prepareScriptContext made, once it is ready; nullptr without one.
    std::unique_ptr<ScriptContext> takePreparedScriptContext();
    static std::unique_ptr<ScriptContext> makeAheadScriptContext();
    struct Preparing;
    // Internal: the page machinery calls these.
    void pageDidFinish(Page& page);
    void pageDidFail(Page& page, const Error& error);
    void queueNavigation(const net::URLRequest& request,
                         NavigationType type,
                         bool mainFrame,
                         const std::shared_ptr<Page>& owner = nullptr,
                         double frameId = 0);

  private:
    void startNavigation(const Entry& entry, NavigationType type);
    void commit(const Entry& entry);
    void deliverNavigations();
    void attachLoopHook();
    void updateContentSize();

    std::weak_ptr<WebViewDelegate> delegate_;
    std::shared_ptr<Page> page_;
    std::vector<Entry> history_;
    size_t historyIndex_ = 0;
    struct Pending;
    std::vector<Pending> pending_;
    bool deliveryPosted_ = false;
    bool loading_ = false;
    std::shared_ptr<bool> alive_;
    std::shared_ptr<ui::ScrollView> scrollView_;
    std::shared_ptr<Preparing> preparing_;
};

}  // namespace platform::web
