// A virtual microphone for the PipeWire tests: a real PipeWire client publishing an Audio/Source
// node, 48 kHz mono, silent but for a click at each whole second of the monotonic clock (the
// steady clock the test camera's flashes fall on), until it is killed.
//   pipewire_microphone_helper <node name> <description> [late]
// Like an ALSA source driven by PipeWire's graph, each cycle it hands over the sound of the
// quantum that ends at the cycle's time, and it adds no latency of its own. "late" makes it a
// client the scheduler keeps waiting, as on a busy machine: each second, at the half (away from
// the clicks), one cycle runs 60 ms late, and the graph, which waits for no follower, loses the
// sound of the cycles it missed.
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <cmath>
#include <ctime>
#include <string>

#include <unistd.h>

namespace {

constexpr int kRate = 48000;
constexpr int kClickSamples = 48; // 1 ms

struct Microphone {
    pw_main_loop* loop = nullptr;
    pw_stream* stream = nullptr;
    bool late = false;
    int64_t lateSecond = -1;
};

int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void OnProcess(void* data) {
    auto* microphone = static_cast<Microphone*>(data);
    const int64_t now = MonotonicNs();
    if (microphone->late && now % 1000000000 >= 500000000 &&
        now / 1000000000 != microphone->lateSecond) {
        microphone->lateSecond = now / 1000000000;
        usleep(60000);
    }
    pw_buffer* buffer = pw_stream_dequeue_buffer(microphone->stream);
    if (!buffer)
        return;
    spa_data& plane = buffer->buffer->datas[0];
    auto* samples = static_cast<float*>(plane.data);
    if (!samples)
        return;
    uint32_t count = plane.maxsize / sizeof(float);
    if (buffer->requested)
        count = std::min<uint32_t>(count, uint32_t(buffer->requested));
    pw_time time{};
    pw_stream_get_time_n(microphone->stream, &time, sizeof time);
    const int64_t end = time.now > 0 ? time.now : MonotonicNs();
    const int64_t first = end - int64_t(count) * 1000000000 / kRate; // the first sample's time
    for (uint32_t i = 0; i < count; ++i) {
        const int64_t at = first + int64_t(i) * 1000000000 / kRate;
        const int64_t sinceSecond = at % 1000000000;
        samples[i] = sinceSecond < int64_t(kClickSamples) * 1000000000 / kRate ? 0.9f : 0.0f;
    }
    plane.chunk->offset = 0;
    plane.chunk->stride = sizeof(float);
    plane.chunk->size = count * sizeof(float);
    pw_stream_queue_buffer(microphone->stream, buffer);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 4 && std::string(argv[3]) == "late"))
        return 2;
    pw_init(nullptr, nullptr);
    Microphone microphone;
    microphone.late = argc == 4;
    microphone.loop = pw_main_loop_new(nullptr);
    pw_properties* props = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CLASS, "Audio/Source", PW_KEY_NODE_NAME, argv[1],
        PW_KEY_NODE_DESCRIPTION, argv[2], PW_KEY_NODE_LATENCY, "1024/48000", nullptr);
    static pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.process = OnProcess;
    microphone.stream = pw_stream_new_simple(pw_main_loop_get_loop(microphone.loop), argv[1], props,
                                             &events, &microphone);
    uint8_t pod[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(pod, sizeof pod);
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = kRate;
    info.channels = 1;
    const spa_pod* params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    if (pw_stream_connect(microphone.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                          pw_stream_flags(PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS),
                          params, 1) < 0)
        return 1;
    pw_main_loop_run(microphone.loop);
    return 0;
}
