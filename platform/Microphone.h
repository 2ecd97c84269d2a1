// The microphone a recording takes its sound from: mono 32-bit float samples at 48 kHz from a
// sound-server source, each chunk stamped with the steady-clock time its first sample was
// captured (the clock the camera's frames are stamped on). The stamp comes from the server's own
// timing of the stream, asked for anew with every chunk, never from counting samples at the
// nominal rate: a microphone whose clock runs a little fast or slow keeps its true times, and
// sound the server lost moves the next stamps by the time lost.
//
// A microphone that goes away (unplugged, the server gone, nothing heard for a second, or for
// three before its first sound) is lost for good: the owner goes on without it.
#pragma once

#include <QList>
#include <QString>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class CPulseConnection;
struct pa_operation;
struct pa_stream;
struct pa_timing_info;

struct MicrophoneChunk {
    std::vector<float> samples;
    std::chrono::steady_clock::time_point capturedAt; // of the first sample
};

// A microphone the desktop offers: its stable name and the description people see.
struct MicrophoneInfo {
    QString name;
    QString description;
};

class CMicrophone {
public:
    static constexpr int kRate = 48000;

    // Starts capturing from the source called `name` ("" for the desktop's default) within
    // `limit`; null when there is no sound server, no such source or the server refuses.
    static std::unique_ptr<CMicrophone> Open(const QString& name, std::chrono::milliseconds limit);
    // The microphones (sources that are no sink's monitor), in the server's order; empty when
    // there is no sound server or it does not answer within `limit`.
    static QList<MicrophoneInfo> List(std::chrono::milliseconds limit);
    ~CMicrophone();
    CMicrophone(const CMicrophone&) = delete;
    CMicrophone& operator=(const CMicrophone&) = delete;

    // Moves the chunks captured since the last call to the end of `chunks`. False once the
    // microphone is lost; what it captured until then has still been handed over.
    bool Take(std::vector<MicrophoneChunk>& chunks);

private:
    CMicrophone() = default;
    static void OnRead(pa_stream* stream, size_t bytes, void* self);
    static void OnTiming(pa_stream* stream, int success, void* self);
    void Read();
    void StampPending(bool all = false);
    std::chrono::steady_clock::time_point Stamp(const pa_timing_info* timing, int64_t start,
                                                size_t count);
    void AskForTiming();

    // A chunk read, waiting for the server's timing of it.
    struct Pending {
        MicrophoneChunk chunk;
        int64_t start = 0; // its first byte's place in the stream
        std::chrono::steady_clock::time_point arrived;
    };

    std::unique_ptr<CPulseConnection> m_connection;
    pa_stream* m_stream = nullptr;
    std::mutex m_mutex; // the chunks, between the server's loop thread and the owner
    std::vector<MicrophoneChunk> m_chunks;
    std::deque<Pending> m_pending;                     // on the server's loop thread
    std::chrono::steady_clock::time_point m_lastData;  // the owner's view, for the silence check
    bool m_heard = false;                              // the owner has had sound
    std::chrono::steady_clock::time_point m_nextStamp; // where a chunk without timing goes
    bool m_stamped = false;
    pa_operation* m_timing = nullptr; // the timing update asked for and not yet answered
    int64_t m_consumed = 0;           // bytes read from the stream
};
