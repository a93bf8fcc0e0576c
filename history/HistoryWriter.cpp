#include "history/HistoryWriter.h"

#include "history/HistoryDatabase.h"
#include "history/HistoryStore.h"
#include "history/SqliteError.h"

#include <memory>

namespace {

std::int64_t SystemNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string FaultText(HistoryDatabase::Fault fault) {
    switch (fault) {
    case HistoryDatabase::Fault::Damaged:
        return "is not a database or is damaged";
    case HistoryDatabase::Fault::Locked:
        return "is locked by another program";
    case HistoryDatabase::Fault::ReadOnly:
        return "cannot be written";
    case HistoryDatabase::Fault::Full:
        return "cannot grow: the disk is full";
    case HistoryDatabase::Fault::TooNew:
        return "was written by a later version of the monitor";
    default:
        return "cannot be used";
    }
}

} // namespace

HistoryWriter::HistoryWriter(Options options, FaultSink faults)
    : options_(std::move(options)), faults_(std::move(faults)) {
    if (!options_.now)
        options_.now = SystemNow;
    queue_.reserve(1024);
    thread_ = std::thread([this] { Run(); });
}

HistoryWriter::~HistoryWriter() {
    Flush(kCloseWait);
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool HistoryWriter::Push(HistoryRecord record) {
    bool wake = false;
    {
        std::lock_guard guard(lock_);
        if (off_ || stopping_ || queue_.size() >= options_.capacity) {
            ++dropped_;
            return false;
        }
        queue_.push_back(std::move(record));
        ++pushed_;
        wake = queue_.size() == options_.capacity / 2;
    }
    if (wake)
        wake_.notify_one();
    return true;
}

bool HistoryWriter::Flush(std::chrono::milliseconds timeout) {
    std::unique_lock guard(lock_);
    const std::uint64_t target = pushed_;
    flush_ = true;
    wake_.notify_one();
    return done_.wait_for(guard, timeout, [&] { return handled_ >= target || off_; });
}

void HistoryWriter::Fault(const std::string& line) {
    writing_ = false;
    if (faults_)
        faults_(options_.path + ": " + line);
}

void HistoryWriter::Run() {
    std::unique_ptr<HistoryDatabase> db;
    std::unique_ptr<HistoryStore> store;
    auto open = [&]() -> bool {
        store.reset();
        db.reset();
        HistoryDatabase::Opened opened = HistoryDatabase::OpenForWriting(options_.path);
        if (!opened.movedTo.empty())
            Fault("was not a database or was damaged; moved aside to " + opened.movedTo +
                  (opened.db ? ", a new history is started" : ""));
        if (!opened.db) {
            if (opened.movedTo.empty())
                Fault(FaultText(opened.fault) + " (" + opened.problem +
                      "); the monitor runs on without history");
            return false;
        }
        db = std::move(opened.db);
        store = std::make_unique<HistoryStore>(*db);
        store->EndOrphanOutages();
        writing_ = true;
        return true;
    };
    auto stopWriting = [&] {
        std::lock_guard guard(lock_);
        off_ = true;
        dropped_ += queue_.size();
        handled_ = pushed_;
        queue_.clear();
        done_.notify_all();
    };

    try {
        if (!open()) {
            stopWriting();
            return;
        }
        store->CleanUp(options_.now(), options_.retention);
    } catch (const SqliteError& error) {
        Fault(FaultText(HistoryDatabase::FaultOf(error.Code())) + " (" + error.what() +
              "); the monitor runs on without history");
        stopWriting();
        return;
    }

    auto nextCleanUp = std::chrono::steady_clock::now() + options_.cleanUpInterval;
    std::vector<HistoryRecord> batch;
    for (;;) {
        std::uint64_t upTo;
        bool stopping;
        {
            std::unique_lock guard(lock_);
            wake_.wait_for(guard, options_.batchInterval, [&] {
                return stopping_ || flush_ || queue_.size() >= options_.capacity / 2;
            });
            flush_ = false;
            batch.swap(queue_);
            upTo = pushed_;
            stopping = stopping_;
        }
        try {
            store->Apply(batch);
            written_ += batch.size();
            if (std::chrono::steady_clock::now() >= nextCleanUp) {
                store->CleanUp(options_.now(), options_.retention);
                nextCleanUp = std::chrono::steady_clock::now() + options_.cleanUpInterval;
            }
        } catch (const SqliteError& error) {
            const HistoryDatabase::Fault fault = HistoryDatabase::FaultOf(error.Code());
            dropped_ += batch.size();
            bool reopened = false;
            if (fault == HistoryDatabase::Fault::Damaged) {
                try {
                    reopened = open();
                } catch (const SqliteError&) {
                    reopened = false;
                }
            } else {
                Fault(FaultText(fault) + " (" + error.what() +
                      "); the monitor runs on without history");
            }
            if (!reopened) {
                stopWriting();
                return;
            }
        }
        batch.clear();
        {
            std::lock_guard guard(lock_);
            handled_ = upTo;
        }
        done_.notify_all();
        if (stopping)
            return;
    }
}
