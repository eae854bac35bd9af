#include "plover/PloverWebView.h"

#include <fstream>
#include <map>
#include <sstream>

#include "platform/dispatch/Queue.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/net/URLProtocol.h"
#include "plover/PloverAdPart.h"
#include "plover/PloverAdViewController.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kActionPrefix = "plover://actions/";

std::string mimeTypeOf(const fs::path& path) {
    static const std::map<std::string, std::string> types = {
        {".html", "text/html"},     {".htm", "text/html"},         {".css", "text/css"},
        {".js", "text/javascript"}, {".json", "application/json"}, {".png", "image/png"},
        {".jpg", "image/jpeg"},     {".jpeg", "image/jpeg"},       {".gif", "image/gif"},
        {".svg", "image/svg+xml"},  {".mp4", "video/mp4"}};
    auto found = types.find(path.extension().string());
    return found == types.end() ? "application/octet-stream" : found->second;
}

// The file path of a file URL, percent-decoded; empty for anything else.
fs::path filePathOf(const platform::net::URL& url) {
    if (url.scheme() != "file") return {};
    const auto decoded = platform::percentUnescape(url.path());
    if (!decoded) return {};
    return fs::path(*decoded).lexically_normal();
}

}  // namespace

// Answers file URLs inside the end card's folder (the page's style sheets, scripts and
// pictures), which the network does not serve. Registered while the end card lives.
class PloverEndCardFiles : public platform::net::URLProtocol {
  public:
    explicit PloverEndCardFiles(fs::path root) : root_(fs::path(root).lexically_normal()) {}

    bool canHandle(const platform::net::URLRequest& request) override {
        const fs::path path = filePathOf(request.url);
        if (path.empty()) return false;
        const auto relative = path.lexically_relative(root_);
        return !relative.empty() && *relative.begin() != "..";
    }

    void startLoading(const platform::net::URLRequest& request,
                      std::shared_ptr<platform::net::URLProtocolClient> client) override {
        const fs::path path = filePathOf(request.url);
        auto bytes = platform::files::readData(path);
        if (!bytes) {
            client->didFailWithError(platform::net::makeURLError(
                platform::net::kURLErrorResourceUnavailable, request.url.absoluteString()));
            return;
        }
        client->didReceiveResponse(platform::net::HTTPURLResponse(
            request.url, mimeTypeOf(path), static_cast<int64_t>(bytes->size()), std::nullopt));
        client->didLoadData(*bytes);
        client->didFinishLoading();
    }

  private:
    fs::path root_;
};

class PloverWebView::Delegate : public platform::web::WebViewDelegate {
  public:
    explicit Delegate(PloverWebView* owner) : owner_(owner) {}

    bool shouldStartLoadWithRequest(platform::web::WebView&,
                                    const platform::net::URLRequest& request,
                                    platform::web::NavigationType) override {
        const std::string url = request.url.absoluteString();
        const int action = actionForURL(url);
        if (action >= 0) {
            if (auto controller = owner_->adViewController()) {
                // Acted on at the next turn, outside the web view's delivery.
                platform::Queue::main()->async(
                    [controller, action] { controller->ploverPostRollAction(action); });
            }
            return false;
        }
        // Only the page itself and its own files load here.
        return request.url.scheme() == "file" || url == "about:blank";
    }

    void webViewDidFinishLoad(platform::web::WebView&) override { owner_->finished_ = true; }

    void didFailLoadWithError(platform::web::WebView&, const platform::Error&) override {
        if (auto controller = owner_->adViewController())
            platform::Queue::main()->async([controller] { controller->ploverPostRollAction(0); });
    }

  private:
    PloverWebView* owner_;
};

PloverWebView::PloverWebView(std::shared_ptr<PloverAdPart> part) : part_(std::move(part)) {}

PloverWebView::~PloverWebView() {
    if (files_) platform::net::unregisterProtocol(files_);
    if (webView_) webView_->setDelegate({});
}

int PloverWebView::actionForURL(const std::string& url) {
    const std::string prefix = kActionPrefix;
    if (url.compare(0, prefix.size(), prefix) != 0) return -1;
    const std::string name = url.substr(prefix.size());
    if (name == "close") return 0;
    if (name == "download") return 1;
    if (name == "replay") return 2;
    if (name == "privacy") return 3;
    return -1;
}

void PloverWebView::prepareView() {
    if (webView_) return;
    webView_ = std::make_shared<platform::web::WebView>(bounds());
    webView_->setName("endCard");
    delegate_ = std::make_shared<Delegate>(this);
    webView_->setDelegate(delegate_);
    addSubview(webView_);
    setHidden(true);
}

void PloverWebView::load() {
    prepareView();
    finished_ = false;
    const fs::path index = part_ ? part_->indexPath() : fs::path();
    const auto html = index.empty() ? std::nullopt : platform::files::readText(index);
    if (!html) {
        if (auto controller = adViewController())
            platform::Queue::main()->async([controller] { controller->ploverPostRollAction(0); });
        return;
    }
    if (!files_) {
        files_ = std::make_shared<PloverEndCardFiles>(part_->localPath());
        platform::net::registerProtocol(files_);
    }
    const auto base =
        platform::net::URL::parse("file://" + platform::percentEscape(index.string(), "/"));
    webView_->loadHTMLString(*html, base);
}

void PloverWebView::setAdViewController(const std::shared_ptr<PloverAdViewController>& controller) {
    controller_ = controller;
}

std::shared_ptr<PloverAdViewController> PloverWebView::adViewController() const {
    return controller_.lock();
}

void PloverWebView::layoutSubviews() {
    if (webView_) webView_->setFrame(bounds());
}
