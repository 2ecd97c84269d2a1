// The camera reader's thread, the newest-frame slot and the loss watch.
#include "capture/CameraReader.h"

#include "capture/CVController.h"
#include "platform/BackgroundThreads.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <condition_variable>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kReopenInterval = 1s;
// A view that stops asking (minimised, closed) stops costing decodes after this long.
constexpr auto kViewSlack = 500ms;

int64_t Ticks(Clock::time_point t) {
    return t.time_since_epoch().count();
}

} // namespace

struct CCameraReader::State {
    std::atomic<bool> stop{false};
    std::atomic<bool> exited{false};
    std::atomic<bool> failed{false};
    std::atomic<bool> reopened{false}; // failed, but open again and waiting for its first frame
    std::atomic<int64_t> lastFrame{0}; // Ticks of the last frame off the camera, or of the start
    // What the live view asks for: when it last took a frame, how often it takes them, and
    // whether its last call found nothing new.
    std::atomic<int64_t> lastTake{0};
    std::atomic<int64_t> takePeriod{0};
    std::atomic<bool> wanted{true};

    // Guarded by g_csCapture.
    StampedFrame newest;
    std::shared_ptr<CFrameQueue> queue;
    std::condition_variable firstFrame;

    std::mutex exitMutex;
    std::condition_variable exitedSignal;

    std::shared_ptr<CFrameQueue> Queue() const {
        std::lock_guard lock(g_csCapture);
        return queue;
    }
    // Whether the view will take a frame that came off the camera at `at`: it asked and found
    // nothing, or its next call is due before the frame after this one.
    bool ViewWants(Clock::time_point at, Clock::duration frameInterval) {
        if (wanted.exchange(false))
            return true;
        const auto since = Clock::duration(Ticks(at) - lastTake.load());
        const auto period = Clock::duration(takePeriod.load());
        return since + frameInterval * 3 / 2 >= period && since <= period + kViewSlack;
    }
    void Publish(const StampedFrame& frame) {
        {
            std::lock_guard lock(g_csCapture);
            newest = frame;
            if (queue)
                queue->Push(frame);
        }
        firstFrame.notify_all();
    }
    void Lose() {
        {
            std::lock_guard lock(g_csCapture);
            failed.store(true);
            if (queue)
                queue->End();
            queue.reset();
        }
        firstFrame.notify_all();
    }
};

namespace {

void ReadLoop(CCameraReader::State& state, std::unique_ptr<CCameraSource> source,
              const CameraOpener& reopen) {
    Clock::time_point nextReopen, lastGrab;
    Clock::duration interval = 33ms; // the camera's frame interval, as measured
    uint64_t number = 0;
    bool warned = false;
    while (!state.stop.load()) {
        if (!source) {
            std::this_thread::sleep_until(std::min(nextReopen, Clock::now() + 50ms));
            if (Clock::now() >= nextReopen && !state.stop.load()) {
                nextReopen = Clock::now() + kReopenInterval;
                source = reopen ? reopen() : nullptr;
                state.reopened.store(source != nullptr);
            }
            continue;
        }
        StampedFrame frame;
        bool ok = source->Grab();
        frame.capturedAt = Clock::now();
        if (state.stop.load())
            break; // a reader left behind after a long read touches nothing shared any more
        const bool take = ok && (state.Queue() || state.ViewWants(frame.capturedAt, interval));
        if (take)
            ok = source->Retrieve(frame.image);
        if (!ok) {
            if (!warned)
                qWarning("The camera stopped delivering; trying to open it again");
            warned = true;
            state.reopened.store(false);
            state.Lose();
            source.reset(); // closed here, on the reader's thread
            nextReopen = Clock::now() + kReopenInterval;
            continue;
        }
        if (lastGrab != Clock::time_point())
            interval = std::clamp<Clock::duration>(
                (interval * 7 + (frame.capturedAt - lastGrab)) / 8, 1ms, 200ms);
        lastGrab = frame.capturedAt;
        state.lastFrame.store(Ticks(frame.capturedAt));
        if (state.failed.exchange(false))
            qWarning("The camera delivers again");
        warned = false;
        if (take) {
            frame.number = ++number;
            state.Publish(frame);
        }
    }
}

} // namespace

