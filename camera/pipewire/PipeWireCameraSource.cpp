// A PipeWire camera's stream: the formats offered, the frames copied out as they arrive (on the
// connection's loop thread), and their decoding on the reader's thread.
#include "camera/pipewire/PipeWireCameraSource.h"

#include "camera/pipewire/PipeWireConnection.h"
#include "camera/pipewire/PipeWireFormats.h"

#include <pipewire/pipewire.h>
#include <spa/debug/types.h>
#include <spa/param/video/format-utils.h>
#include <spa/param/video/type-info.h>

#include <QtGlobal>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Frames kept for a reader that comes late; older ones are dropped.
constexpr size_t kKeptFrames = 4;
// How often a waiting read looks whether the connection broke.
constexpr auto kWaitSlice = 100ms;
// A presentation time this close before the arrival is taken for CLOCK_MONOTONIC.
constexpr auto kMonotonicLag = 1s;

uint32_t FormatId(const QString& name) {
    return spa_debug_type_find_type_short(spa_type_video_format, name.toLatin1().constData());
}

QString FormatName(uint32_t id) {
    const char* name = spa_debug_type_find_short_name(spa_type_video_format, id);
    return name ? QString::fromLatin1(name) : QString();
}

// One EnumFormat: `mode`'s format and size at any rate near its own, or, for an empty mode, any
// format the program decodes at any size and rate.
const spa_pod* FormatParam(spa_pod_builder& b, const PipeWireMode& mode, bool mjpeg) {
    spa_pod_frame object{}, choice{};
    spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_add(&b, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
                        SPA_FORMAT_mediaSubtype,
                        SPA_POD_Id(mjpeg ? SPA_MEDIA_SUBTYPE_mjpg : SPA_MEDIA_SUBTYPE_raw), 0);
    if (!mjpeg) {
        spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_format, 0);
        spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Enum, 0);
        QList<uint32_t> ids;
        if (mode.width > 0)
            ids << FormatId(mode.format);
        for (const spa_type_info* type = spa_type_video_format; mode.width <= 0 && type->name;
             ++type)
            if (IsDecodedPipeWireFormat(QString::fromLatin1(spa_debug_type_short_name(type->name))))
                ids << type->type;
        spa_pod_builder_id(&b, ids.value(0)); // the default, then the alternatives
        for (uint32_t id : ids)
            spa_pod_builder_id(&b, id);
        spa_pod_builder_pop(&b, &choice);
    }
    const spa_rectangle size{uint32_t(std::max(mode.width, 1)), uint32_t(std::max(mode.height, 1))};
    const spa_rectangle largest{8192, 8192};
    if (mode.width > 0)
        spa_pod_builder_add(&b, SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), 0);
    else
        spa_pod_builder_add(&b, SPA_FORMAT_VIDEO_size,
                            SPA_POD_CHOICE_RANGE_Rectangle(&size, &size, &largest), 0);
    const spa_fraction rate = mode.rateNum > 0
                                  ? spa_fraction{uint32_t(mode.rateNum), uint32_t(mode.rateDen)}
                                  : spa_fraction{30, 1};
    const spa_fraction slowest{0, 1}, fastest{1000, 1};
    spa_pod_builder_add(&b, SPA_FORMAT_VIDEO_framerate,
                        SPA_POD_CHOICE_RANGE_Fraction(&rate, &slowest, &fastest), 0);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &object));
}

// What the stream asks of its buffers: memory it can map (not DMA buffers), and the header that
// carries each frame's time and flags.
void UpdateBufferParams(pw_stream* stream) {
    uint8_t buffer[512];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    spa_pod_frame frame{};
    const spa_pod* params[2];
    spa_pod_builder_push_object(&b, &frame, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers);
    spa_pod_builder_add(&b, SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(8, 2, 16),
                        SPA_PARAM_BUFFERS_dataType,
                        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd)),
                        0);
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &frame));
    spa_pod_builder_push_object(&b, &frame, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta);
    spa_pod_builder_add(&b, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
                        SPA_POD_Int(sizeof(spa_meta_header)), 0);
    params[1] = static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &frame));
    pw_stream_update_params(stream, params, 2);
}

