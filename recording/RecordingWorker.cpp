// The recording loop: take each frame the camera reader queued and hand it, with its capture
// time, to the movie.
#include "recording/RecordingWorker.h"

#include "platform/BackgroundThreads.h"
#include "platform/SoundCue.h"
#include "recording/FrameFeed.h"
#include "recording/MovieOutput.h"
#include "recording/MovieSound.h"

#include <QFile>

#include <algorithm>
#include <chrono>
#include <optional>
#include <system_error>

#include <sys/resource.h>
#include <unistd.h>

std::atomic<bool> g_bStopRecording{false};

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kFlushInterval = std::chrono::seconds(1);
// How often a worker waiting for frames looks at the stop flag.
constexpr auto kPollInterval = std::chrono::milliseconds(50);
// How long a stop goes on encoding frames the encoder had fallen behind on; the rest are dropped
// and counted, so that the movie is closed well within the time a stop may take.
constexpr auto kStopBacklogLimit = std::chrono::seconds(1);

// The worker serves the camera first. Raising a thread above normal needs a privilege most
// users lack; without it the recording goes on at normal priority.
void RaiseThreadPriority() {
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), -2);
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

bool StopRequested(const RecThreadParam& param) {
    return g_bStopRecording.load() || param.abandoned.load();
}

// The first frame of the recording; false when the camera gives none. A stop right after the
// start still waits for it, so that every started recording leaves a movie.
bool TakeFirstFrame(const RecThreadParam& param, CFrameQueue& queue, StampedFrame& first) {
    const Clock::time_point limit = Clock::now() + param.feed->SilenceLimit();
    while (!param.abandoned.load() && Clock::now() < limit) {
        switch (queue.Pop(first, kPollInterval)) {
        case CFrameQueue::PopResult::Frame:
            return true;
        case CFrameQueue::PopResult::Ended:
            return false;
        case CFrameQueue::PopResult::Empty:
            break;
        }
    }
    return false;
}

// An encoder is behind when the frame it gets was captured more than a second ago (half the
// queue's room, after which the camera's frames are dropped). It is then moved to a faster
// setting, and given time to work off its backlog: the next step comes only when three seconds
// later it is still behind and has not caught up at least a quarter of a second.
constexpr auto kBehindLatency = std::chrono::seconds(1);
constexpr auto kStepSettle = std::chrono::seconds(3);
constexpr auto kCatchUp = std::chrono::milliseconds(250);

class CEncoderPace {
public:
    CEncoderPace(const RecThreadParam& param, CMovieOutput& movie)
        : m_param(param), m_movie(movie), m_lastStep(Clock::now()) {}

    // Before the frame captured at `capturedAt` goes to the encoder.
    void Check(Clock::time_point capturedAt) {
        const Clock::time_point now = Clock::now();
        const Clock::duration latency = now - capturedAt;
        if (m_atFastest || latency <= kBehindLatency || now - m_lastStep < kStepSettle ||
            latency < m_stepLatency - kCatchUp)
            return;
        m_lastStep = now;
        m_stepLatency = latency;
        if (m_movie.SpeedUp()) {
            qWarning("Recording into %s: the encoder is behind the camera; it now uses the %s "
                     "preset",
                     qUtf8Printable(m_param.path), qUtf8Printable(m_movie.Pace()));
            return;
        }
        m_atFastest = true;
        qWarning("Recording into %s: the encoder is behind the camera at its fastest setting; "
                 "frames it has no room for are dropped and counted",
                 qUtf8Printable(m_param.path));
    }

private:
    const RecThreadParam& m_param;
    CMovieOutput& m_movie;
    Clock::time_point m_lastStep;
    Clock::duration m_stepLatency{}; // the encoder's latency at the last step
    bool m_atFastest = false;
};