CCameraReader::CCameraReader(std::unique_ptr<CCameraSource> source, CameraOpener reopen)
    : m_state(std::make_shared<State>()) {
    m_state->lastFrame.store(Ticks(Clock::now()));
    // The thread owns the source, the opener and a share of the state, so one left behind inside
    // a read keeps all it uses alive.
    m_thread = std::thread(
        [state = m_state, source = std::move(source), reopen = std::move(reopen)]() mutable {
            const CBackgroundThread counted;
            ReadLoop(*state, std::move(source), reopen);
            reopen = nullptr;
            std::lock_guard lock(state->exitMutex);
            state->exited.store(true);
            state->exitedSignal.notify_all();
        });
}

CCameraReader::~CCameraReader() {
    Stop();
}

void CCameraReader::Stop() {
    Stop(Clock::now() + kThreadWaitLimit);
}

void CCameraReader::Stop(std::chrono::steady_clock::time_point deadline) {
    if (!m_thread.joinable())
        return;
    m_state->stop.store(true);
    bool exited = false;
    {
        std::unique_lock lock(m_state->exitMutex);
        exited = m_state->exitedSignal.wait_until(lock, deadline,
                                                  [this] { return m_state->exited.load(); });
    }
    if (exited) {
        m_thread.join();
        return;
    }
    qWarning("The camera does not answer; leaving its reader behind");
    m_state->Lose();
    m_thread.detach();
}

bool CCameraReader::WaitFirstFrame(std::chrono::milliseconds limit, StampedFrame& frame) {
    std::unique_lock lock(g_csCapture);
    // A camera that fails before its first frame is not waited for.
    m_state->firstFrame.wait_for(
        lock, limit, [this] { return m_state->newest.number > 0 || m_state->failed.load(); });
    if (m_state->newest.number == 0)
        return false;
    frame = m_state->newest;
    return true;
}

bool CCameraReader::TakeNewest(uint64_t after, StampedFrame& frame) {
    const int64_t now = Ticks(Clock::now());
    const int64_t previous = m_state->lastTake.exchange(now);
    if (previous != 0)
        m_state->takePeriod.store(std::min<int64_t>(
            now - previous, std::chrono::duration_cast<Clock::duration>(2s).count()));
    {
        std::lock_guard lock(g_csCapture);
        if (m_state->newest.number > after) {
            frame = m_state->newest;
            return true;
        }
    }
    m_state->wanted.store(true);
    return false;
}

bool CCameraReader::IsLost() const {
    const auto silence = Clock::duration(Ticks(Clock::now()) - m_state->lastFrame.load());
    return m_state->failed.load() || silence >= kCameraSilenceLimit;
}

void CCameraReader::Attach(std::shared_ptr<CFrameQueue> queue) {
    std::lock_guard lock(g_csCapture);
    // A camera open again after a loss is given its chance to deliver.
    if (m_state->failed.load() && !m_state->reopened.load())
        queue->End();
    else
        m_state->queue = std::move(queue);
}

void CCameraReader::Detach(const std::shared_ptr<CFrameQueue>& queue) {
    std::lock_guard lock(g_csCapture);
    if (m_state->queue == queue)
        m_state->queue.reset();
}

std::optional<bool> ProbeCameraPicture(int index, std::chrono::milliseconds limit) {
    std::unique_ptr<CCameraSource> source = OpenCameraSource(index);
    if (!source)
        return std::nullopt;
    CCameraReader reader(std::move(source), CameraOpener());
    StampedFrame first;
    return reader.WaitFirstFrame(limit, first);
}