// The mode a Format param settles on; empty for one the program does not take.
PipeWireMode ParseFormat(const spa_pod* param) {
    uint32_t mediaType = 0, mediaSubtype = 0;
    PipeWireMode mode;
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video)
        return mode;
    spa_rectangle size{};
    spa_fraction rate{};
    if (mediaSubtype == SPA_MEDIA_SUBTYPE_raw) {
        spa_video_info_raw raw{};
        if (spa_format_video_raw_parse(param, &raw) < 0)
            return mode;
        mode.format = FormatName(raw.format);
        size = raw.size, rate = raw.framerate;
    } else if (mediaSubtype == SPA_MEDIA_SUBTYPE_mjpg) {
        spa_video_info_mjpg mjpg{};
        if (spa_format_video_mjpg_parse(param, &mjpg) < 0)
            return mode;
        mode.format = kPipeWireMjpeg;
        size = mjpg.size, rate = mjpg.framerate;
    }
    if (!IsDecodedPipeWireFormat(mode.format))
        return {};
    mode.width = int(size.width), mode.height = int(size.height);
    mode.rateNum = int(rate.num), mode.rateDen = rate.denom > 0 ? int(rate.denom) : 1;
    return mode;
}

} // namespace

struct CPipeWireCameraSource::Stream {
    std::shared_ptr<CPipeWireCore> core;
    pw_stream* stream = nullptr;
    spa_hook listener{};

    std::mutex mutex; // guards what follows, between the loop thread and the reader
    std::condition_variable arrived;
    std::deque<PipeWireFrame> frames;
    std::vector<std::vector<uint8_t>> spare; // buffers of frames already taken, to fill again
    PipeWireMode mode;
    bool failed = false;

    // On the loop thread: copies one buffer out; false when there was none.
    bool CopyOne() {
        pw_buffer* b = pw_stream_dequeue_buffer(stream);
        if (!b)
            return false;
        PipeWireFrame frame;
        {
            std::lock_guard lock(mutex);
            frame.mode = mode;
            if (!spare.empty()) {
                frame.bytes = std::move(spare.back());
                spare.pop_back();
            }
        }
        frame.bytes.clear();
        const spa_buffer* buffer = b->buffer;
        if (const auto* header = static_cast<const spa_meta_header*>(
                spa_buffer_find_meta_data(buffer, SPA_META_Header, sizeof(spa_meta_header)))) {
            if (header->pts >= 0)
                frame.pts = header->pts;
            frame.corrupted = header->flags & SPA_META_HEADER_FLAG_CORRUPTED;
        }
        for (uint32_t i = 0; i < buffer->n_datas; ++i) { // planes, where a producer splits them
            const spa_data& data = buffer->datas[i];
            if (!data.data || !data.chunk)
                continue;
            frame.corrupted |= (data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) != 0;
            const uint32_t offset = std::min(data.chunk->offset, data.maxsize);
            const uint32_t size = std::min(data.chunk->size, data.maxsize - offset);
            if (frame.bytes.empty())
                frame.stride = size_t(std::max(data.chunk->stride, 0));
            const auto* from = static_cast<const uint8_t*>(data.data) + offset;
            frame.bytes.insert(frame.bytes.end(), from, from + size);
        }
        frame.arrived = Clock::now();
        pw_stream_queue_buffer(stream, b);
        std::lock_guard lock(mutex);
        if (frame.bytes.empty()) {
            spare.push_back(std::move(frame.bytes));
            return true;
        }
        frames.push_back(std::move(frame));
        for (; frames.size() > kKeptFrames; frames.pop_front())
            spare.push_back(std::move(frames.front().bytes));
        arrived.notify_all();
        return true;
    }

