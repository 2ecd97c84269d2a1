// A V4L2 camera read through the driver's own queue (single- or multi-planar): the mode the
// program chose, four buffers set up before the stream starts, each frame stamped with the
// driver's capture time while that is plausible (DriverTime.h), and MJPEG frames decoded only when
// taken, at the smallest scale that covers what the taker needs. Damaged frames (flagged by the
// driver, cut short, undecodable, or of another size than the stream's) are handed out as such,
// dropped and counted by cause.
#pragma once

#include "camera/CameraMode.h"
#include "camera/CameraSource.h"
#include "camera/H264Decoder.h"
#include "camera/JpegDecoder.h"
#include "camera/v4l2/V4l2Controls.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

struct v4l2_buffer;

// The modes the node at `path` lists (usable formats only, each size with its highest rate): a
// range of sizes gives the common sizes inside it, and a driver that lists no rates gives each
// mode the rate it runs at now.
QList<CameraMode> ListV4l2Modes(const QString& path);
// The same from an open node.
QList<CameraMode> ListV4l2Modes(int fd);
// Whether the node lists any format at all that the program can decode.
bool HasUsableV4l2Format(int fd);
// The formats the node lists ("NV12, H264"), for the log.
QString V4l2FormatNames(int fd);

class CV4l2Source : public CCameraSource {
public:
    // Opens `path`, sets `mode` (the driver's current mode when empty) and starts the stream.
    // Null when it fails; `*failure` then tells why. The user's `controls` are written before
    // the stream starts.
    static std::unique_ptr<CV4l2Source> Open(const QString& path,
                                             const std::optional<CameraMode>& mode,
                                             CameraOpenFailure* failure = nullptr,
                                             const CameraControlValues& controls = {});
    ~CV4l2Source() override;

    bool Grab() override;
    bool Retrieve(cv::Mat& frame) override;
    std::optional<std::chrono::steady_clock::time_point> CaptureTime() const override;
    std::optional<std::chrono::steady_clock::duration> FramePeriod() const override {
        return m_period;
    }
    bool LastFrameDamaged() const override { return m_damage != FrameDamage::None; }
    FrameDamageCounts DamagedFrames() const override { return m_damaged; }
    uint64_t MissedFrames() const override { return m_missed; }
    void SetDecodeSize(cv::Size cover) override { m_cover = cover; }
    CCameraControls* Controls() override { return m_controls.get(); }

private:
    CV4l2Source() = default;
    bool Start(const std::optional<CameraMode>& mode, CameraOpenFailure* failure);
    bool Requeue();
    FrameDamage Inspect(const uint8_t* data);
    void Count(FrameDamage damage);
    std::optional<std::chrono::steady_clock::time_point> CaptureTimeOf(const v4l2_buffer& buffer);

    struct Buffer {
        void* start = nullptr;
        size_t length = 0;
        std::chrono::steady_clock::time_point queued; // when it last went back to the driver
    };
    int m_fd = -1;
    uint32_t m_type = 0; // V4L2_BUF_TYPE_VIDEO_CAPTURE or its multi-planar kind
    uint32_t m_fourcc = 0;
    cv::Size m_size;
    size_t m_nStride = 0; // bytes per row of a raw frame
    std::vector<Buffer> m_buffers;
    int m_nDequeued = -1; // the buffer the last Grab took, until the next Grab gives it back
    size_t m_nOffset = 0; // where the frame starts in its buffer
    size_t m_nBytes = 0;
    std::optional<std::chrono::steady_clock::time_point> m_captured;
    std::optional<std::chrono::steady_clock::time_point> m_lastStamp; // the driver's, as it was
    std::chrono::steady_clock::duration m_period{};                   // as the driver says
    bool m_bStreaming = false;
    FrameDamage m_damage = FrameDamage::None;
    FrameDamageCounts m_damaged{};
    std::optional<uint32_t> m_lastSequence; // of the last frame dequeued
    uint64_t m_missed = 0;
    cv::Size m_cover;
    CJpegDecoder m_decoder;
    std::unique_ptr<CV4l2Controls> m_controls;
    std::unique_ptr<CH264Decoder> m_h264;
};
