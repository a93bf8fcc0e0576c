#include "app/QueuedWriter.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Writes as much of `bytes` as the descriptor takes, waiting as long as it needs, and adds what
// each write took to `progress`; the count written (less than the size only when writing failed).
// A blocking write to a pipe returns only when all of it is in, so the bytes go a page at a time
// for `progress` to show a reader that reads slowly.
std::size_t WriteAll(int fd, const std::string& bytes, std::atomic<std::uint64_t>& progress) {
    constexpr std::size_t kPiece = 4096;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, std::min(kPiece, bytes.size() - done));
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            progress += static_cast<std::uint64_t>(n);
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

struct QueuedWriter::Shared {
    Shared(int fd, std::size_t queueBytes, std::function<void()> onFirstDrop)
        : fd(fd), queueBytes(queueBytes), onFirstDrop(std::move(onFirstDrop)) {}

    void CountDropped(std::uint64_t pieces) {
        if (pieces == 0)
            return;
        dropped += pieces;
        if (!dropSeen.exchange(true) && onFirstDrop)
            onFirstDrop();
    }

    // The thread: takes what is queued, writes it, until stopped with nothing left.
    void Run() {
        std::unique_lock lock(mutex);
        for (;;) {
            work.wait(lock, [this] { return stopping || !queue.empty(); });
            if (queue.empty())
                return;
            std::string batch;
            std::vector<std::size_t> ends;
            for (; !queue.empty(); queue.pop_front()) {
                batch += queue.front();
                ends.push_back(batch.size());
            }
            writing = true;
            lock.unlock();
            const std::size_t written = WriteAll(fd, batch, progress);
            std::uint64_t whole = 0;
            while (whole < ends.size() && ends[whole] <= written)
                ++whole;
            CountDropped(ends.size() - whole);
            lock.lock();
            writing = false;
            pendingBytes -= batch.size();
            if (queue.empty())
                idle.notify_all();
        }
    }

    const int fd;
    const std::size_t queueBytes;
    const std::function<void()> onFirstDrop;
    std::mutex mutex;
    std::condition_variable work;
    std::condition_variable idle;
    std::deque<std::string> queue;
    // Queued and being written.
    std::size_t pendingBytes = 0;
    bool writing = false;
    bool stopping = false;
    bool sealed = false;
    std::atomic<std::uint64_t> progress{0};
    std::atomic<std::uint64_t> dropped{0};
    std::atomic<bool> dropSeen{false};
};

QueuedWriter::QueuedWriter(int fd, std::size_t queueBytes, std::function<void()> onFirstDrop)
    : shared_(std::make_shared<Shared>(fd, queueBytes, std::move(onFirstDrop))) {
    std::thread([shared = shared_] {
        // Out of memory for a batch must not end the process; the writer stops writing instead,
        // and what is queued later is dropped once the queue is full.
        try {
            shared->Run();
        } catch (...) {
        }
    }).detach();
}

QueuedWriter::~QueuedWriter() {
    WaitWritten(kCloseLimit, kCloseStall);
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
    }
    shared_->work.notify_all();
}

void QueuedWriter::Queue(std::string bytes) {
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->sealed)
            return;
        if (shared_->pendingBytes + bytes.size() <= shared_->queueBytes) {
            shared_->pendingBytes += bytes.size();
            shared_->queue.push_back(std::move(bytes));
            shared_->work.notify_one();
            return;
        }
    }
    shared_->CountDropped(1);
}

void QueuedWriter::Seal() {
    std::lock_guard lock(shared_->mutex);
    shared_->sealed = true;
}

bool QueuedWriter::WaitWritten(std::chrono::milliseconds limit, std::chrono::milliseconds stall) {
    const Clock::time_point deadline = Clock::now() + limit;
    const auto allWritten = [this] { return shared_->queue.empty() && !shared_->writing; };
    std::unique_lock lock(shared_->mutex);
    for (;;) {
        const std::uint64_t before = shared_->progress.load();
        const Clock::time_point sliceEnd = std::min(deadline, Clock::now() + stall);
        if (shared_->idle.wait_until(lock, sliceEnd, allWritten))
            return true;
        if (Clock::now() >= deadline || shared_->progress.load() == before)
            return false;
    }
}

std::uint64_t QueuedWriter::Dropped() const {
    return shared_->dropped.load();
}
