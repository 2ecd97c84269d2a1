// Streaming from a V4L2 capture node with memory-mapped buffers.
#include "camera/v4l2/V4l2Source.h"

#include "camera/v4l2/DriverTime.h"
#include "camera/v4l2/V4l2Devices.h"
#include "camera/v4l2/V4l2Frames.h"

#include <QFile>

#include <QStringList>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The usual depth of a webcam driver's queue: a reader a few frames late loses nothing.
constexpr unsigned kBufferCount = 4;
// The frame period taken for a driver that does not tell its rate.
constexpr auto kUnknownPeriod = std::chrono::milliseconds(100);
// No sensor is larger; a driver's range is cut to it.
constexpr uint32_t kLargestSide = 16384;

double HighestRate(int fd, uint32_t fourcc, uint32_t width, uint32_t height) {
    double best = 0;
    v4l2_frmivalenum interval{};
    interval.pixel_format = fourcc;
    interval.width = width;
    interval.height = height;
    for (interval.index = 0; V4l2Ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) == 0;
         ++interval.index) {
        // Stepwise and continuous ranges list their shortest interval first.
        const v4l2_fract& f =
            interval.type == V4L2_FRMIVAL_TYPE_DISCRETE ? interval.discrete : interval.stepwise.min;
        if (f.numerator > 0)
            best = std::max(best, double(f.denominator) / f.numerator);
        if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE)
            break;
    }
    return best;
}

QSize ToSize(uint32_t width, uint32_t height) {
    return QSize(int(std::min(width, kLargestSide)), int(std::min(height, kLargestSide)));
}

void AddSizes(int fd, uint32_t fourcc, QList<CameraMode>& modes) {
    QList<QSize> sizes;
    v4l2_frmsizeenum size{};
    size.pixel_format = fourcc;
    for (size.index = 0; V4l2Ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            sizes << ToSize(size.discrete.width, size.discrete.height);
            continue;
        }
        // A range, listed once (stepwise, or continuous with a step of 1): its common sizes.
        const v4l2_frmsize_stepwise& range = size.stepwise;
        sizes << SizesInRange(ToSize(range.min_width, range.min_height),
                              ToSize(range.max_width, range.max_height),
                              ToSize(range.step_width, range.step_height));
        break;
    }
    for (QSize s : sizes) {
        const double fps = HighestRate(fd, fourcc, uint32_t(s.width()), uint32_t(s.height()));
        modes << CameraMode{fourcc, s, fps};
    }
}

// The rate the driver runs at now (VIDIOC_G_PARM); 0 when it does not say.
double DriverRate(int fd, uint32_t type) {
    v4l2_streamparm parm{};
    parm.type = type;
    if (V4l2Ioctl(fd, VIDIOC_G_PARM, &parm) != 0)
        return 0;
    const v4l2_fract& t = parm.parm.capture.timeperframe;
    return t.numerator > 0 ? double(t.denominator) / t.numerator : 0;
}

bool IsMultiPlanar(uint32_t type) {
    return type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;
}

// The node's capture buffer type: multi-planar on a node that captures only that way.
uint32_t CaptureType(int fd) {
    v4l2_capability cap{};
    if (V4l2Ioctl(fd, VIDIOC_QUERYCAP, &cap) != 0)
        return V4L2_BUF_TYPE_VIDEO_CAPTURE;
    const uint32_t caps =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    return !(caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_VIDEO_CAPTURE_MPLANE)
               ? V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE
               : V4L2_BUF_TYPE_VIDEO_CAPTURE;
}

// A buffer argument of the node's type; a multi-planar one carries its one plane (formats of
// several planes are not among those the program reads).
struct BufferArgument {
    v4l2_buffer buffer{};
    v4l2_plane plane{};
    explicit BufferArgument(uint32_t type, uint32_t index = 0) {
        buffer.type = type;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        if (IsMultiPlanar(type)) {
            buffer.length = 1;
            buffer.m.planes = &plane;
        }
    }
    BufferArgument(const BufferArgument&) = delete;
    BufferArgument& operator=(const BufferArgument&) = delete;
    bool Multi() const { return IsMultiPlanar(buffer.type); }
    size_t Length() const { return Multi() ? plane.length : buffer.length; }
    off_t MapOffset() const { return off_t(Multi() ? plane.m.mem_offset : buffer.m.offset); }
    size_t DataOffset() const { return Multi() ? plane.data_offset : 0; }
    size_t Used() const { return Multi() ? plane.bytesused : buffer.bytesused; }
};

