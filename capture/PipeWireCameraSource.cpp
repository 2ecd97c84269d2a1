// pipewiresrc ! videoconvert ! BGR appsink. The sink keeps a few frames, dropping the oldest, so
// a reader that comes late gets the newest ones and the PipeWire stream never waits on it.
#include "capture/PipeWireCameraSource.h"

#include "capture/CameraPortal.h"
#include "capture/PipeWireCameras.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <opencv2/core.hpp>

namespace {

// The stream, in `mode` when it names one.
QByteArray Pipeline(const PipeWireMode& mode) {
    QString caps;
    if (mode.width > 0)
        caps = QStringLiteral("video/x-raw,format=%1,width=%2,height=%3,framerate=%4/%5 ! ")
                   .arg(mode.format)
                   .arg(mode.width)
                   .arg(mode.height)
                   .arg(mode.rateNum)
                   .arg(mode.rateDen);
    return QStringLiteral("pipewiresrc name=src ! %1videoconvert ! video/x-raw,format=BGR ! "
                          "appsink name=sink max-buffers=4 drop=true sync=false")
        .arg(caps)
        .toUtf8();
}

} // namespace

std::unique_ptr<CPipeWireCameraSource>
CPipeWireCameraSource::Open(const QString& identity, int remoteFd, const PipeWireMode& mode) {
    const QList<PipeWireCamera> cameras = ListPipeWireCamerasOn(remoteFd);
    const PipeWireCamera* camera = FindPipeWireCamera(cameras, identity);
    if (!camera)
        return nullptr;
    // The stream finds its node by name, or by serial for a node without one.
    const QString target = camera->nodeName.isEmpty() ? camera->serial : camera->nodeName;
    gst_init(nullptr, nullptr);
    std::unique_ptr<CPipeWireCameraSource> source(new CPipeWireCameraSource);
    GError* error = nullptr;
    source->m_pipeline = gst_parse_launch(Pipeline(mode).constData(), &error);
    if (error) {
        qWarning("PipeWire camera: %s", error->message);
        g_error_free(error);
        return nullptr; // the PipeWire elements are not installed
    }
    GstElement* src = gst_bin_get_by_name(GST_BIN(source->m_pipeline), "src");
    g_object_set(src, "target-object", target.toUtf8().constData(), "client-name", "VistrelCV",
                 nullptr);
    if (remoteFd >= 0)
        g_object_set(src, "fd", remoteFd, nullptr); // the element connects with a copy
    gst_object_unref(src);
    source->m_sink = gst_bin_get_by_name(GST_BIN(source->m_pipeline), "sink");
    if (gst_element_set_state(source->m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return nullptr;
    return source;
}

CPipeWireCameraSource::~CPipeWireCameraSource() {
    if (m_sample)
        gst_sample_unref(m_sample);
    if (m_sink)
        gst_object_unref(m_sink);
    if (m_pipeline) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        gst_object_unref(m_pipeline);
    }
}

bool CPipeWireCameraSource::StreamFailed() const {
    GstBus* bus = gst_element_get_bus(m_pipeline);
    GstMessage* message =
        gst_bus_pop_filtered(bus, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
    gst_object_unref(bus);
    if (!message)
        return false;
    gst_message_unref(message);
    return true;
}

bool CPipeWireCameraSource::Grab() {
    if (m_sample) {
        gst_sample_unref(m_sample);
        m_sample = nullptr;
    }
    if (StreamFailed())
        return false;
    const auto limit = std::chrono::nanoseconds(kPipeWireFrameLimit).count();
    m_sample = gst_app_sink_try_pull_sample(GST_APP_SINK(m_sink), static_cast<GstClockTime>(limit));
    return m_sample != nullptr;
}

bool CPipeWireCameraSource::Retrieve(cv::Mat& frame) {
    if (!m_sample)
        return false;
    GstVideoInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(m_sample);
    if (!buffer || !gst_video_info_from_caps(&info, gst_sample_get_caps(m_sample)))
        return false;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return false;
    const size_t stride = GST_VIDEO_INFO_PLANE_STRIDE(&info, 0);
    const bool whole = map.size >= stride * GST_VIDEO_INFO_HEIGHT(&info);
    if (whole)
        cv::Mat(GST_VIDEO_INFO_HEIGHT(&info), GST_VIDEO_INFO_WIDTH(&info), CV_8UC3, map.data,
                stride)
            .copyTo(frame);
    gst_buffer_unmap(buffer, &map);
    return whole && !frame.empty();
}

std::unique_ptr<CCameraSource> OpenPipeWireCamera(const QString& identity,
                                                  const PipeWireMode& mode) {
    const std::optional<int> remoteFd = CameraRemoteFd();
    return remoteFd ? CPipeWireCameraSource::Open(identity, *remoteFd, mode) : nullptr;
}
