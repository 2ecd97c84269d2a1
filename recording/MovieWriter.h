// Writes a movie with FFmpeg's libavformat and libavcodec: fixed-size BGR frames on a constant
// frame-rate time base, MPEG-1 video in an MPEG program stream for the "PIM1" code. Unlike
// OpenCV's writer, every step reports failure (a full disk is noticed at the frame it hits),
// the file can be flushed so a crash loses at most the last moments, and closing finishes the
// stream properly.
#pragma once

#include <QByteArray>
#include <QString>

#include <opencv2/core.hpp>

#include <cstdint>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

class CMovieWriter {
public:
    CMovieWriter() = default;
    ~CMovieWriter(); // closes an open movie (see Close)
    CMovieWriter(const CMovieWriter&) = delete;
    CMovieWriter& operator=(const CMovieWriter&) = delete;

    // Creates the movie at `path` (replacing a file there). `fourcc` picks the codec (0: the
    // container's own); `fps` is the time base. False, with Error() set, when it cannot.
    bool Open(const QString& path, uint32_t fourcc, cv::Size size, int fps);
    // Appends one frame (8-bit BGR of the movie's size) for the next 1/fps of the movie.
    bool WriteFrame(const cv::Mat& bgr);
    // Pushes everything encoded so far to the file.
    bool Flush();
    // Drains the encoder, writes the stream's end and closes the file. Safe to call twice.
    bool Close();

    bool IsOpen() const { return m_format != nullptr; }
    int64_t FramesWritten() const { return m_nextPts; }
    const QString& Error() const { return m_error; }

private:
    bool Create(const QByteArray& file, uint32_t fourcc, int fps);
    void SetUpEncoder(int fps);
    bool Fail(const char* what, int code);
    bool SendFrame(AVFrame* frame); // null drains the encoder
    void Release();

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVStream* m_stream = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    SwsContext* m_sws = nullptr;
    cv::Size m_size;
    int64_t m_nextPts = 0;
    bool m_failed = false;
    QString m_error;
};