QList<uint32_t> Formats(int fd) {
    QList<uint32_t> formats;
    v4l2_fmtdesc format{};
    format.type = CaptureType(fd);
    for (format.index = 0; V4l2Ioctl(fd, VIDIOC_ENUM_FMT, &format) == 0; ++format.index)
        formats << format.pixelformat;
    return formats;
}

// False only when the camera is busy; a camera with one rate refuses, and its rate is the one.
bool SetRate(int fd, uint32_t type, double fps) {
    if (fps <= 0)
        return true;
    v4l2_streamparm parm{};
    parm.type = type;
    parm.parm.capture.timeperframe.numerator = 1000;
    parm.parm.capture.timeperframe.denominator = uint32_t(fps * 1000 + 0.5);
    return V4l2Ioctl(fd, VIDIOC_S_PARM, &parm) == 0 || errno != EBUSY;
}

// A step of the start that failed. uvcvideo refuses every step that would change the stream
// (S_FMT, S_PARM, REQBUFS, STREAMON) with EBUSY while another file streams from the camera: that
// camera is busy, not missing.
bool StartFailed(CameraOpenFailure* failure) {
    if (errno == EBUSY && failure)
        *failure = CameraOpenFailure::Busy;
    return false;
}

// The driver's timestamp, when it says it stamps with CLOCK_MONOTONIC (the clock of steady_clock
// on Linux); a copied or unknown one is on no clock of ours.
std::optional<Clock::time_point> ToSteady(const v4l2_buffer& buffer) {
    if ((buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) != V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC)
        return std::nullopt;
    const auto since = std::chrono::seconds(buffer.timestamp.tv_sec) +
                       std::chrono::microseconds(buffer.timestamp.tv_usec);
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(since));
}

} // namespace

QList<CameraMode> ListV4l2Modes(int fd) {
    QList<CameraMode> modes;
    for (uint32_t fourcc : Formats(fd)) {
        if (IsUsableFormat(fourcc))
            AddSizes(fd, fourcc, modes);
    }
    // A driver that lists no rates (no VIDIOC_ENUM_FRAMEINTERVALS) runs at the rate it has.
    const auto unrated = [](const CameraMode& mode) { return mode.fps <= 0; };
    if (std::any_of(modes.begin(), modes.end(), unrated)) {
        const double rate = DriverRate(fd, CaptureType(fd));
        for (CameraMode& mode : modes)
            mode.fps = unrated(mode) ? rate : mode.fps;
    }
    return modes;
}

QList<CameraMode> ListV4l2Modes(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    QList<CameraMode> modes = ListV4l2Modes(fd);
    ::close(fd);
    return modes;
}

bool HasUsableV4l2Format(int fd) {
    const QList<uint32_t> formats = Formats(fd);
    return std::any_of(formats.begin(), formats.end(), IsUsableFormat);
}

QString V4l2FormatNames(int fd) {
    QStringList names;
    for (uint32_t fourcc : Formats(fd))
        names << QString::fromLatin1(reinterpret_cast<const char*>(&fourcc), 4).trimmed();
    return names.join(QLatin1String(", "));
}

std::unique_ptr<CV4l2Source> CV4l2Source::Open(const QString& path,
                                               const std::optional<CameraMode>& mode,
                                               CameraOpenFailure* failure,
                                               const CameraControlValues& controls) {
    std::unique_ptr<CV4l2Source> source(new CV4l2Source);
    source->m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (source->m_fd >= 0)
        source->m_controls = std::make_unique<CV4l2Controls>(source->m_fd, controls);
    if (source->m_fd < 0 || !source->Start(mode, failure))
        return nullptr;
    return source;
}

