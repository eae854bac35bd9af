#include "plover/PloverAdPart.h"

#include <cctype>
#include <cstdio>
#include <system_error>

#include "platform/dispatch/Queue.h"
#include "platform/foundation/Files.h"
#include "platform/net/URLLoader.h"
#include "platform/security/Digest.h"
#include "plover/PloverAd.h"
#include "plover/PloverFileManager.h"
#include "plover/PloverNetworkTrust.h"
#include "plover/PloverUtil.h"

namespace fs = std::filesystem;
using platform::Value;

namespace {

constexpr const char* kPostBundleFolder = "postbundle";

// The extension of the URL's last path component when it is a plain one ("mp4").
std::string extensionOf(const std::string& urlText) {
    const auto url = platform::net::URL::parse(urlText);
    if (!url) return {};
    const std::string& path = url->path();
    const size_t slash = path.rfind('/');
    const std::string last = path.substr(slash == std::string::npos ? 0 : slash + 1);
    const size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot + 1 >= last.size() || last.size() - dot - 1 > 5) return {};
    std::string extension = last.substr(dot + 1);
    for (char& c : extension) {
        if (!std::isalnum(static_cast<unsigned char>(c))) return {};
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension;
}

bool sameHex(std::string a, std::string b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::optional<std::string> md5OfFile(const fs::path& path) {
    auto bytes = platform::files::readData(path);
    if (!bytes) return std::nullopt;
    return platform::security::md5Hex(*bytes);
}

// Streams one download into a file and hands the outcome on, on the delegate's queue.
class PartDownload : public PloverTrustingLoaderDelegate {
  public:
    enum Outcome { kComplete, kRefused, kNetworkFailure };
    PartDownload(fs::path file, std::function<void(Outcome)> done)
        : file_(std::move(file)), done_(std::move(done)) {}
    ~PartDownload() override { close(); }

    void didReceiveResponse(platform::net::URLLoader&,
                            const platform::net::HTTPURLResponse& response) override {
        status_ = response.statusCode();
        out_ = std::fopen(file_.c_str(), "wb");
        if (!out_) failed_ = true;
    }
    void didReceiveData(platform::net::URLLoader&, const platform::Data& data) override {
        if (failed_ || !out_) return;
        if (std::fwrite(data.data(), 1, data.size(), out_) != data.size()) failed_ = true;
    }
    void didFinishLoading(platform::net::URLLoader&) override {
        const bool closed = close();
        end(!failed_ && closed && status_ == 200 ? kComplete : kRefused);
    }
    void didFailWithError(platform::net::URLLoader&, const platform::Error&) override {
        close();
        end(kNetworkFailure);
    }

  private:
    bool close() {
        if (!out_) return true;
        const bool ok = std::fclose(out_) == 0;
        out_ = nullptr;
        return ok;
    }
    void end(Outcome outcome) {
        if (auto done = std::move(done_)) done(outcome);
    }
    fs::path file_;
    std::function<void(Outcome)> done_;
    std::FILE* out_ = nullptr;
    int64_t status_ = 0;
    bool failed_ = false;
};

}  // namespace

PloverAdPart::PloverAdPart(const Value& dictionary) {
    if (const Value* url = dictionary.find("url"); url && url->isString()) url_ = *url->string();
    type_ = PloverUtil::intValue(dictionary.find("type"));
    local_ = dictionary.find("local") ? PloverUtil::boolValue(dictionary.find("local")) : true;
    ready_ = PloverUtil::boolValue(dictionary.find("ready"));
}

std::shared_ptr<PloverAdPart> PloverAdPart::create(const std::string& url, Type type, bool local) {
    return std::make_shared<PloverAdPart>(
        platform::Dictionary{{"url", url}, {"type", static_cast<int64_t>(type)}, {"local", local}});
}

void PloverAdPart::setBundle(const std::weak_ptr<PloverAdLegacy>& bundle) {
    std::lock_guard lock(mutex_);
    bundle_ = bundle;
}

std::shared_ptr<PloverAdLegacy> PloverAdPart::bundle() const {
    std::lock_guard lock(mutex_);
    return bundle_.lock();
}

std::string PloverAdPart::url() const {
    std::lock_guard lock(mutex_);
    return url_;
}

int32_t PloverAdPart::type() const {
    std::lock_guard lock(mutex_);
    return type_;
}

bool PloverAdPart::local() const {
    std::lock_guard lock(mutex_);
    return local_;
}

fs::path PloverAdPart::bundleFolder() const {
    auto owner = bundle();
    return owner ? owner->bundlePath() : fs::path();
}

std::string PloverAdPart::fileName() const {
    if (type() == kTypePostBundle) return kPostBundleFolder;
    const std::string extension = extensionOf(url());
    return extension.empty() ? "video" : "video." + extension;
}

fs::path PloverAdPart::localPath() const {
    const fs::path folder = bundleFolder();
    return folder.empty() ? folder : folder / fileName();
}

fs::path PloverAdPart::indexPath() const {
    if (type() != kTypePostBundle) return {};
    const fs::path root = localPath();
    if (root.empty()) return {};
    std::error_code ec;
    if (fs::is_regular_file(root / "index.html", ec)) return root / "index.html";
    fs::path onlyFolder;
    fs::path firstPage;
    int folders = 0;
    for (const auto& entry : fs::directory_iterator(root, ec)) {
        if (entry.is_directory(ec)) {
            ++folders;
            onlyFolder = entry.path();
        } else if (entry.path().extension() == ".html" &&
                   (firstPage.empty() || entry.path() < firstPage)) {
            firstPage = entry.path();
        }
    }
    if (folders == 1 && fs::is_regular_file(onlyFolder / "index.html", ec))
        return onlyFolder / "index.html";
    return firstPage;
}

void PloverAdPart::fetchAndSave() {
    download(1);
}

void PloverAdPart::download(int attempt) {
    const fs::path folder = bundleFolder();
    const std::string source = url();
    auto request = platform::net::URL::parse(source);
    if (folder.empty() || !request || !request->isAbsolute()) {
        finish(false);
        return;
    }
    PloverFileManager::createDirectoryAtPath(folder, nullptr);
    const fs::path temporary = folder / ("." + fileName() + ".download");
    auto self = shared_from_this();
    auto queue = platform::Queue::serial("plover.part");
    auto delegate = std::make_shared<PartDownload>(
        temporary, [self, temporary, attempt](PartDownload::Outcome outcome) {
            platform::Error error;
            const bool saved =
                outcome == PartDownload::kComplete && self->saveDownloadedFile(temporary, &error);
            std::error_code ec;
            fs::remove(temporary, ec);
            if (outcome == PartDownload::kNetworkFailure && attempt < kDownloadAttempts) {
                // A dropped connection is tried again after a pause; an answer is final.
                platform::Queue::global()->after(attempt,
                                                 [self, attempt] { self->download(attempt + 1); });
                return;
            }
            self->finish(saved);
        });
    platform::net::URLRequest loadRequest(*request);
    platform::net::URLLoader::start(loadRequest, delegate, queue);
}

bool PloverAdPart::saveDownloadedFile(const fs::path& downloaded, platform::Error* error) {
    auto owner = bundle();
    const fs::path target = localPath();
    if (!owner || target.empty()) {
        platform::setError(error,
                           platform::Error::withDescription(PloverFileManager::kErrorDomain,
                                                            PloverFileManager::kErrorUnsafePath,
                                                            "the part has no folder"));
        return false;
    }
    // The checksum belongs to the end card, or to the clip of a bundle without one.
    if (const auto expected = owner->md5(); expected && !expected->empty()) {
        bool checked = type() == kTypePostBundle;
        if (!checked) {
            checked = true;
            for (const auto& other : owner->parts())
                if (other->type() == kTypePostBundle) checked = false;
        }
        if (checked) {
            const auto actual = md5OfFile(downloaded);
            if (!actual || !sameHex(*actual, *expected)) {
                platform::setError(
                    error, platform::Error::withDescription(PloverFileManager::kErrorDomain,
                                                            PloverFileManager::kErrorCannotRead,
                                                            "the download does not match its md5"));
                return false;
            }
        }
    }
    std::error_code ec;
    if (type() == kTypePostBundle) {
        const fs::path staging = target.parent_path() / ("." + fileName() + ".unpacking");
        fs::remove_all(staging, ec);
        if (!PloverFileManager::unzipFileAtPath(downloaded, staging, error)) return false;
        fs::remove_all(target, ec);
        fs::rename(staging, target, ec);
        if (ec) {
            fs::remove_all(staging, ec);
            platform::setError(
                error, platform::Error::withDescription(
                           PloverFileManager::kErrorDomain, PloverFileManager::kErrorCannotCreate,
                           "cannot move the unpacked end card into place"));
            return false;
        }
    } else {
        fs::rename(downloaded, target, ec);
        if (ec) {
            platform::setError(
                error, platform::Error::withDescription(PloverFileManager::kErrorDomain,
                                                        PloverFileManager::kErrorCannotCreate,
                                                        "cannot move the clip into place"));
            return false;
        }
    }
    std::lock_guard lock(mutex_);
    ready_ = true;
    return true;
}

void PloverAdPart::finish(bool ok) {
    if (!ok) {
        std::lock_guard lock(mutex_);
        ready_ = false;
    }
    if (auto owner = bundle()) owner->partDidCompleteCorrectly(*this, ok);
}

bool PloverAdPart::ready() const {
    {
        std::lock_guard lock(mutex_);
        if (!ready_) return false;
    }
    const fs::path path = localPath();
    std::error_code ec;
    return !path.empty() && fs::exists(path, ec);
}

bool PloverAdPart::isValid() const {
    if (!ready()) return false;
    std::error_code ec;
    if (type() == kTypePostBundle) return !indexPath().empty();
    return fs::is_regular_file(localPath(), ec) && fs::file_size(localPath(), ec) > 0;
}

void PloverAdPart::removeFiles() {
    const fs::path target = localPath();
    if (target.empty()) return;
    std::error_code ec;
    fs::remove_all(target, ec);
    fs::remove(target.parent_path() / ("." + fileName() + ".download"), ec);
    fs::remove_all(target.parent_path() / ("." + fileName() + ".unpacking"), ec);
    std::lock_guard lock(mutex_);
    ready_ = false;
}

Value PloverAdPart::dictionary() const {
    std::lock_guard lock(mutex_);
    return platform::Dictionary{
        {"url", url_}, {"type", static_cast<int64_t>(type_)}, {"local", local_}, {"ready", ready_}};
}
