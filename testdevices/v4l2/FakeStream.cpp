#include "FakeStream.h"

#include "Libc.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <utility>

namespace {

constexpr int64_t kSecond = 1'000'000'000;
// How soon a waiting DQBUF or poll notices that the node file changed.
constexpr int64_t kLookAgain = kSecond / 50;

int64_t Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * kSecond + t.tv_nsec;
}

void SleepFor(int64_t ns) {
    const timespec t{time_t(ns / kSecond), long(ns % kSecond)};
    nanosleep(&t, nullptr);
}

std::string ReadFile(const std::string& path) {
    std::string text;
    const int fd = libc::Open(path.c_str(), O_RDONLY | O_CLOEXEC);
    char chunk[4096];
    for (ssize_t n; fd >= 0 && (n = read(fd, chunk, sizeof chunk)) > 0;)
        text.append(chunk, size_t(n));
    if (fd >= 0)
        libc::Close(fd);
    return text;
}

using MakeFrame = size_t (*)(uint32_t format, int width, int height, int64_t number, int style,
                             unsigned char* out, size_t capacity);

// What frame `number` suffers on a node that damages every `every`-th MJPEG frame, by turns as
// uvcvideo hands damaged frames out: cut short (packets lost at the end, no end marker), garbled
// (bit errors over the header's tables), or whole but flagged: uvc_video.c sets
// V4L2_BUF_FLAG_ERROR on a frame that had a packet error and, with nodrop, still returns it with
// its payload and bytesused. 0: whole; 1 and 2 go to the frame maker; 3: flagged.
int DamageOf(int64_t number, int every) {
    if (every <= 0 || (number + 1) % every != 0)
        return 0;
    return int((number + 1) / every % 3) + 1;
}

// The frames come from a module beside this library, loaded when the first stream starts: it
// brings OpenCV, which most processes that preload this library never need.
MakeFrame FrameMaker() {
    static const MakeFrame maker = [] {
        Dl_info self{};
        dladdr(reinterpret_cast<void*>(&FrameMaker), &self);
        std::string path = self.dli_fname ? self.dli_fname : "";
        path = path.substr(0, path.rfind('/') + 1) + "libfakev4l2frames.so";
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module)
            std::fprintf(stderr, "fakev4l2: %s\n", dlerror());
        return module ? reinterpret_cast<MakeFrame>(dlsym(module, "fakev4l2_make_frame")) : nullptr;
    }();
    return maker;
}

} // namespace

CFakeStream::CFakeStream(std::string node, int fd) : m_node(std::move(node)), m_fd(fd) {
    Refresh();
    m_mode.format = m_spec.formats.front();
    m_mode.size = m_spec.sizes.front();
    m_mode.fps = ModeRates(m_mode.format, m_mode.size).front();
}

CFakeStream::~CFakeStream() {
    FreeBuffers();
    Unlock();
}

int CFakeStream::Ioctl(unsigned int request, void* arg) {
    std::unique_lock lock(m_mutex);
    if (!Refresh())
        return ENODEV;
    Advance(Now());
    SeeMode();
    switch (request) {
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT:
    case VIDIOC_TRY_FMT:
        return Format(request, *static_cast<v4l2_format*>(arg));
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM:
        return Parm(request == VIDIOC_S_PARM, *static_cast<v4l2_streamparm*>(arg));
    case VIDIOC_REQBUFS:
        return RequestBuffers(*static_cast<v4l2_requestbuffers*>(arg));
    case VIDIOC_QUERYBUF: {
        auto& b = *static_cast<v4l2_buffer*>(arg);
        return Find(b) ? Describe(b.index, b), 0 : EINVAL;
    }
    case VIDIOC_QBUF:
        return Queue(*static_cast<v4l2_buffer*>(arg));
    case VIDIOC_DQBUF:
        return Dequeue(*static_cast<v4l2_buffer*>(arg), lock);
    case VIDIOC_STREAMON:
        return StreamOn(*static_cast<int*>(arg));
    case VIDIOC_STREAMOFF:
        return StreamOff(*static_cast<int*>(arg));
    case VIDIOC_QUERY_EXT_CTRL:
    case VIDIOC_QUERYMENU:
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL:
    case VIDIOC_SUBSCRIBE_EVENT:
    case VIDIOC_UNSUBSCRIBE_EVENT:
    case VIDIOC_DQEVENT:
        return m_spec.metadata ? AnswerQuery(m_spec, request, arg) : m_controls.Ioctl(request, arg);
    default:
        return AnswerQuery(m_spec, request, arg);
    }
}

