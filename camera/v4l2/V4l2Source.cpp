// Streaming from a V4L2 capture node with memory-mapped buffers.
#include "camera/v4l2/V4l2Source.h"

#include <QFile>

#include <opencv2/imgproc.hpp>

#include <cerrno>
#include <cstring>

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
// A camera that has sent nothing whole for this long has failed.
constexpr auto kSilenceLimit = std::chrono::seconds(2);

int Ioctl(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

double HighestRate(int fd, uint32_t fourcc, uint32_t width, uint32_t height) {
    double best = 0;
    v4l2_frmivalenum interval{};
    interval.pixel_format = fourcc;
    interval.width = width;
    interval.height = height;
    for (interval.index = 0; Ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) == 0;
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

void AddSizes(int fd, uint32_t fourcc, QList<CameraMode>& modes) {
    v4l2_frmsizeenum size{};
    size.pixel_format = fourcc;
    for (size.index = 0; Ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
        if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) {
            // A sensor of any size: offer its largest, which the choice may still scale down.
            const uint32_t w = size.stepwise.max_width, h = size.stepwise.max_height;
            modes << CameraMode{fourcc, QSize(int(w), int(h)), HighestRate(fd, fourcc, w, h)};
            return;
        }
        const uint32_t w = size.discrete.width, h = size.discrete.height;
        modes << CameraMode{fourcc, QSize(int(w), int(h)), HighestRate(fd, fourcc, w, h)};
    }
}

QList<uint32_t> Formats(int fd) {
    QList<uint32_t> formats;
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (format.index = 0; Ioctl(fd, VIDIOC_ENUM_FMT, &format) == 0; ++format.index)
        formats << format.pixelformat;
    return formats;
}

void SetRate(int fd, double fps) {
    if (fps <= 0)
        return;
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parm.parm.capture.timeperframe.numerator = 1000;
    parm.parm.capture.timeperframe.denominator = uint32_t(fps * 1000 + 0.5);
    Ioctl(fd, VIDIOC_S_PARM, &parm); // a camera with one rate refuses; its rate is the one
}

Clock::time_point ToSteady(const v4l2_buffer& buffer) {
    if ((buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) != V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC)
        return Clock::now();
    // The driver stamps with CLOCK_MONOTONIC, the clock of steady_clock on Linux.
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
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Ioctl(m_fd, VIDIOC_G_FMT, &format) != 0)
        return false;
    if (mode) {
        format.fmt.pix.pixelformat = mode->fourcc;
        format.fmt.pix.width = uint32_t(mode->size.width());
        format.fmt.pix.height = uint32_t(mode->size.height());
        format.fmt.pix.field = V4L2_FIELD_ANY;
        if (Ioctl(m_fd, VIDIOC_S_FMT, &format) != 0)
            return false;
        SetRate(m_fd, mode->fps);
    }
    m_fourcc = format.fmt.pix.pixelformat;
    m_size = cv::Size(int(format.fmt.pix.width), int(format.fmt.pix.height));
    m_nStride = std::max<size_t>(format.fmt.pix.bytesperline, size_t(m_size.width) * 2);
    if (!IsUsableFormat(m_fourcc))
        return false;

    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (Ioctl(m_fd, VIDIOC_REQBUFS, &request) != 0 || request.count == 0) {
        if (errno == EBUSY && failure)
            *failure = CameraOpenFailure::Busy;
        return false;
    }
    for (unsigned i = 0; i < request.count; ++i) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (Ioctl(m_fd, VIDIOC_QUERYBUF, &buffer) != 0)
            return false;
        void* start = ::mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd,
                             buffer.m.offset);
        if (start == MAP_FAILED)
            return false;
        m_buffers.push_back({start, buffer.length});
        if (Ioctl(m_fd, VIDIOC_QBUF, &buffer) != 0)
            return false;
    }
    m_controls->WriteBeforeStream(); // now that the camera is ours, not another program's
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Ioctl(m_fd, VIDIOC_STREAMON, &type) != 0) {
        // The USB host controller cannot reserve the bandwidth this mode needs.
        if (errno == ENOSPC && failure)
            *failure = CameraOpenFailure::Bandwidth;
        return false;
    }
    m_bStreaming = true;
    return true;
}

CV4l2Source::~CV4l2Source() {
    if (m_bStreaming) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        Ioctl(m_fd, VIDIOC_STREAMOFF, &type);
    }
    for (const Buffer& buffer : m_buffers)
        ::munmap(buffer.start, buffer.length);
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CV4l2Source::Requeue() {
    if (m_nDequeued < 0)
        return true;
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = uint32_t(m_nDequeued);
    m_nDequeued = -1;
    return Ioctl(m_fd, VIDIOC_QBUF, &buffer) == 0;
}

bool CV4l2Source::WholeFrame(size_t bytes) const {
    const auto* data = static_cast<const uint8_t*>(m_buffers[size_t(m_nDequeued)].start);
    if (IsMjpegFormat(m_fourcc))
        return bytes >= 4 && data[0] == 0xFF && data[1] == 0xD8 && HasJpegEnd(data, bytes);
    return bytes >= m_nStride * size_t(m_size.height);
}

bool CV4l2Source::Grab() {
    m_bDamaged = false;
    if (!Requeue())
        return false;
    const Clock::time_point deadline = Clock::now() + kSilenceLimit;
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
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (Ioctl(m_fd, VIDIOC_DQBUF, &buffer) != 0) {
            if (errno == EAGAIN)
                continue;
            return false; // ENODEV, EIO: the camera is gone or failed
        }
        m_nDequeued = int(buffer.index);
        m_nBytes = buffer.bytesused;
        if ((buffer.flags & V4L2_BUF_FLAG_ERROR) || !WholeFrame(m_nBytes)) {
            ++m_nDamaged; // lost packets: dropped here, without decoding
            if (!Requeue())
                return false;
            continue;
        }
        m_captured = ToSteady(buffer);
        return true;
    }
    return false;
}

bool CV4l2Source::Retrieve(cv::Mat& frame) {
    if (m_nDequeued < 0)
        return false;
    const auto* data = static_cast<const uint8_t*>(m_buffers[size_t(m_nDequeued)].start);
    bool ok = false;
    if (IsMjpegFormat(m_fourcc)) {
        ok = m_decoder.Decode(data, m_nBytes, m_cover, frame);
    } else {
        const cv::Mat yuyv(m_size, CV_8UC2, const_cast<uint8_t*>(data), m_nStride);
        cv::cvtColor(yuyv, frame, cv::COLOR_YUV2BGR_YUYV);
        ok = true;
    }
    if (!ok) {
        m_bDamaged = true;
        ++m_nDamaged;
    }
    return ok;
}

std::optional<Clock::time_point> CV4l2Source::CaptureTime() const {
    return m_captured;
}
