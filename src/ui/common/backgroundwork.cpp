// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/backgroundwork.h"

#include "import/foldertree.h"
#include "model/progress.h"
#include "session/worker.h"
#include "ui/common/dialogseam.h"

#include <exception>
#include <memory>

namespace {

// Often enough that the progress and the windows follow smoothly.
constexpr int pollEveryMs = 20;

}  // namespace

bool runInBackground(QWidget* owner, const QString& label, std::size_t total,
                     const std::function<void(Progress&)>& work)
{
    Worker worker(nullptr);
    std::exception_ptr failure;
    const std::shared_ptr<WorkerProgress> running = worker.start<bool>([&work, &failure](Progress& progress) {
        try {
            work(progress);
        } catch (const ReadStopped&) {
        } catch (...) {
            failure = std::current_exception();
        }
        return true;
    });
    {
        const std::unique_ptr<Progress> shown = seam::progress(owner, label, true);
        do {
            if (!shown->advance(running->done(), total))
                worker.stop();
        } while (!worker.waitFor(pollEveryMs));
    }
    if (failure && !running->stopped())
        std::rethrow_exception(failure);
    return !running->stopped();
}
