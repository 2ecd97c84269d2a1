// A virtual camera for the PipeWire tests: a real PipeWire client publishing a Video/Source node
// the way PipeWire's own V4L2 nodes (spa's v4l2 source) present a webcam: one EnumFormat per
// format and size at that mode's rate; the consumer's choice comes back as the Format; each
// frame's header carries its capture time in CLOCK_MONOTONIC (the driver's timestamp, which the
// node passes on) and its sequence number; frames come at the mode's rate on the camera's own
// clock, and the node goes away with its daemon. Frames are the V4L2 test device's (its frame
// module, FrameMaker.cpp).
//   pipewire_camera_helper NODE DESCRIPTION [modes=FMT:WxH@FPS,...] [skip=N] [damage=N]
// FMT: YUY2, NV12 or MJPG (default YUY2:640x480@30). skip=N: every N-th frame is not sent (a
// camera dropping frames). damage=N: every N-th MJPEG frame damaged as USB cameras damage them.
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>

#include <dlfcn.h>
#include <linux/videodev2.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

// The frame module's maker: frame `number` of a mode into `out`; `style` 1 cuts an MJPEG frame
// short, 2 garbles its tables.
using MakeFrame = size_t (*)(uint32_t format, int width, int height, int64_t number, int style,
                             unsigned char* out, size_t capacity);

namespace {

struct Mode {
    uint32_t fourcc; // the frame maker's format
    uint32_t spaFormat;
    int width, height, fps;
    bool Mjpeg() const { return fourcc == V4L2_PIX_FMT_MJPEG; }
    int64_t Period() const { return 1000000000LL / fps; }
};

struct Camera {
    pw_main_loop* loop = nullptr;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    spa_source* timer = nullptr;
    std::vector<Mode> modes;
    Mode mode{};
    int skip = 0, damage = 0, stride = 0;
    int64_t start = 0, last = -1, pending = -1; // frame k is captured at start + k periods
    MakeFrame make = nullptr;
};

int64_t Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

bool ParseModes(const std::string& text, std::vector<Mode>& modes) {
    for (size_t pos = 0; pos < text.size();) {
        const size_t end = std::min(text.find(',', pos), text.size());
        char format[8] = {};
        Mode mode{};
        if (std::sscanf(text.substr(pos, end - pos).c_str(), "%7[^:]:%dx%d@%d", format, &mode.width,
                        &mode.height, &mode.fps) != 4 ||
            mode.fps <= 0)
            return false;
        const std::string name = format;
        mode.fourcc = name == "MJPG"   ? V4L2_PIX_FMT_MJPEG
                      : name == "NV12" ? V4L2_PIX_FMT_NV12
                                       : V4L2_PIX_FMT_YUYV;
        mode.spaFormat = name == "NV12" ? SPA_VIDEO_FORMAT_NV12 : SPA_VIDEO_FORMAT_YUY2;
        if (name != "MJPG" && name != "NV12" && name != "YUY2")
            return false;
        modes.push_back(mode);
        pos = end + 1;
    }
    return !modes.empty();
}

const spa_pod* EnumFormat(spa_pod_builder& b, const Mode& mode) {
    const spa_rectangle size{uint32_t(mode.width), uint32_t(mode.height)};
    const spa_fraction rate{uint32_t(mode.fps), 1};
    if (mode.Mjpeg()) {
        spa_video_info_mjpg info{};
        info.size = size, info.framerate = rate;
        return spa_format_video_mjpg_build(&b, SPA_PARAM_EnumFormat, &info);
    }
    spa_video_info_raw info{};
    info.format = spa_video_format(mode.spaFormat), info.size = size, info.framerate = rate;
    return spa_format_video_raw_build(&b, SPA_PARAM_EnumFormat, &info);
}

void OnParam(void* data, uint32_t id, const spa_pod* param) {
    auto& camera = *static_cast<Camera*>(data);
    uint32_t type = 0, subtype = 0;
    if (!param || id != SPA_PARAM_Format || spa_format_parse(param, &type, &subtype) < 0)
        return;
    spa_video_info_raw raw{};
    spa_video_info_mjpg mjpg{};
    if (subtype == SPA_MEDIA_SUBTYPE_mjpg)
        spa_format_video_mjpg_parse(param, &mjpg);
    else
        spa_format_video_raw_parse(param, &raw);
    const spa_rectangle size = subtype == SPA_MEDIA_SUBTYPE_mjpg ? mjpg.size : raw.size;
    for (const Mode& mode : camera.modes)
        if (mode.Mjpeg() == (subtype == SPA_MEDIA_SUBTYPE_mjpg) &&
            (mode.Mjpeg() || mode.spaFormat == raw.format) && mode.width == int(size.width) &&
            mode.height == int(size.height))
            camera.mode = mode;
    const Mode& mode = camera.mode;
    const int stride = camera.stride = mode.Mjpeg()                       ? 0
                                       : mode.fourcc == V4L2_PIX_FMT_NV12 ? mode.width
                                                                          : mode.width * 2;
    uint8_t buffer[512];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    spa_pod_frame frame{};
    const spa_pod* params[2];
    spa_pod_builder_push_object(&b, &frame, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers);
    spa_pod_builder_add(
        &b, SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks,
        SPA_POD_Int(1), SPA_PARAM_BUFFERS_size, SPA_POD_Int(mode.width * mode.height * 2),
        SPA_PARAM_BUFFERS_stride, SPA_POD_Int(stride), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr)), 0);
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &frame));
    spa_pod_builder_push_object(&b, &frame, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta);
    spa_pod_builder_add(&b, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
                        SPA_POD_Int(sizeof(spa_meta_header)), 0);
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &frame));
    pw_stream_update_params(camera.stream, params, 2);
}

