// pipewiresrc ! appsink in the camera's own raw format: a frame is converted to BGR only when it
// is taken. The source copies each frame out of PipeWire's buffers, so frames held here never
// starve the camera's buffer pool; the sink keeps a few, dropping the oldest, so a reader that
// comes late gets the newest ones and the stream never waits on it.
#include "camera/pipewire/PipeWireCameraSource.h"

#include "camera/pipewire/CameraPortal.h"
#include "camera/pipewire/PipeWireCameras.h"

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
    return QStringLiteral("pipewiresrc name=src always-copy=true ! %1appsink name=sink "
                          "caps=video/x-raw max-buffers=4 drop=true sync=false")
        .arg(caps)
        .toUtf8();
}

// The layout of `frame` (8-bit BGR, continuous) for a converter from `in`, which changes the
// format only: size, rate, pixel shape and interlacing stay.
GstVideoInfo BgrInfo(const GstVideoInfo& in, const cv::Mat& frame) {
    GstVideoInfo out;
    gst_video_info_set_format(&out, GST_VIDEO_FORMAT_BGR, frame.cols, frame.rows);
    GST_VIDEO_INFO_PLANE_STRIDE(&out, 0) = static_cast<int>(frame.step[0]);
    GST_VIDEO_INFO_SIZE(&out) = frame.total() * frame.elemSize();
    GST_VIDEO_INFO_FPS_N(&out) = GST_VIDEO_INFO_FPS_N(&in);
    GST_VIDEO_INFO_FPS_D(&out) = GST_VIDEO_INFO_FPS_D(&in);
    GST_VIDEO_INFO_PAR_N(&out) = GST_VIDEO_INFO_PAR_N(&in);
    GST_VIDEO_INFO_PAR_D(&out) = GST_VIDEO_INFO_PAR_D(&in);
    GST_VIDEO_INFO_INTERLACE_MODE(&out) = GST_VIDEO_INFO_INTERLACE_MODE(&in);
    return out;
}

// Converts the picture in `buffer` into `frame`, laid out as `out`.
bool Convert(GstVideoConverter* converter, const GstVideoInfo& in, GstBuffer* buffer,
             const GstVideoInfo& out, cv::Mat& frame) {
    GstBuffer* target = gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_NO_SHARE, frame.data, out.size,
                                                    0, out.size, nullptr, nullptr);
    GstVideoFrame source, converted;
    bool ok = gst_video_frame_map(&source, &in, buffer, GST_MAP_READ);
    if (ok) {
        ok = gst_video_frame_map(&converted, &out, target, GST_MAP_WRITE);
        if (ok) {
            gst_video_converter_frame(converter, &source, &converted);
            gst_video_frame_unmap(&converted);
        }
        gst_video_frame_unmap(&source);
    }
    gst_buffer_unref(target);
    return ok;
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
    if (m_converter)
        gst_video_converter_free(m_converter);
    gst_caps_replace(&m_convertFrom, nullptr);
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
    GstVideoInfo in;
    GstBuffer* buffer = m_sample ? gst_sample_get_buffer(m_sample) : nullptr;
    GstCaps* caps = m_sample ? gst_sample_get_caps(m_sample) : nullptr;
    if (!buffer || !caps || !gst_video_info_from_caps(&in, caps))
        return false;
    if (!frame.isContinuous())
        frame.release(); // the converter writes rows of exactly the width
    frame.create(GST_VIDEO_INFO_HEIGHT(&in), GST_VIDEO_INFO_WIDTH(&in), CV_8UC3);
    const GstVideoInfo out = BgrInfo(in, frame);
    if (!m_converter || !gst_caps_is_equal(m_convertFrom, caps)) {
        if (m_converter)
            gst_video_converter_free(m_converter);
        m_converter = gst_video_converter_new(&in, &out, nullptr);
        gst_caps_replace(&m_convertFrom, caps);
    }
    return m_converter && Convert(m_converter, in, buffer, out, frame);
}

std::unique_ptr<CCameraSource> OpenPipeWireCamera(const QString& identity,
                                                  const PipeWireMode& mode) {
    const std::optional<int> remoteFd = CameraRemoteFd();
    return remoteFd ? CPipeWireCameraSource::Open(identity, *remoteFd, mode) : nullptr;
}
