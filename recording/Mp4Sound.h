// The sound track of an MP4 movie: AAC at 48 kHz, mono, from microphone chunks stamped on the
// steady clock the picture's frames are stamped on. Each chunk's place in the track is the time
// its first sample was captured; where the microphone's clock runs faster or slower than the
// steady clock, or a chunk went missing, libswresample stretches or squeezes the sound a little
// (or, for a large gap, inserts silence or drops sound) so that the track keeps to those times.
// The nominal rate is never trusted over the stamps, so sound and picture stay together however
// long the recording lasts.
#pragma once

#include <QString>

#include <cstdint>
#include <deque>
#include <utility>

struct AVAudioFifo;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;

class CMp4Sound {
public:
    static constexpr int kRate = 48000;

    CMp4Sound() = default;
    ~CMp4Sound();
    CMp4Sound(const CMp4Sound&) = delete;
    CMp4Sound& operator=(const CMp4Sound&) = delete;

    // Adds the track to `format`, before its header is written. False, with Error() set, when
    // the encoder cannot be had.
    bool Add(AVFormatContext* format);
    // `count` mono samples at 48 kHz, the first captured `atUs` microseconds after the movie's
    // start (sound from before the start is dropped). Encoded sound goes straight to the file.
    bool Write(const float* samples, int count, int64_t atUs);
    // Encodes what is still held, up to the last sample given.
    bool Finish();
    // Lets go of the encoder without writing anything more (the file is closing or failed).
    void Release();
    const QString& Error() const { return m_error; }

private:
    bool Fail(const char* what, int code);
    bool EncodeFrames(bool all); // whole frames from the FIFO; `all` also the last part-frame
    bool Send(AVFrame* frame);   // null drains the encoder

    AVFormatContext* m_format = nullptr; // not owned
    AVCodecContext* m_codec = nullptr;
    AVStream* m_stream = nullptr;
    SwrContext* m_swr = nullptr;
    AVAudioFifo* m_fifo = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    int64_t m_given = 0; // samples given to the resampler
    double m_offset = 0; // where the stamps put the given samples, smoothed, in samples
    std::deque<std::pair<int64_t, double>> m_recent; // samples given, and the stamp's offset
    bool m_started = false;
    int64_t m_pts = 0; // of the next frame to encode, in samples
    bool m_failed = false;
    QString m_error;
};
