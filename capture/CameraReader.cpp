// The camera reader's thread, the newest-frame slot and the loss watch.
#include "capture/CameraReader.h"

#include "camera/CameraControlBoard.h"
#include "capture/TimedOpen.h"
#include "platform/BackgroundThreads.h"
#include "recording/RecordingWorker.h"

#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <condition_variable>

std::mutex g_csCapture;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kReopenInterval = 1s;
// A measured frame period longer than this does not lengthen the silence limit further.
constexpr auto kLongestPeriod = std::chrono::duration_cast<Clock::duration>(60s);
// A view that stops asking (minimised, closed) stops costing decodes after this long.
constexpr auto kViewSlack = 500ms;
// Damaged frames are reported at most this often.
constexpr auto kDamageLogInterval = 1s;
// A mode that has given nothing but damaged frames for this long is given up for the next one.
constexpr auto kDamagedModeLimit = 3s;
// Damaged frames further apart than this are not one run of them.
constexpr auto kDamageGap = 1s;

int64_t Ticks(Clock::time_point t) {
    return t.time_since_epoch().count();
}

} // namespace

struct CCameraReader::State {
    std::atomic<bool> stop{false};
    std::atomic<bool> exited{false};
    std::atomic<bool> failed{false};
    std::atomic<bool> bandwidthShort{false};
    std::atomic<bool> onlyDamaged{false}; // nothing whole came for kDamagedModeLimit
    std::atomic<int> firstOpen{-1};       // -1 while running, then 0 or 1
    std::atomic<int> firstFailure{int(CameraOpenFailure::None)};
    std::atomic<int64_t> lastFrame{0}; // Ticks of the last frame off the camera, or of the open
    // How long the camera may be silent (CameraSilenceLimit of its frame period), in ticks.
    std::atomic<int64_t> silenceLimit{CameraSilenceLimit(std::nullopt).count()};
    // What the live view asks for: when it last took a frame, how often it takes them, at what
    // size, and whether its last call found nothing new.
    std::atomic<int64_t> lastTake{0};
    std::atomic<int64_t> takePeriod{0};
    std::atomic<int> coverWidth{0};
    std::atomic<int> coverHeight{0};
    std::atomic<bool> wanted{true};
    // A still at the camera's size waits for the next frame, decoded whole.
    std::atomic<bool> fullWanted{false};

    // Guarded by g_csCapture.
    StampedFrame newest;
    uint64_t newestFull = 0; // the number of the last frame decoded whole
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
    // The size a decode must cover: the view's, and the movie's while a recording takes frames.
    cv::Size Cover(const CFrameQueue* recording) const {
        cv::Size cover(coverWidth.load(), coverHeight.load());
        if (cover.width <= 0 || cover.height <= 0)
            return {}; // nobody said: the whole picture
        if (recording) {
            const cv::Size movie = recording->Cover();
            if (movie.empty())
                return {};
            cover =
                cv::Size(std::max(cover.width, movie.width), std::max(cover.height, movie.height));
        }
        return cover;
    }
    void Publish(const StampedFrame& frame, bool whole) {
        uint64_t dropped = 0;
        {
            std::lock_guard lock(g_csCapture);
            newest = frame;
            if (whole)
                newestFull = frame.number;
            if (queue)
                dropped = queue->Push(frame);
        }
        firstFrame.notify_all();
        if (dropped)
            qWarning("Recording: the encoder is behind; camera frames are being dropped "
                     "(%llu so far)",
                     static_cast<unsigned long long>(dropped));
    }
    // The last picture again, captured `at`, for a recording while the camera's frames come
    // damaged: the movie goes on with the picture it had, as it would over a late frame.
    void Repeat(Clock::time_point at) {
        std::lock_guard lock(g_csCapture);
        if (!queue || newest.image.empty())
            return;
        StampedFrame again = newest;
        again.capturedAt = at;
        queue->Push(again);
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
    void NoteOpen(bool opened, CameraOpenFailure failure) {
        bandwidthShort.store(failure == CameraOpenFailure::Bandwidth);
        if (opened) {
            lastFrame.store(Ticks(Clock::now())); // silence counts from the open
            failed.store(false);
        } else {
            Lose();
        }
        int pending = -1;
        if (firstOpen.compare_exchange_strong(pending, opened ? 1 : 0))
            firstFailure.store(int(failure));
        firstFrame.notify_all();
    }
};

namespace {

class CReadLoop {
public:
    CReadLoop(CCameraReader::State& state, CameraOpener reopen, QString camera,
              CCameraControlBoard& controls)
        : m_state(state), m_reopen(std::move(reopen)), m_camera(std::move(camera)),
          m_controls(controls) {}

