// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/progress.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// What a job on a worker is handed: how far it got, for the owner to show, and whether to stop.
// Thread-safe: the job advances it, the owner reads and stops it.
class WorkerProgress final : public Progress {
public:
    bool advance(std::size_t done, std::size_t total) override;
    void stop() { stopping = true; }
    bool stopped() const { return stopping; }
    std::size_t done() const { return stepsDone; }
    std::size_t total() const { return stepsTotal; }

private:
    std::atomic<bool> stopping = false;
    std::atomic<std::size_t> stepsDone = 0;
    std::atomic<std::size_t> stepsTotal = 0;
};

// The one way work runs beside the window: a thread of its own runs the jobs given to it one after
// the other, so whatever a job opens (its own SQLite connection, from the session's path) is only
// ever used on that thread. A job never touches the window's objects; it answers with a value,
// which `done` receives on the owner's thread once the job has ended. stop() is the one cancel:
// the Progress of every job given so far asks it to stop. A job that runs an event loop of its own
// (the link check) lets the jobs queued behind it start inside that loop: such work takes a worker
// to itself.
class Worker : public QObject {
    Q_OBJECT
public:
    explicit Worker(QObject* owner, QThread::Priority priority = QThread::InheritPriority);
    // Stops the jobs and waits for the one running; no `done` runs afterwards.
    ~Worker() override;

    template <class Result>
    std::shared_ptr<WorkerProgress> start(std::function<Result(Progress&)> job,
                                          std::function<void(const Result&)> done = {});

    // A job given whose `done` has not run yet.
    bool busy() const { return unanswered > 0; }
    void stop();
    // Until every job given so far has ended; their `done` still comes from the event loop.
    void wait();
    // The same for at most this long; true when they have ended.
    bool waitFor(int milliseconds);

signals:
    // A job ended with an exception instead of a value: its `done` does not run.
    void failed(const QString& reason);

private:
    std::shared_ptr<WorkerProgress> track();
    void post(std::function<void()> job);
    void answered(const std::exception_ptr& failure);

    QThread thread;
    QThread::Priority priority;
    QObject* onThread;
    std::mutex mutex;
    std::condition_variable ended;
    int onThreadCount = 0;
    int unanswered = 0;
    std::vector<std::weak_ptr<WorkerProgress>> given;
};

template <class Result>
std::shared_ptr<WorkerProgress> Worker::start(std::function<Result(Progress&)> job,
                                              std::function<void(const Result&)> done)
{
    std::shared_ptr<WorkerProgress> progress = track();
    post([this, job = std::move(job), done = std::move(done), progress] {
        auto value = std::make_shared<Result>();
        std::exception_ptr failure;
        try {
            *value = job(*progress);
        } catch (...) {
            failure = std::current_exception();
        }
        // Qt's queue lock, which hands the value over, is beyond ThreadSanitizer's sight; this one is not.
        {
            const std::lock_guard handOver(mutex);
        }
        QMetaObject::invokeMethod(
            this,
            [this, done, value, failure] {
                {
                    const std::lock_guard handOver(mutex);
                }
                answered(failure);
                if (!failure && done)
                    done(*value);
            },
            Qt::QueuedConnection);
    });
    return progress;
}