void* CFakeStream::Map(void* addr, size_t length, int prot, int flags, off_t offset) {
    std::lock_guard lock(m_mutex);
    int error = 0;
    if (!Refresh())
        error = ENODEV;
    else if (!(flags & MAP_SHARED) || m_buffers.empty() || offset < 0 ||
             size_t(offset) % m_bufferSize || size_t(offset) / m_bufferSize >= m_buffers.size() ||
             length > m_bufferSize)
        error = EINVAL;
    if (error) {
        errno = error;
        return MAP_FAILED;
    }
    return libc::Mmap(addr, length, prot, flags, m_memory, offset);
}

short CFakeStream::Poll(short events, int64_t& wake) {
    std::lock_guard lock(m_mutex);
    if (!Refresh())
        return POLLERR | POLLHUP;
    Advance(Now());
    if (!m_streaming || m_spec.eio) // as the kernel's queue: nothing to wait for
        return POLLERR;
    if (!m_done.empty())
        return events & (POLLIN | POLLRDNORM);
    wake = std::min(wake, Due(m_next));
    return 0;
}

bool CFakeStream::Refresh() {
    struct stat now {};
    if (m_gone || stat(m_node.c_str(), &now) != 0)
        return !(m_gone = true);
    if (now.st_ino != m_seen.st_ino || now.st_size != m_seen.st_size ||
        now.st_mtim.tv_sec != m_seen.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != m_seen.st_mtim.tv_nsec) {
        m_seen = now;
        m_spec = ParseDeviceSpec(ReadFile(m_node));
    }
    return true;
}

bool CFakeStream::IsCapture(uint32_t type) const {
    return type == CaptureType(m_spec) && !m_spec.metadata;
}

int CFakeStream::Format(unsigned int request, v4l2_format& f) {
    if (!IsCapture(f.type))
        return EINVAL;
    // uvcvideo (uvc_ioctl_s_fmt): the file takes the stream (uvc_acquire_privileges), refused
    // while another file has it; and no new format while buffers are allocated.
    if (request == VIDIOC_S_FMT && (!m_buffers.empty() || !Lock()))
        return EBUSY;
    Mode mode = m_mode;
    if (request != VIDIOC_G_FMT) {
        const auto& formats = m_spec.formats;
        const uint32_t wanted = f.fmt.pix.pixelformat;
        mode.format = std::count(formats.begin(), formats.end(), wanted) ? wanted : formats[0];
        mode.size = NearestSize(m_spec, {int(f.fmt.pix.width), int(f.fmt.pix.height)});
        mode.fps = ModeRates(mode.format, mode.size).front();
        if (request == VIDIOC_S_FMT) {
            m_mode = mode;
            ShareMode();
        }
    }
    v4l2_pix_format& pix = f.fmt.pix;
    pix = {};
    pix.width = mode.size.width;
    pix.height = mode.size.height;
    pix.pixelformat = mode.format;
    pix.field = V4L2_FIELD_NONE;
    pix.bytesperline = LineBytes(mode.format, mode.size);
    pix.sizeimage = FrameBytes(mode.format, mode.size);
    pix.colorspace = V4L2_COLORSPACE_SRGB; // YUYV: BT.601, limited range (the defaults)
    if (m_spec.mplane) { // the same fields, the line and frame sizes per plane (here one)
        v4l2_pix_format_mplane mp{};
        mp.width = pix.width, mp.height = pix.height, mp.pixelformat = pix.pixelformat;
        mp.field = pix.field, mp.colorspace = pix.colorspace, mp.num_planes = 1;
        mp.plane_fmt[0].sizeimage = pix.sizeimage, mp.plane_fmt[0].bytesperline = pix.bytesperline;
        f.fmt.pix_mp = mp;
    }
    return 0;
}

int CFakeStream::Parm(bool set, v4l2_streamparm& p) {
    if (!IsCapture(p.type))
        return EINVAL;
    if (set && (m_streaming || !Lock())) // uvcvideo (uvc_ioctl_s_parm): as S_FMT
        return EBUSY;
    if (set) {
        const v4l2_fract t = p.parm.capture.timeperframe;
        const double wanted = t.numerator && t.denominator ? double(t.denominator) / t.numerator
                                                           : 1e9; // the mode's default: its fastest
        const std::vector<int> rates = ModeRates(m_mode.format, m_mode.size);
        m_mode.fps = *std::min_element(rates.begin(), rates.end(), [&](int a, int b) {
            return std::abs(a - wanted) < std::abs(b - wanted);
        });
        ShareMode();
    }
    p.parm.capture = {};
    p.parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
    p.parm.capture.timeperframe = {1, uint32_t(m_mode.fps)};
    return 0;
}