bool CV4l2Source::Start(const std::optional<CameraMode>& mode, CameraOpenFailure* failure) {
    m_type = CaptureType(m_fd);
    const bool multi = IsMultiPlanar(m_type);
    v4l2_format format{};
    format.type = m_type;
    if (V4l2Ioctl(m_fd, VIDIOC_G_FMT, &format) != 0)
        return false;
    if (mode && multi) {
        format.fmt.pix_mp.pixelformat = mode->fourcc;
        format.fmt.pix_mp.width = uint32_t(mode->size.width());
        format.fmt.pix_mp.height = uint32_t(mode->size.height());
        format.fmt.pix_mp.field = V4L2_FIELD_ANY;
    } else if (mode) {
        format.fmt.pix.pixelformat = mode->fourcc;
        format.fmt.pix.width = uint32_t(mode->size.width());
        format.fmt.pix.height = uint32_t(mode->size.height());
        format.fmt.pix.field = V4L2_FIELD_ANY;
    }
    if (mode) {
        if (V4l2Ioctl(m_fd, VIDIOC_S_FMT, &format) != 0 || !SetRate(m_fd, m_type, mode->fps))
            return StartFailed(failure);
    }
    const double fps = DriverRate(m_fd, m_type);
    m_period =
        fps > 0
            ? std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / fps))
            : Clock::duration(kUnknownPeriod);
    const v4l2_pix_format_mplane& mp = format.fmt.pix_mp;
    m_fourcc = multi ? mp.pixelformat : format.fmt.pix.pixelformat;
    m_size = multi ? cv::Size(int(mp.width), int(mp.height))
                   : cv::Size(int(format.fmt.pix.width), int(format.fmt.pix.height));
    m_nStride = std::max<size_t>(multi ? mp.plane_fmt[0].bytesperline : format.fmt.pix.bytesperline,
                                 MinimumLineBytes(m_fourcc, m_size.width));
    if (!IsUsableFormat(m_fourcc) || (multi && mp.num_planes != 1))
        return false;
    if (IsH264Format(m_fourcc))
        m_h264 = std::make_unique<CH264Decoder>();

    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = m_type;
    request.memory = V4L2_MEMORY_MMAP;
    if (V4l2Ioctl(m_fd, VIDIOC_REQBUFS, &request) != 0)
        return StartFailed(failure);
    if (request.count == 0)
        return false;
    for (unsigned i = 0; i < request.count; ++i) {
        BufferArgument buffer(m_type, i);
        if (V4l2Ioctl(m_fd, VIDIOC_QUERYBUF, &buffer.buffer) != 0)
            return false;
        void* start = ::mmap(nullptr, buffer.Length(), PROT_READ | PROT_WRITE, MAP_SHARED, m_fd,
                             buffer.MapOffset());
        if (start == MAP_FAILED)
            return false;
        m_buffers.push_back({start, buffer.Length(), Clock::now()});
        if (V4l2Ioctl(m_fd, VIDIOC_QBUF, &buffer.buffer) != 0)
            return false;
    }
    m_controls->WriteBeforeStream(); // now that the camera is ours, not another program's
    int type = int(m_type);
    if (V4l2Ioctl(m_fd, VIDIOC_STREAMON, &type) != 0) {
        // The USB host controller cannot reserve the bandwidth this mode needs.
        if (errno == ENOSPC && failure)
            *failure = CameraOpenFailure::Bandwidth;
        return StartFailed(failure);
    }
    m_bStreaming = true;
    return true;
}

