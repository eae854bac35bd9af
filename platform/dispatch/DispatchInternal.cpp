#include "platform/dispatch/DispatchInternal.h"

#include <poll.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <unordered_map>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"

namespace platform::detail {

void setVirtualNow(double t);  // Clock.cpp
double virtualTime();          // Clock.cpp

void fail(std::string_view message) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
    std::fflush(stderr);
    std::abort();
}

pid_t currentThreadId() {
    thread_local const pid_t id = static_cast<pid_t>(::syscall(SYS_gettid));
    return id;
}

bool isMainThread() {
    return currentThreadId() == ::getpid();
}

// ---- outstanding work

namespace {
std::atomic<int64_t> outstanding{0};
thread_local int64_t runningHere = 0;
}  // namespace

void workBegan() {
    outstanding.fetch_add(1);
}

void workEnded() {
    if (outstanding.fetch_sub(1) == 1 && Clock::isVirtual()) mainLoopCore().wake();
}

int64_t outstandingWork() {
    return outstanding.load();
}
int64_t workRunningOnThisThread() {
    return runningHere;
}

RunningWork::RunningWork() {
    ++runningHere;
}
RunningWork::~RunningWork() {
    --runningHere;
}

// ---- queue stack

namespace {
thread_local std::vector<const Queue*> stack;
}

const std::vector<const Queue*>& queueStack() {
    return stack;
}

QueueScope::QueueScope(const Queue* queue) : count_(1) {
    stack.push_back(queue);
}

QueueScope::QueueScope(std::vector<const Queue*> queues) : count_(queues.size()) {
    stack.insert(stack.end(), queues.begin(), queues.end());
}

QueueScope::~QueueScope() {
    stack.resize(stack.size() - count_);
}

// ---- run loop core

bool LoopCore::post(std::function<void()> block) {
    bool polling;
    {
        std::lock_guard lock(mutex);
        if (closed) return false;
        workBegan();
        items.push_back(std::move(block));
        polling = pollWaiting;
    }
    signal(polling);
    return true;
}

void LoopCore::wake() {
    bool polling;
    {
        std::lock_guard lock(mutex);
        woken = true;
        polling = pollWaiting;
    }
    signal(polling);
}

void LoopCore::signal(bool polling) {
    cv.notify_all();
    if (polling) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd, &one, sizeof one);
    }
}

void LoopCore::close() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(mutex);
        closed = true;
        dropped.swap(items);
    }
    for (size_t i = 0; i < dropped.size(); ++i)
        workEnded();
}

bool LoopCore::turn(double maxWait, bool forRun) {
    // While hooks are installed the loop polls them at least this often.
    constexpr double kHookSlice = 0.01;
    size_t pending;
    std::vector<std::pair<int, std::shared_ptr<std::function<bool()>>>> turnHooks;
    std::vector<std::pair<int, std::shared_ptr<std::function<void(bool)>>>> turnObservers;
    std::vector<pollfd> polled;
    std::vector<int> polledIds;
    {
        std::unique_lock lock(mutex);
        const auto ready = [&] { return !items.empty() || woken || (forRun && stopRequested); };
        const double wait =
            maxWait > 0 && !ready() ? (hooks.empty() ? maxWait : std::min(maxWait, kHookSlice)) : 0;
        if (!fdSources.empty()) {
            // Looked at every turn, also when there is no time to wait.
            polled.push_back({wakeFd, POLLIN, 0});
            for (const auto& source : fdSources) {
                polled.push_back({source.fd, source.events, 0});
                polledIds.push_back(source.id);
            }
            pollWaiting = wait > 0;
            lock.unlock();
            const int ms =
                wait > 0 ? static_cast<int>(std::ceil(std::min(wait, 3600.0) * 1000)) : 0;
            if (::poll(polled.data(), polled.size(), ms) <= 0) polled.clear();
            lock.lock();
            pollWaiting = false;
            if (!polled.empty() && polled[0].revents) {
                uint64_t count;
                [[maybe_unused]] ssize_t n = ::read(wakeFd, &count, sizeof count);
            }
        } else if (wait > 0) {
            cv.wait_for(lock, std::chrono::duration<double>(wait), ready);
        }
        woken = false;
        pending = items.size();
        turnHooks = hooks;
        turnObservers = observers;
    }
    bool didWork = false;
    for (size_t i = 0; i < pending; ++i) {
        std::function<void()> block;
        {
            std::lock_guard lock(mutex);
            if (items.empty()) break;  // a nested turn ran it
            block = std::move(items.front());
            items.pop_front();
        }
        {
            RunningWork running;
            block();
            block = nullptr;  // release what the block held while still counted
        }
        workEnded();
        didWork = true;
    }
    // Sources that became ready, unless removed by a block of this turn.
    for (size_t i = 1; i < polled.size(); ++i) {
        if (!polled[i].revents) continue;
        std::shared_ptr<std::function<void(short)>> handler;
        bool counts = true;
        {
            std::lock_guard lock(mutex);
            for (const auto& source : fdSources) {
                if (source.id != polledIds[i - 1]) continue;
                handler = source.handler;
                counts = source.countsAsWork;
            }
        }
        if (!handler) continue;
        (*handler)(polled[i].revents);
        if (counts) didWork = true;
    }
    for (auto& [id, hook] : turnHooks) {
        {
            // A hook removed earlier in this turn (by a block or another hook) is not called.
            std::lock_guard lock(mutex);
            const auto hookId = id;  // a structured binding is not captured by clang 14
            if (std::none_of(hooks.begin(), hooks.end(),
                             [&](auto& h) { return h.first == hookId; }))
                continue;
        }
        if ((*hook)()) didWork = true;
    }
    for (auto& [observerId, observer] : turnObservers) {
        {
            const auto id = observerId;  // clang 14 cannot capture a structured binding
            std::lock_guard lock(mutex);
            if (std::none_of(observers.begin(), observers.end(),
                             [&](auto& o) { return o.first == id; }))
                continue;
        }
        (*observer)(didWork);
    }
    return didWork;
}

