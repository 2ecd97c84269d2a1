// A V4L2 camera read through the driver's own queue: the mode the program chose, four buffers
// set up before the stream starts, each frame stamped with the driver's capture time, and MJPEG
// frames decoded only when taken, at the smallest scale that covers what the taker needs.
// Damaged frames (cut short, or data the decoder warns about) are dropped and counted.
#pragma once

#include "camera/CameraMode.h"
#include "camera/CameraSource.h"
#include "camera/JpegDecoder.h"
#include "camera/v4l2/V4l2Controls.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

// The modes the node at `path` lists (usable formats only, each size with its highest rate).
QList<CameraMode> ListV4l2Modes(const QString& path);
// The same from an open node.
QList<CameraMode> ListV4l2Modes(int fd);
// Whether the node lists any format at all that the program can decode.
bool HasUsableV4l2Format(int fd);

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
    bool LastFrameDamaged() const override { return m_bDamaged; }
    uint64_t DamagedFrames() const override { return m_nDamaged; }
    void SetDecodeSize(cv::Size cover) override { m_cover = cover; }
    CCameraControls* Controls() override { return m_controls.get(); }

private:
    CV4l2Source() = default;
    bool Start(const std::optional<CameraMode>& mode, CameraOpenFailure* failure);
    bool Requeue();
    bool WholeFrame(size_t bytes) const;

    struct Buffer {
        void* start = nullptr;
        size_t length = 0;
    };
    int m_fd = -1;
    uint32_t m_fourcc = 0;
    cv::Size m_size;
    size_t m_nStride = 0; // bytes per row of a raw frame
    std::vector<Buffer> m_buffers;
    int m_nDequeued = -1; // the buffer the last Grab took, until the next Grab gives it back
    size_t m_nBytes = 0;
    std::chrono::steady_clock::time_point m_captured;
    bool m_bStreaming = false;
    bool m_bDamaged = false;
    uint64_t m_nDamaged = 0;
    cv::Size m_cover;
    CJpegDecoder m_decoder;
    std::unique_ptr<CV4l2Controls> m_controls;
};
