// A camera served by PipeWire, read as a libpipewire stream on the program's one connection
// (GStreamer's pipewiresrc keeps a connection of its own per descriptor, which a sandbox's one
// portal socket cannot carry beside the listing's). Each frame is copied out of PipeWire's buffer
// as it arrives, so frames kept here never starve the camera's buffer pool; the newest few are
// kept, a reader that comes late gets them in order. A frame is converted to BGR only when it is
// taken; MJPEG is decoded as a V4L2 camera's is, at the smallest scale that covers the taker's
// size, and damaged frames (flagged, cut short, or warned about by the decoder) are dropped and
// counted. Frames are stamped with PipeWire's own presentation time. When the camera's node goes
// away the stream reports nothing, so a camera that delivers nothing for its silence limit counts
// as failed.
#pragma once

#include "camera/CameraSource.h"
#include "camera/JpegDecoder.h"
#include "camera/pipewire/PipeWireCameras.h"

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class CPipeWireConnection;

// Carries a stream's presentation times (nanoseconds) over to steady_clock. The nodes PipeWire
// makes of V4L2 and libcamera cameras pass the driver's CLOCK_MONOTONIC capture time on (the
// clock of steady_clock); such times are kept as they are. Another clock (a producer's running
// time) is carried over by the smallest lag seen between a frame's time and its arrival.
class CPipeWireClock {
public:
    std::chrono::steady_clock::time_point ToSteady(int64_t pts,
                                                   std::chrono::steady_clock::time_point arrived);

private:
    std::optional<int64_t> m_offset; // added to a presentation time
};

// One frame as it came off the stream.
struct PipeWireFrame {
    PipeWireMode mode; // the format and size negotiated when it came
    std::vector<uint8_t> bytes;
    size_t stride = 0;
    std::optional<int64_t> pts; // the header's presentation time, where it has one
    bool corrupted = false;     // flagged by the producer (a V4L2 buffer's error flag)
    std::chrono::steady_clock::time_point arrived;
};

class CPipeWireCameraSource : public CCameraSource {
public:
    // Opens `camera` on `connection`, in `mode` (one of its listed modes) or, with an empty mode,
    // in the one PipeWire negotiates. Null when there is no connection or the stream is refused.
    static std::unique_ptr<CPipeWireCameraSource> Open(const PipeWireCamera& camera,
                                                       CPipeWireConnection& connection,
                                                       const PipeWireMode& mode = {});
    ~CPipeWireCameraSource() override;
    CPipeWireCameraSource(const CPipeWireCameraSource&) = delete;
    CPipeWireCameraSource& operator=(const CPipeWireCameraSource&) = delete;

    bool Grab() override;
    bool Retrieve(cv::Mat& frame) override;
    std::optional<std::chrono::steady_clock::time_point> CaptureTime() const override;
    std::optional<std::chrono::steady_clock::duration> FramePeriod() const override;
    bool LastFrameDamaged() const override { return m_damage != FrameDamage::None; }
    FrameDamageCounts DamagedFrames() const override { return m_damaged; }
    void SetDecodeSize(cv::Size cover) override { m_cover = cover; }
    // The format, size and rate the stream runs in; empty before PipeWire has settled it.
    PipeWireMode Mode() const;

    struct Stream;

private:
    CPipeWireCameraSource();
    // Why the frame looks damaged without decoding it (FrameDamage::None: it looks whole).
    FrameDamage Inspect(const PipeWireFrame& frame);
    void Count(FrameDamage damage);

    std::unique_ptr<Stream> m_stream;
    PipeWireFrame m_frame; // the one the last Grab took
    CPipeWireClock m_clock;
    std::chrono::steady_clock::time_point m_captured;
    CJpegDecoder m_decoder;
    cv::Size m_cover;
    FrameDamage m_damage = FrameDamage::None; // of the frame the last Grab took
    FrameDamageCounts m_damaged{};
};

// Opens the PipeWire camera with `identity` on the program's connection, as
// CPipeWireCameraSource::Open; null when it is not listed there now (a stream to a node that is
// not there would wait for ever) or does not open.
std::unique_ptr<CCameraSource> OpenPipeWireCamera(const QString& identity,
                                                  const PipeWireMode& mode = {});