// How long a stop waits for frames captured before it that are still on their way: one frame
// period of the camera as measured, at least the movie's, at most a second.
Clock::duration StopWait(Clock::duration cameraInterval) {
    constexpr Clock::duration kMoviePeriod =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / kMovieFps));
    return std::clamp<Clock::duration>(cameraInterval, kMoviePeriod, std::chrono::seconds(1));
}

// The frame loop, from the first frame (already in the movie) until the stop flag or the loss of
// the camera. A frame is stamped when it came off the camera, which may be a little before the
// reader hands it over: at a stop, frames captured before it are still taken until one captured
// at or after it comes, or one frame period has passed. A normal stop makes the movie last until
// that moment; after a loss the movie ends with the last real frame. An encoder far behind at the
// stop gets a second for its backlog.
int RecordFrames(const RecThreadParam& param, CFrameQueue& queue, CMovieOutput& movie,
                 CMovieSound& sound, Clock::time_point start) {
    StampedFrame frame;
    Clock::time_point lastFlush = Clock::now(), lastArrival = Clock::now(), lastCapture = start;
    Clock::duration cameraInterval{};
    std::optional<Clock::time_point> stopAt;
    uint64_t backlogDropped = 0;
    CEncoderPace pace(param, movie);
    for (;;) {
        sound.Pass(movie, start, stopAt);
        if (!stopAt && StopRequested(param))
            stopAt = Clock::now();
        const Clock::time_point stopWaitEnd =
            stopAt ? *stopAt + StopWait(cameraInterval) : Clock::time_point();
        const CFrameQueue::PopResult got =
            queue.Pop(frame, stopAt ? std::chrono::ceil<std::chrono::milliseconds>(std::max(
                                          stopWaitEnd - Clock::now(), Clock::duration::zero()))
                                    : kPollInterval);
        if (got == CFrameQueue::PopResult::Frame && (!stopAt || frame.capturedAt < *stopAt)) {
            lastArrival = Clock::now();
            if (frame.capturedAt > lastCapture)
                cameraInterval = frame.capturedAt - lastCapture;
            lastCapture = frame.capturedAt;
            if (stopAt && Clock::now() > *stopAt + kStopBacklogLimit) {
                ++backlogDropped;
            } else {
                if (!stopAt)
                    pace.Check(frame.capturedAt);
                if (!movie.Take(frame, Seconds(frame.capturedAt - start)))
                    return kRecordingGaveUp;
            }
        } else if (stopAt) {
            if (got == CFrameQueue::PopResult::Empty && Clock::now() < stopWaitEnd)
                continue;
            if (backlogDropped)
                qWarning("Recording into %s: %llu frames the encoder was behind on at the stop "
                         "were dropped",
                         qUtf8Printable(param.path),
                         static_cast<unsigned long long>(backlogDropped));
            sound.Pass(movie, start, stopAt);
            return movie.LastUntil(Seconds(*stopAt - start)) ? kRecordingStopped : kRecordingGaveUp;
        } else if (got == CFrameQueue::PopResult::Ended ||
                   Clock::now() - lastArrival >= param.feed->SilenceLimit()) {
            return kRecordingCameraLost;
        }
        if (Clock::now() - lastFlush >= kFlushInterval) {
            if (!movie.Flush())
                return kRecordingGaveUp;
            lastFlush = Clock::now();
        }
    }
}

int GiveUp(const RecThreadParam& param, const CMovieOutput& movie, const char* why) {
    qWarning("Recording into %s stopped: %s", qUtf8Printable(param.path),
             movie.Error().isEmpty() ? why : qUtf8Printable(movie.Error()));
    if (movie.FramesWritten() == 0)
        QFile::remove(param.path); // nothing of the movie is lost with it
    return kRecordingGaveUp;
}

