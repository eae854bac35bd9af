#include "platform/dispatch/RunLoop.h"

#include <pthread.h>
#include <sys/eventfd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchInternal.h"
#include "platform/dispatch/Queue.h"

namespace platform {

namespace {
thread_local RunLoop* threadLoop = nullptr;
}  // namespace

RunLoop::RunLoop(std::shared_ptr<detail::LoopCore> core, std::string label)
    : core_(std::move(core)), queue_(Queue::forLoop(core_, std::move(label))) {}

RunLoop::~RunLoop() = default;

RunLoop& RunLoop::main() {
    // Never destroyed: workers may post to the main queue while the process exits.
    static RunLoop* loop = new RunLoop(
        std::shared_ptr<detail::LoopCore>(&detail::mainLoopCore(), [](detail::LoopCore*) {}),
        "main");
    return *loop;
}

RunLoop* RunLoop::current() {
    if (threadLoop) return threadLoop;
    if (detail::isMainThread()) return &main();
    return nullptr;
}

void RunLoop::checkThread(const char* what) const {
    if (core_->threadId.load() != detail::currentThreadId())
        detail::fail(std::string("RunLoop::") + what + " called off the loop's own thread");
}

void RunLoop::run() {
    checkThread("run");
    for (;;) {
        {
            std::lock_guard lock(core_->mutex);
            if (core_->stopRequested) {
                core_->stopRequested = false;
                return;
            }
        }
        core_->turn(3600, true);
    }
}

void RunLoop::stop() {
    bool polling;
    {
        std::lock_guard lock(core_->mutex);
        core_->stopRequested = true;
        polling = core_->pollWaiting;
    }
    core_->signal(polling);
}

bool RunLoop::runOnce(double timeout) {
    checkThread("runOnce");
    return core_->turn(std::max(timeout, 0.0));
}

bool RunLoop::runUntil(const std::function<bool()>& predicate, double timeout) {
    checkThread("runUntil");
    // The predicate is looked at again at least this often, for conditions that other threads
    // change without posting here.
    constexpr double kSlice = 0.01;
    using Steady = std::chrono::steady_clock;
    const auto deadline =
        Steady::now() + std::chrono::duration_cast<Steady::duration>(
                            std::chrono::duration<double>(std::max(timeout, 0.0)));
    for (;;) {
        if (predicate()) return true;
        const bool didWork = core_->turn(0);
        if (predicate()) return true;
        const auto now = Steady::now();
        if (now >= deadline) return false;
        if (didWork) continue;
        if (Clock::isVirtual() && detail::outstandingWork() == detail::workRunningOnThisThread() &&
            detail::scheduler::advanceToNext()) {
            continue;
        }
        const double left = std::chrono::duration<double>(deadline - now).count();
        core_->turn(std::min(left, kSlice));
    }
}

int RunLoop::addHook(std::function<bool()> hook) {
    int id;
    {
        std::lock_guard lock(core_->mutex);
        id = core_->nextHookId++;
        core_->hooks.emplace_back(id, std::make_shared<std::function<bool()>>(std::move(hook)));
    }
    core_->wake();
    return id;
}

void RunLoop::removeHook(int id) {
    std::lock_guard lock(core_->mutex);
    std::erase_if(core_->hooks, [id](const auto& entry) { return entry.first == id; });
}

int RunLoop::addObserver(std::function<void(bool)> observer) {
    std::lock_guard lock(core_->mutex);
    const int id = core_->nextHookId++;
    core_->observers.emplace_back(id,
                                  std::make_shared<std::function<void(bool)>>(std::move(observer)));
    return id;
}

void RunLoop::removeObserver(int id) {
    std::lock_guard lock(core_->mutex);
    std::erase_if(core_->observers, [id](const auto& entry) { return entry.first == id; });
}

int RunLoop::addFileDescriptorSource(int fd,
                                     short events,
                                     std::function<void(short)> handler,
                                     bool countsAsWork) {
    int id;
    {
        std::lock_guard lock(core_->mutex);
        if (core_->wakeFd < 0) {
            core_->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
            if (core_->wakeFd < 0) detail::fail("RunLoop: no eventfd for file descriptor sources");
        }
        id = core_->nextHookId++;
        core_->fdSources.push_back(
            {id, fd, events, std::make_shared<std::function<void(short)>>(std::move(handler)),
             countsAsWork});
    }
    // The loop's own thread looks at its sources again before it next waits.
    if (core_->threadId.load() != detail::currentThreadId()) core_->wake();
    return id;
}

void RunLoop::updateFileDescriptorSource(int id, short events) {
    {
        std::lock_guard lock(core_->mutex);
        for (auto& source : core_->fdSources)
            if (source.id == id) source.events = events;
    }
    if (core_->threadId.load() != detail::currentThreadId()) core_->wake();
}

void RunLoop::removeFileDescriptorSource(int id) {
    std::lock_guard lock(core_->mutex);
    std::erase_if(core_->fdSources, [id](const auto& source) { return source.id == id; });
}

void RunLoop::wake() {
    core_->wake();
}

RunLoopThread::RunLoopThread(std::string name) {
    auto core = std::make_shared<detail::LoopCore>();
    loop_.reset(new RunLoop(core, name));
    std::mutex mutex;
    std::condition_variable cv;
    bool started = false;
    thread_ = std::thread([this, core, name, &mutex, &cv, &started] {
        pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
        core->threadId.store(detail::currentThreadId());
        threadLoop = loop_.get();
        {
            std::lock_guard lock(mutex);
            started = true;
            cv.notify_all();
        }
        loop_->run();
        threadLoop = nullptr;
        core->threadId.store(0);
        core->close();
    });
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return started; });
}

RunLoopThread::~RunLoopThread() {
    stop();
}

void RunLoopThread::stop() {
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id())
        detail::fail("RunLoopThread::stop called from its own thread");
    loop_->stop();
    thread_.join();
}

PendingWork::PendingWork() {
    detail::workBegan();
}
PendingWork::~PendingWork() {
    detail::workEnded();
}

}  // namespace platform
