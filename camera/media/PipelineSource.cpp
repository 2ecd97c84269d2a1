// Starts a user's pipeline and pulls its appsink. GStreamer is started here, the first time a
// pipeline opens, and never for a program that uses none.
#include "camera/media/PipelineSource.h"

#include "camera/media/GstElements.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <opencv2/imgproc.hpp>

namespace {

// A sink that hands over nothing for this long has stopped (a live source that went away).
constexpr GstClockTime kPullLimit = 2 * GST_SECOND;
// How long the pipeline may take to start (the camera reader gives up on an open after 5 s).
constexpr GstClockTime kStartLimit = 5 * GST_SECOND;

// The last appsink of the pipeline, as a new reference; null when it has none.
GstElement* FindAppSink(GstElement* pipeline) {
    if (GST_IS_APP_SINK(pipeline))
        return GST_ELEMENT(gst_object_ref(pipeline));
    if (!GST_IS_BIN(pipeline))
        return nullptr;
    GstElement* found = nullptr;
    GstIterator* it = gst_bin_iterate_sinks(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    // Sinks come from the end of the pipeline; the first appsink met is the last one in it.
    while (!found && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        if (GST_IS_APP_SINK(element))
            found = GST_ELEMENT(gst_object_ref(element));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return found;
}

GstPadProbeReturn CountArrival(GstPad*, GstPadProbeInfo*, gpointer arrived) {
    static_cast<std::atomic<uint64_t>*>(arrived)->fetch_add(1, std::memory_order_release);
    return GST_PAD_PROBE_OK;
}

} // namespace

std::unique_ptr<CPipelineSource> CPipelineSource::Open(const QString& pipeline) {
    // A pipeline with an element that is not installed is told apart from one that did not open.
    const QStringList missing = MissingGstElements(pipeline);
    if (!missing.isEmpty()) {
        qWarning("VISTRELCV_CAMERAS: GStreamer element not installed: %s (in \"%s\")",
                 qUtf8Printable(missing.join(QLatin1String(", "))), qUtf8Printable(pipeline));
        return nullptr;
    }
    if (!gst_init_check(nullptr, nullptr, nullptr))
        return nullptr;
    std::unique_ptr<CPipelineSource> source(new CPipelineSource);
    GError* error = nullptr;
    source->m_pipeline = gst_parse_launch(pipeline.toUtf8().constData(), &error);
    g_clear_error(&error); // a pipeline with a recoverable error is still tried
    if (!source->m_pipeline)
        return nullptr;
    gst_object_ref_sink(source->m_pipeline);
    source->m_sink = FindAppSink(source->m_pipeline);
    if (!source->m_sink)
        return nullptr;
    GstCaps* caps = gst_caps_from_string("video/x-raw,format={BGR,GRAY8}");
    gst_app_sink_set_caps(GST_APP_SINK(source->m_sink), caps);
    gst_caps_unref(caps);
    if (GstPad* pad = gst_element_get_static_pad(source->m_sink, "sink")) {
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, CountArrival, &source->m_arrived,
                          nullptr);
        gst_object_unref(pad);
    }
    if (gst_element_set_state(source->m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE ||
        gst_element_get_state(source->m_pipeline, nullptr, nullptr, kStartLimit) ==
            GST_STATE_CHANGE_FAILURE)
        return nullptr;
    return source;
}

CPipelineSource::~CPipelineSource() {
    if (m_sample)
        gst_sample_unref(m_sample);
    if (m_sink)
        gst_object_unref(m_sink);
    if (m_pipeline) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        gst_object_unref(m_pipeline);
    }
}

bool CPipelineSource::Grab() {
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(m_sink), kPullLimit);
    if (!sample)
        return false; // the end of the stream, an error, or nothing for too long
    if (m_sample)
        gst_sample_unref(m_sample);
    m_sample = sample;
    m_arrived.load(std::memory_order_acquire);
    return true;
}

bool CPipelineSource::Retrieve(cv::Mat& frame) {
    if (!m_sample)
        return false;
    GstVideoInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(m_sample);
    GstCaps* caps = gst_sample_get_caps(m_sample);
    if (!buffer || !caps || !gst_video_info_from_caps(&info, caps))
        return false;
    GstVideoFrame mapped;
    if (!gst_video_frame_map(&mapped, &info, buffer, GST_MAP_READ))
        return false;
    const bool grey = GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_GRAY8;
    const cv::Mat picture(GST_VIDEO_INFO_HEIGHT(&info), GST_VIDEO_INFO_WIDTH(&info),
                          grey ? CV_8UC1 : CV_8UC3, GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0),
                          size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0)));
    if (grey)
        cv::cvtColor(picture, frame, cv::COLOR_GRAY2BGR);
    else
        picture.copyTo(frame);
    gst_video_frame_unmap(&mapped);
    return !frame.empty();
}