void OnState(void* data, pw_stream_state, pw_stream_state state, const char*) {
    auto& camera = *static_cast<Camera*>(data);
    pw_loop* loop = pw_main_loop_get_loop(camera.loop);
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
        pw_main_loop_quit(camera.loop); // the daemon went away, and the node with it
    } else if (state == PW_STREAM_STATE_STREAMING) {
        camera.start = Now(), camera.last = -1;
        const int64_t period = camera.mode.Period();
        timespec first{0, 1}, every{period / 1000000000, long(period % 1000000000)};
        pw_loop_update_timer(loop, camera.timer, &first, &every, false);
    } else {
        pw_loop_update_timer(loop, camera.timer, nullptr, nullptr, false);
    }
}

// On the camera's clock: the frame due now, unless it was sent or is one the camera drops.
void OnTimer(void* data, uint64_t) {
    auto& camera = *static_cast<Camera*>(data);
    const int64_t number = (Now() - camera.start) / camera.mode.Period();
    if (number <= camera.last)
        return;
    camera.last = number;
    if (camera.skip > 0 && (number + 1) % camera.skip == 0)
        return;
    camera.pending = number;
    pw_stream_trigger_process(camera.stream);
}

void OnProcess(void* data) {
    auto& camera = *static_cast<Camera*>(data);
    pw_buffer* b = camera.pending >= 0 ? pw_stream_dequeue_buffer(camera.stream) : nullptr;
    if (!b)
        return;
    const Mode& mode = camera.mode;
    spa_data& out = b->buffer->datas[0];
    // Every damage-th MJPEG frame is damaged, alternately cut short and with garbled tables.
    const int64_t count = camera.pending + 1;
    const int style = camera.damage > 0 && count % camera.damage == 0
                          ? int(count / camera.damage % 2 ? 1 : 2)
                          : 0;
    const size_t size = out.data
                            ? camera.make(mode.fourcc, mode.width, mode.height, camera.pending,
                                          style, static_cast<unsigned char*>(out.data), out.maxsize)
                            : 0;
    *out.chunk = spa_chunk{0, uint32_t(size), camera.stride, 0};
    if (auto* header = static_cast<spa_meta_header*>(
            spa_buffer_find_meta_data(b->buffer, SPA_META_Header, sizeof(spa_meta_header))))
        *header = spa_meta_header{0, 0, camera.start + camera.pending * mode.Period(), 0,
                                  uint64_t(camera.pending)};
    camera.pending = -1;
    pw_stream_queue_buffer(camera.stream, b);
}

} // namespace

int main(int argc, char** argv) {
    Camera camera;
    std::string modes = "YUY2:640x480@30";
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        if (option.rfind("modes=", 0) == 0)
            modes = option.substr(6);
        else if (option.rfind("skip=", 0) == 0)
            camera.skip = std::stoi(option.substr(5));
        else if (option.rfind("damage=", 0) == 0)
            camera.damage = std::stoi(option.substr(7));
    }
    if (argc < 3 || !ParseModes(modes, camera.modes))
        return 2;
    camera.mode = camera.modes.front();
    void* frames = dlopen(FAKEV4L2_FRAMES, RTLD_NOW);
    camera.make =
        frames ? reinterpret_cast<MakeFrame>(dlsym(frames, "fakev4l2_make_frame")) : nullptr;
    if (!camera.make)
        return 1;
    pw_init(nullptr, nullptr);
    camera.loop = pw_main_loop_new(nullptr);
    camera.timer = pw_loop_add_timer(pw_main_loop_get_loop(camera.loop), OnTimer, &camera);
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = OnState;
    events.param_changed = OnParam;
    events.process = OnProcess;
    camera.stream = pw_stream_new_simple(
        pw_main_loop_get_loop(camera.loop), argv[1],
        pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_NODE_NAME, argv[1],
                          PW_KEY_NODE_DESCRIPTION, argv[2], PW_KEY_MEDIA_ROLE, "Camera", nullptr),
        &events, &camera);
    uint8_t buffer[4096];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    std::vector<const spa_pod*> params;
    for (const Mode& mode : camera.modes)
        params.push_back(EnumFormat(b, mode));
    const auto flags =
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS);
    if (pw_stream_connect(camera.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params.data(),
                          uint32_t(params.size())) < 0)
        return 1;
    pw_main_loop_run(camera.loop);
    return 1;
}
