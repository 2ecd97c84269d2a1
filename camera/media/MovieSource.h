// Video files and stream URLs as cameras, read through libavformat and libavcodec: a file plays
// at its own rate and starts again at its end; a stream paces itself.
#pragma once

#include "camera/CameraEntry.h"
#include "camera/CameraSource.h"
#include "camera/FramePacer.h"

#include <chrono>
#include <memory>
#include <optional>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

class CMovieSource : public CCameraSource {
public:
    // Null when the entry does not open, or a stream does not answer within kOpenLimit.
    static std::unique_ptr<CMovieSource> Open(const CameraEntry& entry);
    // Every frame of the file `path` once, as fast as it decodes, and nothing after its end: a
    // movie read to check what it holds.
    static std::unique_ptr<CMovieSource> ReadThrough(const QString& path);
    ~CMovieSource() override;
    CMovieSource(const CMovieSource&) = delete;
    CMovieSource& operator=(const CMovieSource&) = delete;
    bool Grab() override;
    bool Retrieve(cv::Mat& frame) override;

    // How long an open, and then each read, may wait on the network.
    static constexpr std::chrono::seconds kOpenLimit{5};
    static constexpr std::chrono::seconds kReadLimit{2};

private:
    CMovieSource() = default;
    bool Open(const QString& location, bool isFile);
    bool DecodeNext();
    bool Rewind();
    static int Interrupted(void* self);

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    SwsContext* m_scaler = nullptr;
    int m_stream = -1;
    bool m_draining = false; // the input ended; the decoder hands out what it still holds
    bool m_loop = false;
    std::chrono::steady_clock::time_point m_deadline; // for the network wait under way
    std::optional<CFramePacer> m_pacer;               // files only: streams pace themselves
};
