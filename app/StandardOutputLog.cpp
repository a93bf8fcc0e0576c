#include "app/StandardOutputLog.h"

#include "platform/GbkText.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

// Writes `text` only when `fd` takes it at once: the notices must not wait for anyone.
void TryNotice(int fd, const std::string& text) {
    pollfd ready{fd, POLLOUT, 0};
    if (::poll(&ready, 1, 0) != 1 || !(ready.revents & POLLOUT))
        return;
    [[maybe_unused]] ssize_t n = ::write(fd, text.data(), text.size());
}

// Writes as much of `bytes` as the descriptor takes, waiting as long as it needs; the count
// written (less than the size only when writing failed).
std::size_t WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            // Someone made the descriptor non-blocking; wait the way a blocking write would.
            pollfd writable{fd, POLLOUT, 0};
            ::poll(&writable, 1, -1);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    return done;
}

} // namespace

struct StandardOutputLog::Shared {
    Shared(int fd, int noticeFd, std::size_t queueBytes)
        : fd(fd), noticeFd(noticeFd), queueBytes(queueBytes) {}

    void CountDropped(std::uint64_t lines) {
        if (lines == 0)
            return;
        dropped += lines;
        if (!noticeGiven.exchange(true))
            TryNotice(noticeFd, "servermonitor: standard output is not being read; log lines are "
                                "dropped until it is\n");
    }

    // The writer thread: takes what is queued, writes it, until stopped with nothing left.
    void Run() {
        std::unique_lock lock(mutex);
        for (;;) {
            work.wait(lock, [this] { return stopping || !queue.empty(); });
            if (queue.empty())
                return;
            std::string batch;
            std::uint64_t lines = 0;
            for (; !queue.empty(); queue.pop_front(), ++lines)
                batch += queue.front();
            writing = true;
            lock.unlock();
            const std::size_t written = WriteAll(fd, batch);
            const auto whole = static_cast<std::uint64_t>(std::count(
                batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(written), '\n'));
            CountDropped(lines - whole);
            lock.lock();
            writing = false;
            pendingBytes -= batch.size();
            if (queue.empty())
                idle.notify_all();
        }
    }

    const int fd;
    const int noticeFd;
    const std::size_t queueBytes;
    std::mutex mutex;
    std::condition_variable work;
    std::condition_variable idle;
    std::deque<std::string> queue;
    // Queued and being written.
    std::size_t pendingBytes = 0;
    bool writing = false;
    bool stopping = false;
    std::atomic<std::uint64_t> dropped{0};
    std::atomic<bool> noticeGiven{false};
};

StandardOutputLog::StandardOutputLog(int fd, int noticeFd, std::size_t queueBytes)
    : shared_(std::make_shared<Shared>(fd, noticeFd, queueBytes)) {
    // Detached and owning its share of the state: a writer stuck in a write to a reader that
    // never reads must not hold up the end of this object or of the process.
    std::thread([shared = shared_] { shared->Run(); }).detach();
}

StandardOutputLog::~StandardOutputLog() {
    WaitWritten(kFlushLimit);
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
    }
    shared_->work.notify_all();
}

void StandardOutputLog::Write(const std::string& lineGbk) {
    std::string line = GbkToUtf8(lineGbk);
    line.push_back('\n');
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->pendingBytes + line.size() <= shared_->queueBytes) {
            shared_->pendingBytes += line.size();
            shared_->queue.push_back(std::move(line));
            shared_->work.notify_one();
            return;
        }
    }
    shared_->CountDropped(1);
}

void StandardOutputLog::Flush() {
    WaitWritten(kFlushLimit);
    if (const std::uint64_t dropped = Dropped())
        TryNotice(shared_->noticeFd, "servermonitor: " + std::to_string(dropped) +
                                         " log lines were dropped from standard output\n");
}

bool StandardOutputLog::WaitWritten(std::chrono::milliseconds limit) {
    std::unique_lock lock(shared_->mutex);
    return shared_->idle.wait_for(lock, limit,
                                  [this] { return shared_->queue.empty() && !shared_->writing; });
}

std::uint64_t StandardOutputLog::Dropped() const {
    return shared_->dropped.load();
}