int CFakeStream::RequestBuffers(v4l2_requestbuffers& r) {
    if (!IsCapture(r.type) || r.memory != V4L2_MEMORY_MMAP)
        return EINVAL;
    if (m_streaming)
        return EBUSY;
    FreeBuffers();
    r.capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP;
    if (r.count == 0)
        return Unlock(), 0; // uvcvideo gives the stream up with its buffers
    if (!Lock())
        return EBUSY; // another file streams from this camera
    const size_t count = std::clamp(r.count, 2u, 8u);
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    m_bufferSize = (FrameBytes(m_mode.format, m_mode.size) + page - 1) / page * page;
    m_memory = memfd_create("fakev4l2", MFD_CLOEXEC);
    void* map = MAP_FAILED;
    if (m_memory >= 0 && ftruncate(m_memory, off_t(count * m_bufferSize)) == 0)
        map = libc::Mmap(nullptr, count * m_bufferSize, PROT_READ | PROT_WRITE, MAP_SHARED,
                         m_memory, 0);
    if (map == MAP_FAILED) {
        FreeBuffers();
        return ENOMEM;
    }
    m_map = static_cast<unsigned char*>(map);
    m_buffers.assign(count, {});
    r.count = uint32_t(count);
    return 0;
}

std::string CFakeStream::LockPath() const {
    const size_t slash = m_node.rfind('/') + 1;
    return m_node.substr(0, slash) + "." + m_node.substr(slash) + ".lock";
}

// The node's lock file: the file that has taken the stream holds it, in any process, until it is
// closed or frees its buffers (uvcvideo's privileged handle).
bool CFakeStream::Lock() {
    const int fd =
        m_lock < 0 ? libc::Open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666) : -1;
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0)
        return libc::Close(fd), false;
    m_lock = std::max(m_lock, fd);
    return true;
}

void CFakeStream::Unlock() {
    if (m_lock >= 0)
        libc::Close(m_lock);
    m_lock = -1;
}

// uvcvideo keeps the mode in the device, not in the file: every file sees what the last S_FMT or
// S_PARM set, in any process. The file that has the stream writes it into the lock file.
void CFakeStream::ShareMode() {
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%u %d %d %d", m_mode.format, m_mode.size.width,
                                m_mode.size.height, m_mode.fps);
    if (m_lock >= 0 && ftruncate(m_lock, 0) == 0 && pwrite(m_lock, text, size_t(n), 0) != n)
        std::fprintf(stderr, "fakev4l2: cannot share the mode\n");
}

void CFakeStream::SeeMode() {
    Mode m;
    const auto& formats = m_spec.formats;
    if (m_lock < 0 &&
        std::sscanf(ReadFile(LockPath()).c_str(), "%u %d %d %d", &m.format, &m.size.width,
                    &m.size.height, &m.fps) == 4 &&
        std::count(formats.begin(), formats.end(), m.format))
        m_mode = m;
}

void CFakeStream::FreeBuffers() {
    if (m_map)
        munmap(m_map, m_buffers.size() * m_bufferSize);
    if (m_memory >= 0)
        libc::Close(m_memory);
    m_map = nullptr;
    m_memory = -1;
    m_buffers.clear();
    m_queued.clear();
    m_done.clear();
}

CFakeStream::Buffer* CFakeStream::Find(const v4l2_buffer& b) {
    if (!IsCapture(b.type) || b.memory != V4L2_MEMORY_MMAP || b.index >= m_buffers.size() ||
        (m_spec.mplane && (b.length < 1 || !b.m.planes))) // too few planes: EINVAL, as vb2
        return nullptr;
    return &m_buffers[b.index];
}

void CFakeStream::Describe(size_t index, v4l2_buffer& b) const {
    const Buffer& buffer = m_buffers[index];
    b.index = uint32_t(index);
    b.bytesused = buffer.bytes;
    b.flags =
        V4L2_BUF_FLAG_MAPPED | (buffer.flagged ? V4L2_BUF_FLAG_ERROR : 0) |
        (m_spec.copyTimestamps ? V4L2_BUF_FLAG_TIMESTAMP_COPY : V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC);
    b.flags |= buffer.state == Buffer::Queued ? V4L2_BUF_FLAG_QUEUED
               : buffer.state == Buffer::Done ? V4L2_BUF_FLAG_DONE
                                              : 0;
    b.field = V4L2_FIELD_NONE;
    timespec real{};
    clock_gettime(CLOCK_REALTIME, &real);
    const int64_t stamp =
        buffer.stamp + m_spec.timestampOffset +
        (m_spec.copyTimestamps ? real.tv_sec * kSecond + real.tv_nsec - Now() : 0);
    b.timestamp = {time_t(stamp / kSecond), suseconds_t(stamp % kSecond / 1000)};
    b.sequence = uint32_t(buffer.sequence);
    if (m_spec.mplane) { // videobuf2 describes each plane in the program's array
        b.m.planes[0] = {};
        b.m.planes[0].bytesused = buffer.bytes;
        b.m.planes[0].length = FrameBytes(m_mode.format, m_mode.size);
        b.m.planes[0].m.mem_offset = uint32_t(index * m_bufferSize);
        b.length = 1;
        return;
    }
    b.m.offset = uint32_t(index * m_bufferSize);
    b.length = FrameBytes(m_mode.format, m_mode.size);
}