    void Run(std::unique_ptr<CCameraSource> source) {
        m_source = std::move(source);
        if (m_source) {
            m_controls.Opened(m_source->Controls());
            m_state.NoteOpen(true, CameraOpenFailure::None);
        }
        while (!m_state.stop.load()) {
            if (!m_source)
                Reopen();
            else if (!ReadOne())
                break;
        }
    }

private:
    void Reopen() {
        std::this_thread::sleep_until(std::min(m_nextReopen, Clock::now() + 50ms));
        if (Clock::now() < m_nextReopen || m_state.stop.load())
            return;
        m_nextReopen = Clock::now() + kReopenInterval;
        if (!m_reopen) {
            m_state.NoteOpen(false, CameraOpenFailure::NotFound);
            return;
        }
        CameraOpenFailure failure = CameraOpenFailure::None;
        m_source = OpenWithinLimit(m_reopen, m_camera, m_state.stop, failure);
        m_reportedDamage = {};
        m_reportedMissed = 0;
        if (m_source)
            m_controls.Opened(m_source->Controls());
        if (!m_state.stop.load())
            m_state.NoteOpen(m_source != nullptr, failure);
    }

    // False when the loop must end at once (stopped while reading).
    bool ReadOne() {
        StampedFrame frame;
        bool ok = m_source->Grab();
        frame.capturedAt = Clock::now();
        if (m_state.stop.load())
            return false; // a reader left behind after a long read touches nothing shared any more
        if (ok)           // never after the reader got it, never before the frame before
            frame.capturedAt =
                std::max(m_lastGrab, std::min(frame.capturedAt,
                                              m_source->CaptureTime().value_or(frame.capturedAt)));
        const std::shared_ptr<CFrameQueue> recording = m_state.Queue();
        const bool whole =
            ok && !m_source->LastFrameDamaged() && m_state.fullWanted.exchange(false);
        const bool take = ok && !m_source->LastFrameDamaged() &&
                          (whole || recording || m_state.ViewWants(frame.capturedAt, m_interval));
        if (take) {
            m_source->SetDecodeSize(whole ? cv::Size() : m_state.Cover(recording.get()));
            ok = m_source->Retrieve(frame.image);
        }
        ReportDamage();
        CountMissed(recording.get());
        const bool damaged = m_source->LastFrameDamaged();
        if (damaged && whole)
            m_state.fullWanted.store(true); // the next one, then
        if (!ok && !damaged) {
            if (!m_warned)
                qWarning("The camera stopped delivering; trying to open it again");
            m_warned = true;
            m_state.Lose();
            m_controls.Closed();
            m_source.reset(); // closed here, on the reader's thread
            m_nextReopen = Clock::now() + kReopenInterval;
            return true;
        }
        // Whole or damaged, a frame came: the camera is live.
        m_state.lastFrame.store(Ticks(Clock::now()));
        if (CCameraControls* controls = m_source->Controls())
            m_controls.Service(*controls); // the camera's controls are touched here only
        if (m_state.failed.exchange(false) || m_warned)
            qWarning("The camera delivers again");
        m_warned = false;
        if (damaged)
            return NoteDamaged(frame.capturedAt, recording != nullptr);
        // Only a decoded frame shows that the camera's frames are whole again.
        if (take) {
            m_damagedSince = {};
            if (m_state.onlyDamaged.exchange(false))
                qWarning("The camera sends whole frames again");
        }
        if (m_lastGrab != Clock::time_point()) {
            m_interval = std::clamp<Clock::duration>(
                (m_interval * 7 + (frame.capturedAt - m_lastGrab)) / 8, 1ms, 200ms);
            m_period = std::clamp<Clock::duration>(
                (m_period * 7 + (frame.capturedAt - m_lastGrab)) / 8, 1ms, kLongestPeriod);
        }
        NoteSilenceLimit();
        m_lastGrab = frame.capturedAt;
        if (take) {
            frame.number = ++m_number;
            m_state.Publish(frame, whole);
        }
        return true;
    }

