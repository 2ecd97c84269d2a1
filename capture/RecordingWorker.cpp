// The recording loop: take a frame under the capture lock, scale it to the movie's size, place
// it on the movie's time base and write it outside the lock.
#include "capture/RecordingWorker.h"

#include "capture/CVController.h"
#include "capture/CameraSource.h"
#include "capture/FramePath.h"
#include "capture/MovieTimeline.h"
#include "capture/MovieWriter.h"
#include "platform/SoundCue.h"

#include <QFile>

#include <chrono>
#include <system_error>

#include <sys/resource.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kFlushInterval = std::chrono::seconds(1);
// When the camera has no frame, ask again after this long instead of spinning a core.
constexpr auto kNoFrameWait = std::chrono::milliseconds(10);
const cv::Size kMovieSize(kMovieWidth, kMovieHeight);

// The worker serves the camera first. Raising a thread above normal needs a privilege most
// users lack; without it the recording goes on at normal priority.
void RaiseThreadPriority() {
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), -2);
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// One frame, mirrored and scaled into `image`, taken under the capture lock.
bool TakeFrame(const RecThreadParam& param, cv::Mat& frame, cv::Mat& flipped, cv::Mat& image,
               Clock::time_point& capturedAt) {
    std::lock_guard lock(g_csCapture);
    if (!param.camera->Read(frame))
        return false;
    capturedAt = Clock::now();
    ScaleFrame(frame, param.mirror, kMovieSize, image, flipped);
    return true;
}

bool WriteRepeated(CMovieWriter& writer, const cv::Mat& image, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        if (!writer.WriteFrame(image))
            return false;
    }
    return true;
}

// The frame loop, from the first frame (already in `last`) until the stop flag. False when a
// write failed.
bool RecordUntilStopped(const RecThreadParam& param, CMovieWriter& writer, cv::Mat& last,
                        Clock::time_point start) {
    CMovieTimeline timeline(kMovieFps);
    timeline.Place(0.0);
    if (!writer.WriteFrame(last))
        return false;
    cv::Mat frame, flipped, next;
    Clock::time_point lastFlush = Clock::now();
    while (!g_bStopRecording.load()) {
        Clock::time_point capturedAt;
        if (TakeFrame(param, frame, flipped, next, capturedAt)) {
            const CMovieTimeline::Placement placement = timeline.Place(Seconds(capturedAt - start));
            if (placement.write) {
                if (!WriteRepeated(writer, last, placement.repeats) || !writer.WriteFrame(next))
                    return false;
                std::swap(last, next);
            }
        } else {
            std::this_thread::sleep_for(kNoFrameWait);
        }
        if (Clock::now() - lastFlush >= kFlushInterval) {
            if (!writer.Flush())
                return false;
            lastFlush = Clock::now();
        }
    }
    return WriteRepeated(writer, last, timeline.FillUntil(Seconds(Clock::now() - start)));
}

int GiveUp(const RecThreadParam& param, const CMovieWriter& writer, const char* why) {
    qWarning("Recording into %s stopped: %s", qUtf8Printable(param.path),
             writer.Error().isEmpty() ? why : qUtf8Printable(writer.Error()));
    if (writer.FramesWritten() == 0)
        QFile::remove(param.path); // nothing of the movie is lost with it
    return -1;
}

} // namespace

int RecordingThreadProc(RecThreadParam* param) {
    RaiseThreadPriority();
    PlaySoundCue(QStringLiteral("rec.wav"));
    CMovieWriter writer;
    if (!param)
        return -1;
    cv::Mat frame, flipped, first;
    Clock::time_point start;
    if (!param->camera || !TakeFrame(*param, frame, flipped, first, start))
        return GiveUp(*param, writer, "the camera gives no picture");
    if (QFile::decodeName(QFile::encodeName(param->path)) != param->path)
        return GiveUp(*param, writer, "the file name cannot be encoded");
    if (!writer.Open(param->path, param->codec, kMovieSize, kMovieFps))
        return GiveUp(*param, writer, "the movie cannot be created");
    const bool recorded = RecordUntilStopped(*param, writer, first, start);
    if (!writer.Close() || !recorded)
        return GiveUp(*param, writer, "the movie cannot be written");
    PlaySoundCue(QStringLiteral("stop.wav"));
    return 0;
}

std::unique_ptr<CRecordingWorker> CRecordingWorker::Start(std::unique_ptr<RecThreadParam> param) {
    std::unique_ptr<CRecordingWorker> worker(new CRecordingWorker);
    worker->m_param = std::move(param);
    CRecordingWorker* self = worker.get();
    try {
        worker->m_thread = std::thread([self] {
            self->m_result.store(RecordingThreadProc(self->m_param.get()));
            self->m_finished.store(true);
        });
    } catch (const std::system_error&) {
        return nullptr;
    }
    return worker;
}

CRecordingWorker::~CRecordingWorker() {
    Wait();
}

void CRecordingWorker::Wait() {
    if (m_thread.joinable())
        m_thread.join();
}
