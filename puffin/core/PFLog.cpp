#include "puffin/core/PFLog.h"

#include <sys/ioctl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <memory>
#include <mutex>

#include "platform/dispatch/Queue.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Application.h"

namespace {

std::atomic<int> gLevel{0};

// Counts the messages queued and not yet written; at most 1000.
class Semaphore {
  public:
    explicit Semaphore(int count) : count_(count) {}
    void wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return count_ > 0; });
        --count_;
    }
    void signal() {
        {
            std::lock_guard lock(mutex_);
            ++count_;
        }
        cv_.notify_one();
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int count_;
};

struct LogState {
    std::shared_ptr<platform::Queue> queue = platform::Queue::serial("puffin.pflog");
    Semaphore semaphore{1000};
};

LogState& state() {
    static LogState* s = [] {
        auto* made = new LogState;  // lives until the process ends: messages may be in flight
        platform::NotificationCenter::defaultCenter().addObserver(
            platform::ui::kApplicationWillTerminateNotification, nullptr,
            [](const platform::Notification&) { PFLog::applicationWillTerminate(); });
        return made;
    }();
    return *s;
}

// Length in bytes of the UTF-8 character that starts with `lead`.
size_t charLength(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

// Splits a line into pieces of at most `width` characters (code points).
void appendWrapped(std::string& out, const std::string& line, size_t width) {
    size_t pos = 0;
    do {
        size_t end = pos;
        size_t count = 0;
        while (end < line.size() && count < width) {
            end += charLength(static_cast<unsigned char>(line[end]));
            ++count;
        }
        if (end > line.size()) end = line.size();
        out.append(line, pos, end - pos);
        out += '\n';
        pos = end;
    } while (pos < line.size());
}

}  // namespace

void PFLog::setLogLevel(int level) {
    gLevel.store(level);
}

int PFLog::logLevel() {
    return gLevel.load();
}

int PFLog::wrapWidth() {
    winsize size{};
    if (ioctl(STDIN_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 1 && size.ws_col <= 200 &&
        size.ws_col > 4)
        return size.ws_col - 4;
    return 76;
}

std::string PFLog::formatLogMessage(const std::string& message, int flag) {
    const size_t width = static_cast<size_t>(wrapWidth());
    std::string wrapped;
    size_t start = 0;
    while (true) {
        const size_t newline = message.find('\n', start);
        const std::string line = message.substr(
            start, newline == std::string::npos ? std::string::npos : newline - start);
        appendWrapped(wrapped, line, width);
        if (newline == std::string::npos) break;
        start = newline + 1;
    }
    wrapped.pop_back();
    std::string text;
    for (char c : wrapped) {
        if (c == '\n')
            text += "\n               | ";
        else
            text += c;
    }
    const char* letter = flag == Info ? "I" : flag == Warning ? "W" : flag == Error ? "E" : "V";
    return std::string("Puffin (") + letter + ") | " + text + "\n";
}

void PFLog::printLogMessage(const std::string& message) {
    iovec parts[2];
    parts[0].iov_base = const_cast<char*>(message.data());
    parts[0].iov_len = message.size();
    int count = 1;
    if (message.empty() || message.back() != '\n') {
        parts[1].iov_base = const_cast<char*>("\n");
        parts[1].iov_len = 1;
        count = 2;
    }
    ssize_t written = writev(STDERR_FILENO, parts, count);
    (void)written;
}

void PFLog::queueLogMessage(const std::string& message, bool asynchronously) {
    LogState& s = state();
    s.semaphore.wait();
    auto block = [message] {
        printLogMessage(message);
        state().semaphore.signal();
    };
    if (asynchronously) {
        s.queue->async(block);
    } else {
        s.queue->sync(block);
    }
}

void PFLog::log(bool asynchronous,
                int,
                int flag,
                int,
                const char*,
                const char*,
                int,
                const void*,
                const char* format,
                ...) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int size = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string message;
    if (size > 0) {
        message.resize(static_cast<size_t>(size));
        vsnprintf(message.data(), message.size() + 1, format, args);
    }
    va_end(args);
    queueLogMessage(formatLogMessage(message, flag), asynchronous);
}

void PFLog::flushLog() {
    // The queue is serial: once an empty block has run there, every message queued before it
    // has been written. (Waiting for a group of pending writes from inside the queue would
    // hang as soon as another thread logged meanwhile.)
    state().queue->sync([] {});
}

void PFLog::applicationWillTerminate() {
    flushLog();
}
