#pragma once
// One downloadable part of an ad bundle: the clip (type 1) or the zipped end card (type 2,
// the reply's "postBundle"). A part downloads itself into its bundle's folder, unpacks an
// archive there, and tells the bundle once per fetch whether it succeeded.
//
// On disk, inside the bundle folder: the clip as "video" plus the extension of its URL
// ("video.mp4"), the end card unpacked into "postbundle/". Downloads go to a hidden temporary
// file and archives are unpacked into a hidden staging folder, each moved into place with one
// rename only when complete; the part is marked ready (and the bundle saved) only after that.
// So a process killed mid-download leaves at most hidden leftovers and a part that is not
// ready, never a half file in place.
//
// When the bundle carries an "md5", the downloaded archive (or the clip, for a bundle without
// an end card) must have that MD5 (hex, any case), else the part fails.
//
// A download whose connection fails is tried again, up to three times, after a pause of one
// and then two seconds; an answer other than 200 fails the part at once.
//
// Threads: fetchAndSave() returns at once; the download runs on platform/net and the file work
// on a worker queue, from where the bundle is told. Every member may be called from any
// thread (a part guards its fields with its own lock).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"

class PloverAdLegacy;

class PloverAdPart : public std::enable_shared_from_this<PloverAdPart> {
  public:
    enum Type : int32_t { kTypeVideo = 1, kTypePostBundle = 2 };

    // initWithDictionary: "url", "type", "local"; plus what an archived part carries ("ready").
    explicit PloverAdPart(const platform::Value& dictionary);
    static std::shared_ptr<PloverAdPart> create(const std::string& url, Type type, bool local);

    void setBundle(const std::weak_ptr<PloverAdLegacy>& bundle);
    std::shared_ptr<PloverAdLegacy> bundle() const;

    std::string url() const;
    int32_t type() const;
    bool local() const;

    // Downloads the part (and unpacks an archive) into the bundle folder, then tells the bundle
    // partDidCompleteCorrectly once. A part without a bundle folder fails at once.
    void fetchAndSave();
    // Moves a downloaded file into place: the clip renamed, an archive checked and unpacked
    // (then deleted). Marks the part ready on success. Runs on the caller's thread.
    bool saveDownloadedFile(const std::filesystem::path& downloaded, platform::Error* error);

    // Downloaded: marked ready and its file or folder is in place.
    bool ready() const;
    // Ready, and usable: a clip that is not empty, an end card with its page (indexPath).
    bool isValid() const;
    // Deletes the part's file or folder (and leftovers of a download), inside the bundle folder.
    void removeFiles();

    // Where the part's content lives: the clip's file, or the unpacked end card's folder.
    // Empty when the bundle has no folder.
    std::filesystem::path localPath() const;
    // The end card's page: "index.html" at the top of the unpacked folder, else in its only
    // sub-folder, else the first ".html" file at the top. Empty when there is none.
    std::filesystem::path indexPath() const;

    // The part as the bundle's archive keeps it.
    platform::Value dictionary() const;

    // Tries of one download when the connection fails (an HTTP answer is never tried again).
    static constexpr int kDownloadAttempts = 3;

  private:
    void download(int attempt);
    std::filesystem::path bundleFolder() const;
    std::string fileName() const;
    void finish(bool ok);

    mutable std::mutex mutex_;
    std::string url_;
    int32_t type_ = kTypeVideo;
    bool local_ = true;
    bool ready_ = false;
    std::weak_ptr<PloverAdLegacy> bundle_;
};
