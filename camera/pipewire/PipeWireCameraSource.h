// A camera served by PipeWire, read through GStreamer's PipeWire source into an application sink
// whose reads have a time limit: when the camera's node goes away the PipeWire stream reports
// nothing, so a camera that delivers nothing for kPipeWireFrameLimit counts as failed.
#pragma once

#include "camera/CameraSource.h"
#include "camera/pipewire/PipeWireCameras.h"

#include <QString>

#include <chrono>
#include <memory>

typedef struct _GstCaps GstCaps;
typedef struct _GstElement GstElement;
typedef struct _GstSample GstSample;
typedef struct _GstVideoConverter GstVideoConverter;

// How long a read waits for the next frame before the camera counts as failed.
inline constexpr std::chrono::milliseconds kPipeWireFrameLimit{2000};

class CPipeWireCameraSource : public CCameraSource {
public:
    // Opens the camera with `identity` (see PipeWireCameraIdentity) on the connection `remoteFd`
    // (negative: the user's own daemon), in `mode` (one of its listed modes) or, with an empty
    // mode, in the one PipeWire negotiates. Null when it is not listed there now (a stream to a
    // missing node would wait for ever) or its stream does not start.
    static std::unique_ptr<CPipeWireCameraSource> Open(const QString& identity, int remoteFd,
                                                       const PipeWireMode& mode = {});
    ~CPipeWireCameraSource() override;
    CPipeWireCameraSource(const CPipeWireCameraSource&) = delete;
    CPipeWireCameraSource& operator=(const CPipeWireCameraSource&) = delete;

    bool Grab() override;
    bool Retrieve(cv::Mat& frame) override;

private:
    CPipeWireCameraSource() = default;
    bool StreamFailed() const;

    GstElement* m_pipeline = nullptr;
    GstElement* m_sink = nullptr;
    GstSample* m_sample = nullptr;            // the frame the last Grab took
    GstVideoConverter* m_converter = nullptr; // to BGR, from the format m_convertFrom describes
    GstCaps* m_convertFrom = nullptr;
};

// Opens the PipeWire camera with `identity` on the connection the program uses (see
// CameraPortal.h), as CPipeWireCameraSource::Open; null when it is not listed there now or does
// not open.
std::unique_ptr<CCameraSource> OpenPipeWireCamera(const QString& identity,
                                                  const PipeWireMode& mode = {});
