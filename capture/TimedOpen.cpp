// Opens on threads of their own within kOpenTimeLimit, and the opens left stuck, by camera.
#include "capture/TimedOpen.h"

#include "platform/BackgroundThreads.h"

#include <QtGlobal>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How soon a reader that is being ended stops waiting for an open.
constexpr auto kStopLatency = 20ms;

// One open, run on a thread of its own so that a source that never answers holds up nobody.
struct OpenAttempt {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false; // nobody waits for it any more: what it opens is closed at once
    std::unique_ptr<CCameraSource> source;
    CameraOpenFailure failure = CameraOpenFailure::None;
};

// The opens left unfinished, by camera, for the whole run: while one is stuck in the driver, no
// other open of that camera starts, whichever reader asks. A camera that hangs its opens costs
// one thread, however often it is lost and however many readers it has had.
std::mutex g_stuckMutex;
std::map<QString, std::shared_ptr<OpenAttempt>> g_stuckOpens;

// Waits for `attempt` to finish, at most kOpenTimeLimit, and not at all once `stop` is set: the
// user-interface thread ending a reader never waits for an open.
bool Finished(OpenAttempt& attempt, const std::atomic<bool>& stop) {
    const auto deadline = Clock::now() + kOpenTimeLimit;
    std::unique_lock lock(attempt.mutex);
    while (!attempt.done.wait_for(lock, kStopLatency, [&] { return attempt.finished; })) {
        if (stop.load() || Clock::now() >= deadline)
            return false;
    }
    return true;
}

} // namespace

std::unique_ptr<CCameraSource> OpenWithinLimit(const CameraOpener& opener, const QString& camera,
                                               const std::atomic<bool>& stop,
                                               CameraOpenFailure& failure) {
    failure = CameraOpenFailure::NotFound;
    std::shared_ptr<OpenAttempt> earlier;
    {
        std::lock_guard lock(g_stuckMutex);
        if (const auto stuck = g_stuckOpens.find(camera); stuck != g_stuckOpens.end())
            earlier = stuck->second;
    }
    if (earlier && !Finished(*earlier, stop))
        return nullptr;
    if (earlier) {
        std::lock_guard lock(g_stuckMutex);
        const auto stuck = g_stuckOpens.find(camera);
        if (stuck != g_stuckOpens.end() && stuck->second == earlier)
            g_stuckOpens.erase(stuck);
    }
    auto attempt = std::make_shared<OpenAttempt>();
    std::thread([attempt, opener] {
        const CBackgroundThread counted; // an open that never returns keeps the exit path away
        std::unique_ptr<CCameraSource> source = opener();
        const CameraOpenFailure why = source ? CameraOpenFailure::None : TakeOpenFailure();
        std::lock_guard lock(attempt->mutex);
        if (!attempt->abandoned)
            attempt->source = std::move(source); // else closed here, on this thread
        attempt->failure = why;
        attempt->finished = true;
        attempt->done.notify_all();
    }).detach();
    const bool finished = Finished(*attempt, stop);
    std::lock_guard lock(attempt->mutex);
    if (!finished && !attempt->finished) {
        if (!stop.load())
            qWarning("Opening the camera did not finish within %lld s; giving up on it",
                     static_cast<long long>(kOpenTimeLimit.count()));
        attempt->abandoned = true;
        std::lock_guard stuck(g_stuckMutex);
        g_stuckOpens[camera] = attempt;
        return nullptr;
    }
    failure = attempt->failure;
    return std::move(attempt->source);
}

QString OpenKey(const CameraInfo& camera, const void* reader) {
    if (!camera.id.isEmpty())
        return camera.id;
    if (!camera.location.isEmpty())
        return camera.location;
    return QStringLiteral("reader ") + QString::number(quintptr(reader));
}
