// The movie-recording worker: its parameter record, its thread and its frame loop. The worker
// takes every frame the camera reader hands it, in order, places it on the movie's time base by
// its capture time and encodes it. It touches no widget and posts no event; the user-interface
// thread asks whether it has ended.
#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

class CFrameFeed;

// Set by the user-interface thread to end the recording worker, which tests it between frames.
extern std::atomic<bool> g_bStopRecording;

// What a recording is handed when it starts; it does not change while the worker runs, but for
// `abandoned`.
struct RecThreadParam {
    std::shared_ptr<CFrameFeed> feed; // the camera's frames; null when there is no camera
    QString path;
    uint32_t codec = 0;  // four-character code of the movie file type
    bool mirror = false; // copied at the start: a later change affects only the live view
    // The microphone an MP4 movie takes its sound from ("" the desktop's default); none: silent.
    std::optional<QString> microphone;
    // Set by the worker when the movie goes on without the sound it was asked for (no
    // microphone, a refused or a lost one); the user-interface thread polls it.
    mutable std::atomic<bool> withoutSound{false};
    // Set when the user-interface thread gave up waiting for this worker: it must end even if a
    // later recording clears the stop flag.
    std::atomic<bool> abandoned{false};
};

// Fixed values of every recording.
inline constexpr int kMovieWidth = 320;
inline constexpr int kMovieHeight = 240;
inline constexpr int kMovieFps = 30;
// About two seconds of frames wait for the encoder before the camera's frames are dropped.
inline constexpr size_t kRecordingQueueFrames = 2 * kMovieFps;

inline constexpr int kRecordingStopped = 0;
inline constexpr int kRecordingGaveUp = -1;
inline constexpr int kRecordingCameraLost = -2;
inline constexpr int kRecordingNoPicture = -3;

// The worker's body: kRecordingStopped after a normal end (the stop flag); kRecordingCameraLost
// when the camera was lost (its frames until then are in the closed movie); kRecordingNoPicture
// when the camera gave no first frame; kRecordingGaveUp when it gave up (no camera, the writer
// could not be created, a write failed). A worker that ended before writing anything removes the
// empty file the probe left.
int RecordingThreadProc(RecThreadParam* param);

class CRecordingWorker {
public:
    // Starts the thread; null when it cannot start.
    static std::unique_ptr<CRecordingWorker> Start(std::unique_ptr<RecThreadParam> param);
    ~CRecordingWorker(); // waits for the thread
    CRecordingWorker(const CRecordingWorker&) = delete;
    CRecordingWorker& operator=(const CRecordingWorker&) = delete;

    // Waits until the worker has ended, at most until `deadline`; a worker still busy then (a
    // disk that does not answer) is told to end and left behind.
    void Wait(std::chrono::steady_clock::time_point deadline);
    // True once the worker's body has returned.
    bool Finished() const { return m_state->finished.load(); }
    // RecordingThreadProc's result, valid once Finished().
    int Result() const { return m_state->result.load(); }
    // Whether the movie is being made without the sound it was asked for.
    bool WithoutSound() const { return m_state->param && m_state->param->withoutSound.load(); }

private:
    CRecordingWorker() = default;

    // Shared with the thread, so a worker left behind still has everything it uses.
    struct State {
        std::unique_ptr<RecThreadParam> param;
        std::atomic<bool> finished{false};
        std::atomic<int> result{0};
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
    std::thread m_thread;
};
