#pragma once
// What every fuzz target shares: a fresh app home and device root for the process, emptying a
// folder between runs, cutting one input into several, and a loopback server for
// the inputs that reach the product over a socket.
//
// A target calls prepareProcess() from LLVMFuzzerInitialize, before anything reads the home.
// Runs are single-threaded (libFuzzer calls the target on its main thread, which is also the
// run loop's main thread); the server answers on a thread of its own.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qen::fuzz {

// Points QEN_HOME and QEN_DEVICE_ROOT at a new folder (on /dev/shm when there is one: targets
// write files at every run), removed at exit.
void prepareProcess();

// Removes everything inside `folder` (the documents folder, say), so that a run reads only what
// its input wrote there.
void emptyFolder(const std::filesystem::path& folder);

// The input cut at each `separator`, into at most `parts` pieces (the last keeps the rest).
std::vector<std::string_view> split(std::string_view input,
                                    std::string_view separator,
                                    size_t parts);

// A loopback HTTP server that answers every connection with the same raw bytes: it reads the
// request (its head, then as much body as Content-Length says), writes the answer and closes.
// The answer is set between runs; connections are served one at a time.
class LoopbackServer {
  public:
    LoopbackServer();  // listening on 127.0.0.1 at a port of its own
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    uint16_t port() const { return port_; }
    // "http://127.0.0.1:PORT" followed by `path`.
    std::string URLString(const std::string& path) const;
    void setAnswer(std::string bytes);

    // Makes loads to any other host reach this server (as their proxy), so that a redirect or a
    // page's link to a far host never leaves the machine. Call before the first load.
    void becomeProxyForOtherHosts() const;

  private:
    void serve();
    std::string answer();

    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::string answer_;
    std::thread thread_;
};

}  // namespace qen::fuzz