    static void OnProcess(void* data) {
        auto* self = static_cast<Stream*>(data);
        while (self->CopyOne()) {
        }
    }
    static void OnState(void* data, pw_stream_state, pw_stream_state state, const char* error) {
        auto* self = static_cast<Stream*>(data);
        if (state != PW_STREAM_STATE_ERROR && state != PW_STREAM_STATE_UNCONNECTED)
            return;
        if (error)
            qWarning("PipeWire camera: %s", error);
        std::lock_guard lock(self->mutex);
        self->failed = true;
        self->arrived.notify_all();
    }
    static void OnParam(void* data, uint32_t id, const spa_pod* param) {
        auto* self = static_cast<Stream*>(data);
        if (!param || id != SPA_PARAM_Format)
            return;
        const PipeWireMode mode = ParseFormat(param);
        {
            std::lock_guard lock(self->mutex);
            self->mode = mode;
        }
        UpdateBufferParams(self->stream);
    }
};

namespace {

const pw_stream_events kStreamEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = CPipeWireCameraSource::Stream::OnState;
    events.param_changed = CPipeWireCameraSource::Stream::OnParam;
    events.process = CPipeWireCameraSource::Stream::OnProcess;
    return events;
}();

std::optional<Clock::duration> Period(const PipeWireMode& mode) {
    if (mode.rateNum <= 0 || mode.rateDen <= 0)
        return std::nullopt; // a variable rate
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(double(mode.rateDen) / mode.rateNum));
}

} // namespace

Clock::time_point CPipeWireClock::ToSteady(int64_t pts, Clock::time_point arrived) {
    const int64_t arrivedNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(arrived.time_since_epoch()).count();
    const int64_t lag = arrivedNs - pts;
    if (!m_offset)
        m_offset = lag >= 0 && lag < std::chrono::nanoseconds(kMonotonicLag).count() ? 0 : lag;
    else if (*m_offset != 0 && lag < *m_offset)
        m_offset = lag;
    return Clock::time_point(
        std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(pts + *m_offset)));
}

CPipeWireCameraSource::CPipeWireCameraSource() : m_stream(std::make_unique<Stream>()) {}

std::unique_ptr<CPipeWireCameraSource> CPipeWireCameraSource::Open(const PipeWireCamera& camera,
                                                                   CPipeWireConnection& connection,
                                                                   const PipeWireMode& mode) {
    std::shared_ptr<CPipeWireCore> core = connection.Core();
    if (!core)
        return nullptr;
    std::unique_ptr<CPipeWireCameraSource> source(new CPipeWireCameraSource);
    Stream& stream = *source->m_stream;
    stream.core = core;
    uint8_t buffer[2048];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    QList<const spa_pod*> params;
    const bool mjpeg = mode.format == kPipeWireMjpeg;
    if (mode.width <= 0 || !mjpeg)
        params << FormatParam(b, mode, false);
    if (mode.width <= 0 || mjpeg)
        params << FormatParam(b, mode, true);
    // The stream finds its node by name, or by serial for a node without one; it is not moved to
    // another camera when its own goes away.
    const QByteArray target =
        (camera.nodeName.isEmpty() ? camera.serial : camera.nodeName).toUtf8();
    CPipeWireLock lock(*core);
    if (core->Dead())
        return nullptr;
    stream.stream = pw_stream_new(
        core->Core(), "VistrelCV",
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                          PW_KEY_MEDIA_ROLE, "Camera", PW_KEY_TARGET_OBJECT, target.constData(),
                          PW_KEY_NODE_DONT_RECONNECT, "true", nullptr));
    if (!stream.stream)
        return nullptr;
    pw_stream_add_listener(stream.stream, &stream.listener, &kStreamEvents, &stream);
    const auto flags =
        static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS);
    if (pw_stream_connect(stream.stream, PW_DIRECTION_INPUT, PW_ID_ANY, flags, params.data(),
                          uint32_t(params.size())) < 0)
        return nullptr;
    return source;
}

