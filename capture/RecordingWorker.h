// The movie-recording worker: its parameter record, its thread and its frame loop. The worker
// touches no widget and posts no event; the user-interface thread asks whether it has ended.
#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

class CCameraSource;

// What a recording is handed when it starts; it does not change while the worker runs.
struct RecThreadParam {
    std::shared_ptr<CCameraSource> camera; // shared with the live view, used under g_csCapture
    QString path;
    uint32_t codec = 0;  // four-character code of the movie file type
    bool mirror = false; // copied at the start: a later change affects only the live view
};

// Fixed values of every recording.
inline constexpr int kMovieWidth = 320;
inline constexpr int kMovieHeight = 240;
inline constexpr int kMovieFps = 30;

// The worker's body: 0 after a normal end (the stop flag), -1 when it gave up (no frame, the
// writer could not be created, a write failed). A worker that gave up before writing anything
// removes the empty file the probe left.
int RecordingThreadProc(RecThreadParam* param);

class CRecordingWorker {
public:
    // Starts the thread; null when it cannot start.
    static std::unique_ptr<CRecordingWorker> Start(std::unique_ptr<RecThreadParam> param);
    ~CRecordingWorker(); // waits for the thread
    CRecordingWorker(const CRecordingWorker&) = delete;
    CRecordingWorker& operator=(const CRecordingWorker&) = delete;

    // Waits, without a time limit, until the worker has ended.
    void Wait();
    // True once the worker's body has returned.
    bool Finished() const { return m_finished.load(); }
    // RecordingThreadProc's result, valid once Finished().
    int Result() const { return m_result.load(); }

private:
    CRecordingWorker() = default;

    std::unique_ptr<RecThreadParam> m_param;
    std::thread m_thread;
    std::atomic<bool> m_finished{false};
    std::atomic<int> m_result{0};
};
