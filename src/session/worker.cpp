// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/worker.h"

bool WorkerProgress::advance(std::size_t done, std::size_t total)
{
    stepsDone = done;
    stepsTotal = total;
    return !stopping;
}

Worker::Worker(QObject* owner, QThread::Priority threadPriority)
    : QObject(owner), priority(threadPriority), onThread(new QObject)
{
    onThread->moveToThread(&thread);
}

Worker::~Worker()
{
    stop();
    // Jobs not begun are dropped with the thread's event loop; the one running ends first.
    thread.quit();
    thread.wait();
    delete onThread;
}

std::shared_ptr<WorkerProgress> Worker::track()
{
    std::erase_if(given, [](const std::weak_ptr<WorkerProgress>& each) { return each.expired(); });
    auto progress = std::make_shared<WorkerProgress>();
    given.push_back(progress);
    ++unanswered;
    return progress;
}

void Worker::post(std::function<void()> job)
{
    // The thread starts with the first job: a window that never searches or syncs starts none.
    if (!thread.isRunning())
        thread.start(priority);
    {
        const std::lock_guard lock(mutex);
        ++onThreadCount;
    }
    QMetaObject::invokeMethod(
        onThread,
        [this, job = std::move(job)] {
            // Taken up under the lock it was given under (post's count): Qt's own queue lock, which
            // hands it over, is beyond ThreadSanitizer's sight.
            {
                const std::lock_guard handedOver(mutex);
            }
            job();
            const std::lock_guard lock(mutex);
            --onThreadCount;
            ended.notify_all();
        },
        Qt::QueuedConnection);
}

void Worker::answered(const std::exception_ptr& failure)
{
    --unanswered;
    if (!failure)
        return;
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        emit failed(QString::fromUtf8(error.what()));
    } catch (...) {
        emit failed(QStringLiteral("Unknown error"));
    }
}

void Worker::stop()
{
    for (const std::weak_ptr<WorkerProgress>& each : given)
        if (const auto progress = each.lock())
            progress->stop();
}

void Worker::wait()
{
    std::unique_lock lock(mutex);
    ended.wait(lock, [this] { return onThreadCount == 0; });
}

bool Worker::waitFor(int milliseconds)
{
    std::unique_lock lock(mutex);
    return ended.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return onThreadCount == 0; });
}
