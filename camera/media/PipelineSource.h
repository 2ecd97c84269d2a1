// GStreamer pipelines as cameras ("videotestsrc ! videoconvert ! appsink"): the pipeline's last
// appsink hands over its pictures in BGR (or grey), through GStreamer's app library.
#pragma once

#include "camera/CameraSource.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

typedef struct _GstElement GstElement;
typedef struct _GstSample GstSample;

class CPipelineSource : public CCameraSource {
public:
    // Null when the pipeline names an element that is not installed (said on stderr), has no
    // appsink, or does not start.
    static std::unique_ptr<CPipelineSource> Open(const QString& pipeline);
    ~CPipelineSource() override;
    CPipelineSource(const CPipelineSource&) = delete;
    CPipelineSource& operator=(const CPipelineSource&) = delete;
    bool Grab() override;
    bool Retrieve(cv::Mat& frame) override;

private:
    CPipelineSource() = default;

    GstElement* m_pipeline = nullptr;
    GstElement* m_sink = nullptr;
    GstSample* m_sample = nullptr; // the picture the last Grab took
    // Pictures that reached the sink, counted on the streaming thread before the sink queues them
    // and read after each pull: the pixels the streaming thread wrote are then ordered before our
    // copy by a lock-free handover that thread checkers see, which GLib's own locks are not.
    std::atomic<uint64_t> m_arrived{0};
};