LoopCore& mainLoopCore() {
    static LoopCore* core = [] {
        auto* c = new LoopCore;  // never destroyed: workers may post to it during exit
        c->threadId.store(::getpid());
        return c;
    }();
    return *core;
}

// ---- scheduler

namespace scheduler {
namespace {

struct Entry {
    std::shared_ptr<Queue> queue;
    std::function<void()> block;
    double interval = 0;
};

struct State {
    std::mutex mutex;
    std::condition_variable cv;
    std::map<std::pair<double, uint64_t>, Entry> entries;  // (deadline, id)
    std::unordered_map<uint64_t, double> deadlines;
    uint64_t nextId = 1;
    bool threadStarted = false;
    std::mutex advanceMutex;  // one advance at a time
};

State& state() {
    static State* s = new State;  // never destroyed: its thread outlives static destruction
    return *s;
}

using Due = std::vector<std::pair<std::shared_ptr<Queue>, std::function<void()>>>;

// Takes the entries due at `now` (lock held), re-registering repeating ones at their next
// deadline after `now`.
void takeDue(State& s, double now, Due& due) {
    while (!s.entries.empty() && s.entries.begin()->first.first <= now) {
        auto node = s.entries.extract(s.entries.begin());
        const auto [deadline, id] = node.key();
        Entry& entry = node.mapped();
        if (entry.interval > 0) {
            due.emplace_back(entry.queue, entry.block);
            double next = deadline + entry.interval;
            if (next <= now)
                next += std::ceil((now - next) / entry.interval + 1e-9) * entry.interval;
            if (next <= now) next = now + entry.interval;
            node.key() = {next, id};
            s.deadlines[id] = next;
            s.entries.insert(std::move(node));
        } else {
            s.deadlines.erase(id);
            due.emplace_back(std::move(entry.queue), std::move(entry.block));
        }
    }
}

void post(Due& due) {
    for (auto& [queue, block] : due)
        queue->async(std::move(block));
    due.clear();
}

void threadMain() {
    pthread_setname_np(pthread_self(), "qen.timers");
    State& s = state();
    std::unique_lock lock(s.mutex);
    for (;;) {
        if (Clock::isVirtual() || s.entries.empty()) {
            s.cv.wait(lock);
            continue;
        }
        const double deadline = s.entries.begin()->first.first;
        const double now = Clock::now();
        if (deadline > now) {
            using namespace std::chrono;
            s.cv.wait_for(lock, duration<double>(deadline - now));
            continue;
        }
        Due due;
        takeDue(s, now, due);
        lock.unlock();
        post(due);
        lock.lock();
    }
}

}  // namespace

uint64_t add(double deadline,
             std::shared_ptr<Queue> queue,
             std::function<void()> block,
             double interval) {
    State& s = state();
    uint64_t id;
    Due due;
    {
        std::lock_guard lock(s.mutex);
        id = s.nextId++;
        s.entries.emplace(std::pair{deadline, id},
                          Entry{std::move(queue), std::move(block), interval});
        s.deadlines[id] = deadline;
        if (Clock::isVirtual()) {
            // Nobody steps a virtual clock for a deadline that has already come.
            takeDue(s, Clock::now(), due);
        } else if (!s.threadStarted) {
            s.threadStarted = true;
            std::thread(threadMain).detach();
        }
    }
    s.cv.notify_one();
    post(due);
    return id;
}

void cancel(uint64_t id) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.deadlines.find(id);
    if (it == s.deadlines.end()) return;
    s.entries.erase({it->second, id});
    s.deadlines.erase(it);
}