CPipeWireCameraSource::~CPipeWireCameraSource() {
    if (!m_stream->stream)
        return;
    CPipeWireLock lock(*m_stream->core);
    spa_hook_remove(&m_stream->listener);
    pw_stream_destroy(m_stream->stream);
}

FrameDamage CPipeWireCameraSource::Inspect(const PipeWireFrame& frame) {
    const std::vector<uint8_t>& bytes = frame.bytes;
    const cv::Size size(frame.mode.width, frame.mode.height);
    if (frame.corrupted)
        return FrameDamage::Flagged;
    if (frame.mode.format == kPipeWireMjpeg)
        return m_decoder.Check(bytes.data(), bytes.size(), size);
    const size_t needed = PipeWireFrameBytes(frame.mode.format, size, frame.stride);
    return needed > 0 && bytes.size() >= needed ? FrameDamage::None : FrameDamage::CutShort;
}

void CPipeWireCameraSource::Count(FrameDamage damage) {
    m_damage = damage;
    if (damage != FrameDamage::None)
        ++m_damaged[size_t(damage)];
}

bool CPipeWireCameraSource::Grab() {
    m_damage = FrameDamage::None;
    Stream& stream = *m_stream;
    const Clock::time_point start = Clock::now();
    for (;;) {
        std::unique_lock lock(stream.mutex);
        if (m_frame.bytes.capacity() > 0)
            stream.spare.push_back(std::move(m_frame.bytes));
        m_frame = {};
        const Clock::time_point deadline = start + CameraSilenceLimit(Period(stream.mode));
        stream.arrived.wait_until(lock, std::min(deadline, Clock::now() + kWaitSlice),
                                  [&] { return !stream.frames.empty() || stream.failed; });
        if (stream.failed || stream.core->Dead())
            return false;
        if (stream.frames.empty()) {
            if (Clock::now() >= deadline)
                return false;
            continue;
        }
        m_frame = std::move(stream.frames.front());
        stream.frames.pop_front();
        lock.unlock();
        // A damaged frame still tells that the camera sends: it is handed out as damaged.
        Count(Inspect(m_frame));
        m_captured =
            m_frame.pts ? m_clock.ToSteady(*m_frame.pts, m_frame.arrived) : m_frame.arrived;
        return true;
    }
}

bool CPipeWireCameraSource::Retrieve(cv::Mat& frame) {
    if (m_frame.bytes.empty() || m_damage != FrameDamage::None)
        return false;
    const PipeWireMode& mode = m_frame.mode;
    const cv::Size size(mode.width, mode.height);
    if (mode.format == kPipeWireMjpeg)
        Count(m_decoder.Decode(m_frame.bytes.data(), m_frame.bytes.size(), m_cover, frame, size));
    else
        Count(PipeWireRawToBgr(mode.format, size, m_frame.bytes.data(), m_frame.bytes.size(),
                               m_frame.stride, frame)
                  ? FrameDamage::None
                  : FrameDamage::Undecodable);
    return m_damage == FrameDamage::None;
}

std::optional<Clock::time_point> CPipeWireCameraSource::CaptureTime() const {
    return m_captured;
}

std::optional<Clock::duration> CPipeWireCameraSource::FramePeriod() const {
    return Period(Mode());
}

PipeWireMode CPipeWireCameraSource::Mode() const {
    std::lock_guard lock(m_stream->mutex);
    return m_stream->mode;
}

std::unique_ptr<CCameraSource> OpenPipeWireCamera(const QString& identity,
                                                  const PipeWireMode& mode) {
    const QList<PipeWireCamera> cameras = ListPipeWireCameras();
    const PipeWireCamera* camera = FindPipeWireCamera(cameras, identity);
    return camera ? CPipeWireCameraSource::Open(*camera, ProgramPipeWire(), mode) : nullptr;
}