    // A damaged frame is dropped: the previous picture stays, and a recording repeats it. After
    // kDamagedModeLimit of nothing else the window says so and the camera is opened again in the
    // next mode down, the recording waiting for it.
    bool NoteDamaged(Clock::time_point capturedAt, bool recording) {
        const Clock::time_point now = Clock::now();
        // Frames nobody decoded for a while (a minimised window) tell nothing either way.
        if (m_damagedSince == Clock::time_point() || now - m_lastDamaged > kDamageGap)
            m_damagedSince = now;
        m_lastDamaged = now;
        if (recording)
            m_state.Repeat(capturedAt);
        if (now - m_damagedSince < kDamagedModeLimit)
            return true;
        qWarning("The camera has sent only damaged frames for %lld s; opening it in another mode",
                 static_cast<long long>(kDamagedModeLimit.count()));
        m_state.onlyDamaged.store(true);
        m_damagedSince = {};
        m_source->AvoidMode();
        m_controls.Closed();
        m_source.reset();
        m_nextReopen = now;
        return true;
    }

    // The camera's period: the one its mode states or, where it states none or is slower, the
    // one measured.
    void NoteSilenceLimit() {
        const Clock::duration period =
            std::max(m_source->FramePeriod().value_or(Clock::duration::zero()), m_period);
        m_state.silenceLimit.store(CameraSilenceLimit(period).count());
    }

    // Frames the camera took that never reached the reader are lost to a recording too.
    void CountMissed(CFrameQueue* recording) {
        const uint64_t missed = m_source->MissedFrames();
        if (recording && missed > m_reportedMissed)
            recording->CountMissed(missed - m_reportedMissed);
        m_reportedMissed = missed;
    }

    void ReportDamage() {
        const FrameDamageCounts damaged = m_source->DamagedFrames();
        if (damaged == m_reportedDamage || Clock::now() < m_nextDamageLog)
            return;
        QStringList causes;
        for (size_t i = 1; i < damaged.size(); ++i) {
            if (damaged[i] > m_reportedDamage[i])
                causes << QStringLiteral("%1 %2")
                              .arg(damaged[i] - m_reportedDamage[i])
                              .arg(QLatin1String(DescribeFrameDamage(FrameDamage(i))));
        }
        qWarning("The camera sent damaged frames, dropped: %s", qUtf8Printable(causes.join(", ")));
        m_reportedDamage = damaged;
        m_nextDamageLog = Clock::now() + kDamageLogInterval;
    }

