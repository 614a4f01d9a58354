// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/backgroundwork.h"

#include "import/foldertree.h"
#include "model/progress.h"
#include "ui/common/dialogseam.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace {

// Often enough that the progress and the windows follow smoothly.
constexpr auto pollEvery = std::chrono::milliseconds(20);

}  // namespace

bool runInBackground(QWidget* owner, const QString& label, std::size_t total,
                     const std::function<void(const BackgroundTask&)>& work)
{
    std::atomic<bool> stop = false;
    std::atomic<std::size_t> done = 0;
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    std::exception_ptr failure;
    const std::function<bool()> stopRequested = [&stop] { return stop.load(); };

    std::thread worker([&] {
        try {
            work(BackgroundTask{stopRequested, done});
        } catch (const ReadStopped&) {
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard lock(mutex);
        finished = true;
        ended.notify_all();
    });
    {
        const std::unique_ptr<Progress> progress = seam::progress(owner, label, true);
        std::unique_lock lock(mutex);
        do {
            lock.unlock();
            if (!progress->advance(done.load(), total))
                stop = true;
            lock.lock();
        } while (!ended.wait_for(lock, pollEvery, [&] { return finished; }));
    }
    worker.join();
    if (failure && !stop)
        std::rethrow_exception(failure);
    return !stop;
}
