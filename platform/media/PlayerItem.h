#pragma once
// A player item: one video (or sound) file to play, from a file URL or an http(s) URL, and what
// is known of it: its status, duration, the time ranges loaded so far and, once it failed, why.
// A Player (Player.h) plays it; a PlayerLayer (platform/ui) shows its pictures.
//
// Contract:
//  - Made and used on the main thread (members abort elsewhere). Opening, downloading and
//    decoding run on queues of the item's own; what they find reaches the item on the main
//    queue, in the order it happened.
//  - status() starts Unknown and becomes ReadyToPlay once the file's header was read (duration
//    known), or Failed with error() set: a missing or unreadable file, bytes that are no
//    playable media, an HTTP error status or a failed download, a URL that is neither file nor
//    http(s) (MediaError.h has the codes). A ready item becomes Failed when its bytes break
//    while it plays (a download that fails half-way). Failed is final.
//  - Status observers run on the main thread, in the order added, after status() and error()
//    changed. An observer added with `initial` is also called at once, inside
//    addStatusObserver, with the status of that moment.
//  - http(s) items download through platform::net, so URL protocols, the trust store and the
//    Clock's time-outs apply; the item may become ready before every byte arrived (reading past
//    what arrived waits for it), and loadedTimeRanges() grows as bytes arrive. A file item has
//    its whole duration loaded once ready.
//  - While the item opens, or the decoder works for it, runUntil on the virtual clock does not
//    move the clock (that work runs as queue blocks).
//  - Destroying the item stops its work; nothing is called after that.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/media/VideoFrame.h"
#include "platform/net/URL.h"

namespace platform::media {

enum class PlayerItemStatus : int64_t { Unknown = 0, ReadyToPlay = 1, Failed = 2 };

// A stretch of the item's timeline, in seconds.
struct TimeRange {
    double start = 0;
    double duration = 0;
    double end() const { return start + duration; }
    // start <= time < end
    bool containsTime(double time) const { return time >= start && time < end(); }
    friend bool operator==(const TimeRange&, const TimeRange&) = default;
};

class Player;

class PlayerItem : public std::enable_shared_from_this<PlayerItem> {
  public:
    using StatusObserver = std::function<void(PlayerItemStatus)>;
    using Token = uint64_t;  // 0 is never a token

    // Starts opening at once.
    static std::shared_ptr<PlayerItem> create(const net::URL& url);
    ~PlayerItem();
    PlayerItem(const PlayerItem&) = delete;
    PlayerItem& operator=(const PlayerItem&) = delete;

    const net::URL& url() const { return url_; }
    PlayerItemStatus status() const { return status_; }
    // Set once the status is Failed.
    const std::optional<Error>& error() const { return error_; }

    // Seconds; NaN until the item is ready (and 0 for a file whose length is not recorded).
    double duration() const;
    // The size of the pictures in pixels; 0 x 0 without video or until ready.
    int width() const { return width_; }
    int height() const { return height_; }
    // What has been loaded, in order; empty until ready.
    std::vector<TimeRange> loadedTimeRanges() const;
    // The item's time: its player's currentTime() while a player plays it, else the time it was
    // left at (0 at first).
    double currentTime() const;

    Token addStatusObserver(StatusObserver observer, bool initial);
    void removeStatusObserver(Token token);

    struct Engine;  // internal: the decoding side, shared with the item's queues

  private:
    friend class Player;
    explicit PlayerItem(net::URL url);
    void start();
    void setStatus(PlayerItemStatus status, std::optional<Error> error);

    net::URL url_;
    PlayerItemStatus status_ = PlayerItemStatus::Unknown;
    std::optional<Error> error_;
    double duration_ = 0;
    int width_ = 0;
    int height_ = 0;
    double leftAt_ = 0;
    std::weak_ptr<Player> player_;
    std::vector<std::pair<Token, std::shared_ptr<StatusObserver>>> observers_;
    Token nextToken_ = 1;
    std::shared_ptr<Engine> engine_;
};

}  // namespace platform::media
