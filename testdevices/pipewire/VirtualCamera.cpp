// A virtual camera for the PipeWire tests: a real PipeWire client publishing a Video/Source node
// with the test camera's picture, 640 x 480 at 30 fps, until it is killed.
//   pipewire_camera_helper <node name> <description>
#include "camera/testsrc/TestPattern.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <chrono>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    gst_init(nullptr, nullptr);
    // The producer offers one raw format, and must not offer its own buffer pool to a converting
    // consumer (identity drops that query), or the stream stalls or the producer crashes.
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(
        "appsrc name=src is-live=true format=time "
        "caps=video/x-raw,format=BGR,width=640,height=480,framerate=30/1 ! videoconvert "
        "! video/x-raw,format=YUY2 ! identity drop-allocation=true "
        "! pipewiresink name=sink mode=provide",
        &error);
    if (error)
        return 1;
    GstStructure* props = gst_structure_new(
        "props", "media.class", G_TYPE_STRING, "Video/Source", "node.name", G_TYPE_STRING, argv[1],
        "node.description", G_TYPE_STRING, argv[2], "media.role", G_TYPE_STRING, "Camera", nullptr);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    g_object_set(sink, "client-name", argv[1], "stream-properties", props, nullptr);
    gst_structure_free(props);
    GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);

    const auto start = std::chrono::steady_clock::now();
    const GstClockTime period = GST_SECOND / 30;
    for (int64_t number = 0;; ++number) {
        std::this_thread::sleep_until(start + std::chrono::nanoseconds(number * period));
        const cv::Mat picture = DrawTestPattern(cv::Size(640, 480), number);
        const gsize size = picture.total() * picture.elemSize();
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
        gst_buffer_fill(buffer, 0, picture.data, size);
        GST_BUFFER_PTS(buffer) = number * period;
        GST_BUFFER_DURATION(buffer) = period;
        if (gst_app_src_push_buffer(GST_APP_SRC(src), buffer) != GST_FLOW_OK)
            return 1;
    }
}
