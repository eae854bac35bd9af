#include "platform/foundation/Log.h"

#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

namespace platform {

namespace {

// Every live capture. log() records into each under this lock, so all captures and standard
// error see the lines in one order.
std::mutex& registryMutex() {
    static std::mutex m;
    return m;
}

std::vector<LogCapture*>& registry() {
    static auto& r = *new std::vector<LogCapture*>();  // never destroyed: threads log at exit
    return r;
}

std::string timeStamp() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    tm local{};
    time_t secs = tv.tv_sec;
    localtime_r(&secs, &local);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(tv.tv_usec / 1000));
    return buf;
}

void writeAll(int fd, const std::string& text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

// The line as written: cut at kMaxLogLineBytes, never inside a UTF-8 sequence.
std::string capped(std::string_view line) {
    if (line.size() <= kMaxLogLineBytes) return std::string(line);
    size_t cut = kMaxLogLineBytes;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
        --cut;
    std::string out(line.substr(0, cut));
    out += " … (" + std::to_string(line.size() - cut) + " more bytes)";
    return out;
}

}  // namespace

void log(std::string_view text) {
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    const std::string line = capped(text);
    std::string out = timeStamp();
    out += " qen[";
    out += std::to_string(getpid());
    out += "] ";
    out.append(line);
    out += '\n';
    std::lock_guard lock(registryMutex());
    writeAll(STDERR_FILENO, out);
    for (LogCapture* capture : registry())
        capture->record(line);
}

LogCapture::LogCapture() {
    std::lock_guard lock(registryMutex());
    registry().push_back(this);
}

LogCapture::~LogCapture() {
    std::lock_guard lock(registryMutex());
    auto& r = registry();
    r.erase(std::remove(r.begin(), r.end(), this), r.end());
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

bool LogCapture::contains(std::string_view text) const {
    std::lock_guard lock(mutex_);
    return std::any_of(lines_.begin(), lines_.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

void LogCapture::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

void LogCapture::record(std::string_view line) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
}

}  // namespace platform
