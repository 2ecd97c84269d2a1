// Writes an MP4 movie that phones, browsers and desktop players take: H.264 in 4:2:0 at the
// camera's size, each frame at its own time (variable frame rate), through VA-API's encoder where
// the machine has a working one and libx264 otherwise. The file is fragmented (a fragment per
// keyframe, a keyframe every second), so a crash or a power cut loses at most the last moments:
// what reached the disk plays without the file ever being finished. A movie may carry the
// microphone's sound as a second track (CMp4Sound), in the same fragments.
#pragma once

#include "recording/Mp4Sound.h"

#include <QByteArray>
#include <QString>

#include <opencv2/core.hpp>

#include <cstdint>
#include <map>

struct AVBufferRef;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

class CMp4Writer {
public:
    CMp4Writer() = default;
    ~CMp4Writer(); // closes an open movie at its last frame
    CMp4Writer(const CMp4Writer&) = delete;
    CMp4Writer& operator=(const CMp4Writer&) = delete;

    // Creates the movie at `path` (replacing a file there) for frames of `size` (even width and
    // height). `preset` is libx264's speed preset; `vaapi` allows the VA-API encoder. False, with
    // Error() set, when it cannot.
    bool Open(const QString& path, cv::Size size, const char* preset = "veryfast",
              bool vaapi = true);
    // Whether the next Open gives the movie a sound track.
    void SetSound(bool on) { m_withSound = on; }
    // Whether the open movie has a sound track that still takes sound.
    bool HasSound() const { return m_hasSound; }
    // Mono samples at 48 kHz, the first captured `atUs` microseconds after the movie's start.
    // False when the sound cannot be written; the picture goes on, and the track ends there.
    bool WriteSound(const float* samples, int count, int64_t atUs);
    // The sound track ends here (the microphone was lost); the picture goes on.
    void EndSound();
    // Appends a frame (8-bit BGR of the movie's size) shown from `atUs` microseconds after the
    // movie's start; a time not after the previous frame's is moved just past it.
    bool WriteFrame(const cv::Mat& bgr, int64_t atUs);
    // Moves the encoder on to its next faster setting, within the same movie; false (and nothing
    // changes) when there is none: the fastest is in use, or the encoder is VA-API's.
    bool SpeedUp();
    // The libx264 preset in use; empty for VA-API.
    const QString& Pace() const { return m_pace; }
    // Pushes everything encoded so far to the file.
    bool Flush();
    // Ends the movie at `endUs` (the last frame lasts until then), drains the encoder and closes
    // the file. Safe to call twice.
    bool Close(int64_t endUs = -1);

    bool IsOpen() const { return m_format != nullptr; }
    int64_t FramesWritten() const { return m_nFrames; }
    const QString& Error() const { return m_error; }
    // "h264_vaapi" or "libx264" once open.
    QString EncoderName() const { return m_encoderName; }

private:
    bool Create(const QByteArray& file, const char* preset, bool vaapi);
    bool OpenEncoder(const char* preset, bool vaapi);
    bool OpenX264(const char* preset);
    AVCodecContext* NewX264(const char* preset, const char* params) const; // opened; null: none
    bool OpenVaapi();
    bool Fail(const char* what, int code);
    bool SendPending(int64_t nextPts); // the held frame, lasting until `nextPts`
    bool SendFrame(AVFrame* frame);    // null drains the encoder
    void Release();

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVStream* m_stream = nullptr;
    AVBufferRef* m_hwDevice = nullptr;
    AVFrame* m_pending = nullptr; // converted, waiting for the next frame to know how long it lasts
    AVFrame* m_upload = nullptr;  // the VA-API surface it goes to the encoder in
    AVPacket* m_packet = nullptr;
    SwsContext* m_sws = nullptr;
    cv::Size m_size;
    int64_t m_pendingPts = -1; // in the encoder's time base; -1 when nothing is held
    int64_t m_lastKeyPts = -1;
    int64_t m_lastDts = INT64_MIN; // of the last packet written, in the encoder's time base
    int64_t m_nFrames = 0;
    int m_step = -1; // in the list of libx264 settings; -1: no faster one to move to
    std::map<int64_t, int64_t> m_durations; // of frames sent, by time, until their packet comes
    bool m_failed = false;
    bool m_withSound = false;
    bool m_hasSound = false;
    CMp4Sound m_sound;
    QString m_error;
    QString m_encoderName;
    QString m_pace;
};