namespace {

// Steps the virtual clock to `target` (or `target` relative to now, computed under the lock).
void advance(double target, bool relative) {
    State& s = state();
    std::lock_guard advancing(s.advanceMutex);
    std::unique_lock lock(s.mutex);
    if (relative) target += virtualTime();
    for (;;) {
        if (s.entries.empty() || s.entries.begin()->first.first > target) break;
        const double step = std::max(virtualTime(), s.entries.begin()->first.first);
        setVirtualNow(step);
        Due due;
        takeDue(s, step, due);
        lock.unlock();
        post(due);
        lock.lock();
    }
    setVirtualNow(std::max(virtualTime(), target));
}

}  // namespace

void advanceBy(double seconds) {
    advance(seconds, true);
}

bool advanceToNext() {
    double next;
    {
        State& s = state();
        std::lock_guard lock(s.mutex);
        if (s.entries.empty()) return false;
        next = s.entries.begin()->first.first;
    }
    advance(next, false);
    return true;
}

void clockModeChanged() {
    state().cv.notify_all();
}

}  // namespace scheduler

// ---- worker pool

namespace pool {
namespace {

constexpr int kLevels = 4;
// Workers are added while jobs wait and every worker is busy (a blocked block must not starve
// the others), up to this many.
constexpr int kMaxWorkers = 64;

struct State {
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<std::function<void()>> jobs[kLevels];
    size_t queued = 0;
    int workers = 0;
    int idle = 0;
};

State& state() {
    static State* s = new State;  // never destroyed: detached workers wait on it at exit
    return *s;
}

void workerMain() {
    pthread_setname_np(pthread_self(), "qen.worker");
    State& s = state();
    std::unique_lock lock(s.mutex);
    for (;;) {
        if (s.queued == 0) {
            ++s.idle;
            s.cv.wait(lock, [&] { return s.queued > 0; });
            --s.idle;
        }
        std::function<void()> job;
        for (auto& level : s.jobs) {
            if (!level.empty()) {
                job = std::move(level.front());
                level.pop_front();
                break;
            }
        }
        --s.queued;
        lock.unlock();
        job();
        job = nullptr;
        lock.lock();
    }
}

}  // namespace

void submit(int level, std::function<void()> job) {
    State& s = state();
    bool spawn = false;
    {
        std::lock_guard lock(s.mutex);
        s.jobs[std::clamp(level, 0, kLevels - 1)].push_back(std::move(job));
        ++s.queued;
        if (s.queued > static_cast<size_t>(s.idle) && s.workers < kMaxWorkers) {
            ++s.workers;
            spawn = true;
        }
    }
    if (spawn) std::thread(workerMain).detach();
    s.cv.notify_one();
}

}  // namespace pool

bool clockWait(std::unique_lock<std::mutex>& lock,
               std::condition_variable& cv,
               double timeout,
               const std::function<bool()>& done) {
    const double deadline = Clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        const double left = deadline - Clock::now();
        if (left <= 0) return done();
        // The virtual clock moves without notifying anyone: look again every few milliseconds.
        const double slice = Clock::isVirtual() ? std::min(left, 0.005) : left;
        cv.wait_for(lock, std::chrono::duration<double>(slice));
    }
}

}  // namespace platform::detail