    CCameraReader::State& m_state;
    CameraOpener m_reopen;
    const QString m_camera; // what its opens are known by
    CCameraControlBoard& m_controls;
    std::unique_ptr<CCameraSource> m_source;
    Clock::time_point m_nextReopen, m_lastGrab, m_nextDamageLog;
    Clock::time_point m_damagedSince; // since when nothing whole came; zero while frames are whole
    Clock::time_point m_lastDamaged;
    Clock::duration m_interval = 33ms; // the camera's frame interval, as measured
    Clock::duration m_period = 33ms;   // the same, not bounded to what the view needs
    uint64_t m_number = 0;
    FrameDamageCounts m_reportedDamage{};
    uint64_t m_reportedMissed = 0; // of the source's missed frames, counted into a recording
    bool m_warned = false;
};

} // namespace

CCameraReader::CCameraReader(CameraOpener opener, CameraInfo camera,
                             std::shared_ptr<CCameraControlBoard> controls)
    : CCameraReader(nullptr, std::move(opener), std::move(camera), std::move(controls)) {}

CCameraReader::CCameraReader(std::unique_ptr<CCameraSource> source, CameraOpener reopen,
                             CameraInfo camera, std::shared_ptr<CCameraControlBoard> controls)
    : m_state(std::make_shared<State>()), m_camera(std::move(camera)),
      m_controls(controls ? std::move(controls) : std::make_shared<CCameraControlBoard>()) {
    m_state->lastFrame.store(Ticks(Clock::now()));
    // The thread owns the source, the opener and a share of the state and the controls, so one
    // left behind inside a read keeps all it uses alive.
    m_thread =
        std::thread([state = m_state, source = std::move(source), reopen = std::move(reopen),
                     key = OpenKey(m_camera, m_state.get()), controls = m_controls]() mutable {
            const CBackgroundThread counted;
            CReadLoop(*state, std::move(reopen), std::move(key), *controls).Run(std::move(source));
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
    m_state->firstFrame.wait_for(lock, limit, [this] {
        return m_state->newest.number > 0 || m_state->firstOpen.load() == 0 ||
               (m_state->firstOpen.load() == 1 && m_state->failed.load());
    });
    if (m_state->newest.number == 0)
        return false;
    frame = m_state->newest;
    return true;
}

bool CCameraReader::TakeFullFrame(std::chrono::milliseconds limit, StampedFrame& frame) {
    std::unique_lock lock(g_csCapture);
    const uint64_t after = m_state->newest.number;
    m_state->fullWanted.store(true);
    if (!m_state->firstFrame.wait_for(lock, limit, [&] { return m_state->newestFull > after; }))
        return false;
    frame = m_state->newest;
    return true;
}

std::optional<bool> CCameraReader::FirstOpen() const {
    const int open = m_state->firstOpen.load();
    if (open < 0)
        return std::nullopt;
    return open == 1;
}

CameraOpenFailure CCameraReader::FirstOpenFailure() const {
    return CameraOpenFailure(m_state->firstFailure.load());
}

bool CCameraReader::TakeNewest(uint64_t after, StampedFrame& frame, cv::Size cover) {
    const int64_t now = Ticks(Clock::now());
    const int64_t previous = m_state->lastTake.exchange(now);
    if (previous != 0)
        m_state->takePeriod.store(std::min<int64_t>(
            now - previous, std::chrono::duration_cast<Clock::duration>(2s).count()));
    m_state->coverWidth.store(cover.width);
    m_state->coverHeight.store(cover.height);
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
    return m_state->failed.load() || silence >= SilenceLimit();
}

std::chrono::steady_clock::duration CCameraReader::SilenceLimit() const {
    return Clock::duration(m_state->silenceLimit.load());
}

bool CCameraReader::BandwidthShort() const {
    return m_state->bandwidthShort.load();
}

bool CCameraReader::OnlyDamaged() const {
    return m_state->onlyDamaged.load();
}

void CCameraReader::Attach(std::shared_ptr<CFrameQueue> queue) {
    std::lock_guard lock(g_csCapture);
    // A camera open again after a loss is given its chance to deliver.
    if (m_state->failed.load())
        queue->End();
    else
        m_state->queue = std::move(queue);
}

void CCameraReader::Detach(const std::shared_ptr<CFrameQueue>& queue) {
    std::lock_guard lock(g_csCapture);
    if (m_state->queue == queue)
        m_state->queue.reset();
}