int CFakeStream::Queue(v4l2_buffer& b) {
    Buffer* buffer = Find(b);
    if (!buffer || buffer->state != Buffer::Idle)
        return EINVAL;
    buffer->state = Buffer::Queued;
    m_queued.push_back(b.index);
    Describe(b.index, b);
    return 0;
}

int CFakeStream::Dequeue(v4l2_buffer& b, std::unique_lock<std::mutex>& lock) {
    if (!IsCapture(b.type) || b.memory != V4L2_MEMORY_MMAP ||
        (m_spec.mplane && (b.length < 1 || !b.m.planes)))
        return EINVAL;
    while (!m_spec.eio && m_done.empty()) {
        if (!m_streaming)
            return EINVAL;
        if (fcntl(m_fd, F_GETFL) & O_NONBLOCK)
            return EAGAIN;
        const int64_t now = Now();
        lock.unlock();
        SleepFor(std::clamp(Due(m_next) - now, int64_t(0), kLookAgain));
        lock.lock();
        if (!Refresh())
            return ENODEV;
        Advance(Now());
    }
    if (m_spec.eio)
        return m_streaming ? EIO : EINVAL;
    const size_t index = m_done.front();
    m_done.pop_front();
    Buffer& buffer = m_buffers[index];
    const int damage =
        m_mode.format == V4L2_PIX_FMT_MJPEG ? DamageOf(buffer.sequence, m_spec.damage) : 0;
    buffer.flagged = damage == 3;
    buffer.bytes = uint32_t(FrameMaker()(m_mode.format, m_mode.size.width, m_mode.size.height,
                                         buffer.sequence, damage % 3 + (m_spec.stray ? 4 : 0),
                                         m_map + index * m_bufferSize, m_bufferSize));
    buffer.state = Buffer::Idle;
    Describe(index, b);
    return 0;
}

int CFakeStream::StreamOn(int type) {
    if (!IsCapture(uint32_t(type)) || m_buffers.empty())
        return EINVAL;
    if (m_streaming)
        return 0;
    const int64_t needed = ModeBandwidth(m_mode.format, m_mode.size, m_mode.fps);
    if (m_spec.bandwidth >= 0 && needed > m_spec.bandwidth)
        return ENOSPC;
    if (!FrameMaker())
        return EIO;
    m_streaming = true;
    m_controls.StreamOn(m_spec.streamOnReset);
    m_start = Now();
    m_next = m_sequence = 0;
    return 0;
}

int CFakeStream::StreamOff(int type) {
    if (!IsCapture(uint32_t(type)))
        return EINVAL;
    m_streaming = false;
    for (Buffer& buffer : m_buffers)
        buffer.state = Buffer::Idle;
    m_queued.clear();
    m_done.clear();
    return 0;
}

int64_t CFakeStream::Due(int64_t frame) const {
    return m_start + frame * kSecond / (m_spec.fixedFps ? m_spec.fixedFps : m_mode.fps);
}

void CFakeStream::Advance(int64_t now) {
    if (!m_streaming || Due(m_next) > now)
        return;
    // The last frame due by now.
    int64_t last = (now - m_start) * (m_spec.fixedFps ? m_spec.fixedFps : m_mode.fps) / kSecond;
    while (Due(last + 1) <= now)
        ++last;
    while (Due(last) > now)
        --last;
    if (m_spec.stall) { // a stalled camera sends nothing
        m_next = last + 1;
        return;
    }
    for (; m_next <= last && !m_queued.empty(); ++m_next, ++m_sequence) {
        Buffer& buffer = m_buffers[m_queued.front()];
        m_done.push_back(m_queued.front());
        m_queued.pop_front();
        buffer.state = Buffer::Done;
        buffer.sequence = m_sequence;
        buffer.stamp = Due(m_next);
    }
    // The rest found no buffer: dropped, as a driver does.
    m_sequence += last + 1 - m_next;
    m_next = last + 1;
}