// Frames reach the queue only while it is attached to the feed.
class CAttachedQueue {
public:
    CAttachedQueue(const std::shared_ptr<CFrameFeed>& feed, cv::Size cover)
        : m_feed(feed), m_queue(std::make_shared<CFrameQueue>(kRecordingQueueFrames)) {
        m_queue->SetCover(cover);
        m_feed->Attach(m_queue);
    }
    ~CAttachedQueue() { m_feed->Detach(m_queue); }
    CAttachedQueue(const CAttachedQueue&) = delete;
    CAttachedQueue& operator=(const CAttachedQueue&) = delete;
    CFrameQueue& Queue() { return *m_queue; }

private:
    std::shared_ptr<CFrameFeed> m_feed;
    std::shared_ptr<CFrameQueue> m_queue;
};

int Record(const RecThreadParam& param, CMovieOutput& movie) {
    if (!param.feed)
        return GiveUp(param, movie, "there is no camera");
    // MPEG-1 takes the camera's frames at its own small size, MP4 at theirs.
    CAttachedQueue attached(param.feed, MovieCover(param.codec));
    // The microphone starts while the camera's first frame is on its way.
    CMovieSound sound(param);
    StampedFrame first;
    if (!TakeFirstFrame(param, attached.Queue(), first)) {
        GiveUp(param, movie, "the camera gives no picture");
        return kRecordingNoPicture; // the camera is the cause, not the folder
    }
    if (QFile::decodeName(QFile::encodeName(param.path)) != param.path)
        return GiveUp(param, movie, "the file name cannot be encoded");
    movie.WithSound(sound.Active());
    if (!movie.Open(param, first))
        return GiveUp(param, movie, "the movie cannot be created");
    const int result = RecordFrames(param, attached.Queue(), movie, sound, first.capturedAt);
    if (const uint64_t dropped = attached.Queue().Dropped())
        qWarning("Recording into %s: %llu camera frames were dropped while the encoder was behind",
                 qUtf8Printable(param.path), static_cast<unsigned long long>(dropped));
    if (const uint64_t missed = attached.Queue().Missed())
        qWarning("Recording into %s: %llu frames the camera took never reached the program, which "
                 "was too busy to take them",
                 qUtf8Printable(param.path), static_cast<unsigned long long>(missed));
    if (!movie.Close() || result == kRecordingGaveUp)
        return GiveUp(param, movie, "the movie cannot be written");
    if (result == kRecordingCameraLost)
        qWarning("Recording into %s ended: the camera was lost; %lld frames are saved",
                 qUtf8Printable(param.path), static_cast<long long>(movie.FramesWritten()));
    return result;
}

} // namespace

int RecordingThreadProc(RecThreadParam* param) {
    RaiseThreadPriority();
    PlaySoundCue(QStringLiteral("rec.wav"));
    if (!param)
        return kRecordingGaveUp;
    const std::unique_ptr<CMovieOutput> movie = MakeMovieOutput(param->codec);
    const int result = Record(*param, *movie);
    if (result != kRecordingGaveUp && movie->FramesWritten() > 0)
        PlaySoundCue(QStringLiteral("stop.wav"));
    return result;
}

std::unique_ptr<CRecordingWorker> CRecordingWorker::Start(std::unique_ptr<RecThreadParam> param) {
    std::unique_ptr<CRecordingWorker> worker(new CRecordingWorker);
    worker->m_state->param = std::move(param);
    try {
        worker->m_thread = std::thread([state = worker->m_state]() mutable {
            const CBackgroundThread counted;
            state->result.store(RecordingThreadProc(state->param.get()));
            state->finished.store(true);
            state.reset(); // the camera's reader may go with it, while still counted
        });
    } catch (const std::system_error&) {
        return nullptr;
    }
    return worker;
}

CRecordingWorker::~CRecordingWorker() {
    Wait(Clock::now() + kThreadWaitLimit);
}

void CRecordingWorker::Wait(std::chrono::steady_clock::time_point deadline) {
    if (!m_thread.joinable())
        return;
    while (!m_state->finished.load() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (m_state->finished.load()) {
        m_thread.join();
        return;
    }
    qWarning("The recording worker does not answer; leaving it behind");
    if (m_state->param)
        m_state->param->abandoned.store(true);
    m_thread.detach();
}
