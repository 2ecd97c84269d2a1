// The microphone of a recording, from its opening to its loss.
#include "recording/MovieSound.h"

#include "output_files/FiletypeMgr.h"
#include "platform/Microphone.h"
#include "recording/MovieOutput.h"
#include "recording/RecordingWorker.h"

#include <QtGlobal>

#include <vector>

namespace {

// How long a recording waits for the sound server before it starts without sound (a server
// answers in milliseconds). The camera's frames are queued meanwhile, well within the queue's
// bound even at 60 fps, so the movie loses nothing by it.
constexpr auto kOpenLimit = std::chrono::milliseconds(800);

} // namespace

CMovieSound::CMovieSound(const RecThreadParam& param) : m_param(param) {
    if (!param.microphone || param.codec != kCodecH264)
        return; // MPEG-1 movies are silent
    m_microphone = CMicrophone::Open(*param.microphone, kOpenLimit);
    if (!m_microphone)
        Lose("the microphone cannot be opened");
}

CMovieSound::~CMovieSound() = default;

void CMovieSound::Lose(const char* why) {
    if (m_microphone || !m_param.withoutSound.load())
        qWarning("Recording into %s goes on without sound: %s", qUtf8Printable(m_param.path), why);
    m_microphone.reset();
    m_param.withoutSound.store(true);
}

void CMovieSound::Pass(CMovieOutput& movie, Clock::time_point start,
                       std::optional<Clock::time_point> until) {
    if (!m_microphone)
        return;
    std::vector<MicrophoneChunk> chunks;
    const bool alive = m_microphone->Take(chunks);
    for (const MicrophoneChunk& chunk : chunks) {
        if (until && chunk.capturedAt >= *until)
            break;
        const double elapsed = std::chrono::duration<double>(chunk.capturedAt - start).count();
        if (!movie.TakeSound(chunk.samples.data(), int(chunk.samples.size()), elapsed)) {
            Lose("the sound cannot be written");
            return;
        }
    }
    if (!alive) {
        movie.EndSound();
        Lose("the microphone was lost");
    }
}