CV4l2Source::~CV4l2Source() {
    if (m_bStreaming) {
        int type = int(m_type);
        V4l2Ioctl(m_fd, VIDIOC_STREAMOFF, &type);
    }
    for (const Buffer& buffer : m_buffers)
        ::munmap(buffer.start, buffer.length);
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CV4l2Source::Requeue() {
    if (m_nDequeued < 0)
        return true;
    BufferArgument buffer(m_type, uint32_t(m_nDequeued));
    m_buffers[size_t(m_nDequeued)].queued = Clock::now();
    m_nDequeued = -1;
    return V4l2Ioctl(m_fd, VIDIOC_QBUF, &buffer.buffer) == 0;
}

// Whether the frame the driver gave is whole, before anyone decodes it: raw frames by their
// length, MJPEG by its markers and header; H264 is decoded here, as the next frames need it.
FrameDamage CV4l2Source::Inspect(const uint8_t* data) {
    if (IsMjpegFormat(m_fourcc))
        return m_decoder.Check(data, m_nBytes, m_size);
    if (m_h264)
        return m_h264->Decode(data, m_nBytes, m_size);
    return m_nBytes >= RawFrameBytes(m_fourcc, m_size, m_nStride) ? FrameDamage::None
                                                                  : FrameDamage::CutShort;
}

void CV4l2Source::Count(FrameDamage damage) {
    m_damage = damage;
    if (damage != FrameDamage::None)
        ++m_damaged[size_t(damage)];
}

bool CV4l2Source::Grab() {
    m_damage = FrameDamage::None;
    if (!Requeue())
        return false;
    // A camera that has sent nothing for its silence limit has failed.
    const Clock::time_point deadline = Clock::now() + CameraSilenceLimit(m_period);
    while (Clock::now() < deadline) {
        pollfd ready{m_fd, POLLIN, 0};
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const int polled = ::poll(&ready, 1, int(std::max<int64_t>(1, wait.count())));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled < 0 || (ready.revents & (POLLERR | POLLHUP | POLLNVAL)))
            return false; // unplugged or broken
        if (polled == 0)
            continue;
        BufferArgument buffer(m_type);
        if (V4l2Ioctl(m_fd, VIDIOC_DQBUF, &buffer.buffer) != 0) {
            if (errno == EAGAIN)
                continue;
            return false; // ENODEV, EIO: the camera is gone or failed
        }
        m_nDequeued = int(buffer.buffer.index);
        const size_t length = m_buffers[size_t(m_nDequeued)].length;
        m_nOffset = std::min(buffer.DataOffset(), length);
        m_nBytes = std::min(buffer.Used(), length) - std::min(buffer.Used(), m_nOffset);
        m_captured = CaptureTimeOf(buffer.buffer);
        // uvcvideo counts every frame the camera sends, also those it had no buffer for: a gap in
        // the numbers is frames lost while the program was late.
        if (m_lastSequence && buffer.buffer.sequence - *m_lastSequence - 1 < 1000000)
            m_missed += buffer.buffer.sequence - *m_lastSequence - 1;
        m_lastSequence = buffer.buffer.sequence;
        // A damaged frame still tells that the camera sends: it is handed out as damaged.
        const auto* data = static_cast<const uint8_t*>(m_buffers[size_t(m_nDequeued)].start);
        Count((buffer.buffer.flags & V4L2_BUF_FLAG_ERROR) ? FrameDamage::Flagged
                                                          : Inspect(data + m_nOffset));
        return true;
    }
    return false;
}

bool CV4l2Source::Retrieve(cv::Mat& frame) {
    if (m_nDequeued < 0 || m_damage != FrameDamage::None)
        return false;
    const auto* data =
        static_cast<const uint8_t*>(m_buffers[size_t(m_nDequeued)].start) + m_nOffset;
    if (IsMjpegFormat(m_fourcc))
        Count(m_decoder.Decode(data, m_nBytes, m_cover, frame, m_size));
    else if (m_h264)
        Count(m_h264->Picture(frame) ? FrameDamage::None : FrameDamage::Undecodable);
    else
        Count(ConvertRawFrame(m_fourcc, data, m_size, m_nStride, frame) ? FrameDamage::None
                                                                        : FrameDamage::Undecodable);
    return m_damage == FrameDamage::None;
}

// The driver's timestamp while it is plausible; else none, and the reader takes its own clock.
std::optional<Clock::time_point> CV4l2Source::CaptureTimeOf(const v4l2_buffer& buffer) {
    const std::optional<Clock::time_point> stamp = ToSteady(buffer);
    const std::optional<Clock::time_point> previous = std::exchange(m_lastStamp, stamp);
    if (!stamp || !PlausibleDriverTime(*stamp, m_buffers[buffer.index].queued, Clock::now(),
                                       previous, m_period))
        return std::nullopt;
    return stamp;
}

std::optional<Clock::time_point> CV4l2Source::CaptureTime() const {
    return m_captured;
}
