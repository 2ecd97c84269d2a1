// The V4L2 test device through the plain V4L2 calls, as OpenCV and the program make them.
#include "support/FakeV4l2.h"
#include "capture/TestPattern.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

int Call(int fd, unsigned long request, void* arg) {
    return ioctl(fd, request, arg) ? errno : 0;
}

v4l2_format Format(uint32_t format, int width, int height) {
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.pixelformat = format;
    f.fmt.pix.width = uint32_t(width);
    f.fmt.pix.height = uint32_t(height);
    return f;
}

std::vector<uint32_t> Formats(int fd) {
    std::vector<uint32_t> formats;
    v4l2_fmtdesc d{};
    for (d.type = V4L2_BUF_TYPE_VIDEO_CAPTURE; !Call(fd, VIDIOC_ENUM_FMT, &d); ++d.index)
        formats.push_back(d.pixelformat);
    return formats;
}

std::vector<uint32_t> Rates(int fd, uint32_t format, uint32_t width, uint32_t height) {
    std::vector<uint32_t> fps;
    v4l2_frmivalenum i{0, format, width, height, 0, {}, {}};
    for (; !Call(fd, VIDIOC_ENUM_FRAMEINTERVALS, &i); ++i.index)
        fps.push_back(i.discrete.denominator / i.discrete.numerator);
    return fps;
}

// An open node and, once started, its mapped buffers.
struct Stream {
    explicit Stream(const QString& path, int flags = O_NONBLOCK)
        : fd(open(QFile::encodeName(path).constData(), O_RDWR | flags)) {}
    ~Stream() { close(fd); } // the mappings go with the process
    // Sets the mode, maps 4 buffers, queues them and starts: 0 or the first call's errno.
    int Start(uint32_t format, int width, int height, int fps) {
        v4l2_format f = Format(format, width, height);
        v4l2_streamparm p{V4L2_BUF_TYPE_VIDEO_CAPTURE, {}};
        p.parm.capture.timeperframe = {1, uint32_t(fps)};
        v4l2_requestbuffers r{4, V4L2_BUF_TYPE_VIDEO_CAPTURE, V4L2_MEMORY_MMAP, 0, 0, {}};
        for (auto [request, arg] : {std::pair<unsigned long, void*>{VIDIOC_S_FMT, &f},
                                    {VIDIOC_S_PARM, &p},
                                    {VIDIOC_REQBUFS, &r}})
            if (int e = Call(fd, request, arg))
                return e;
        for (uint32_t i = 0; i < r.count; ++i) {
            v4l2_buffer b = Buffer(i);
            if (int e = Call(fd, VIDIOC_QUERYBUF, &b); e || (e = Call(fd, VIDIOC_QBUF, &b)))
                return e;
            maps.push_back(mmap(nullptr, b.length, PROT_READ, MAP_SHARED, fd, b.m.offset));
        }
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        return Call(fd, VIDIOC_STREAMON, &type);
    }
    static v4l2_buffer Buffer(uint32_t index = 0) {
        v4l2_buffer b{};
        b.index = index;
        b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        b.memory = V4L2_MEMORY_MMAP;
        return b;
    }
    // Waits up to 2 s for the next frame and dequeues it: 0 or an errno.
    int Next(v4l2_buffer& b) {
        pollfd p{fd, POLLIN, 0};
        b = Buffer();
        return poll(&p, 1, 2000) < 0 ? errno : Call(fd, VIDIOC_DQBUF, &b);
    }
    cv::Mat Bytes(const v4l2_buffer& b) const {
        return cv::Mat(1, int(b.bytesused), CV_8U, maps[b.index]);
    }
    int fd;
    std::vector<void*> maps;
};

int64_t Microseconds(const timeval& t) {
    return t.tv_sec * 1'000'000LL + t.tv_usec;
}

double Difference(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() ? cv::norm(a, b, cv::NORM_L1) / double(a.total() * 3) : 255;
}

class FakeV4l2Test : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(device.Create(testenv::NewFolder("dev"))); }
    FakeV4l2 device;
};

TEST_F(FakeV4l2Test, ListsTheModesOfAUsb2Webcam) {
    ASSERT_TRUE(device.AddCamera(3, "card=Desk Cam\nbus=usb-9", "usb-Desk_Cam-video-index0"));
    ASSERT_TRUE(device.AddCamera(4, "metadata=1"));
    Stream camera(device.Node(0).replace("video0", "v4l/by-id/usb-Desk_Cam-video-index0"));
    v4l2_capability cap{};
    ASSERT_EQ(Call(camera.fd, VIDIOC_QUERYCAP, &cap), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(cap.card)), "Desk Cam");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(cap.bus_info)), "usb-9");
    EXPECT_EQ(cap.device_caps, V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING);
    EXPECT_EQ(Formats(camera.fd), (std::vector<uint32_t>{V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_MJPEG}));
    EXPECT_EQ(Rates(camera.fd, V4L2_PIX_FMT_YUYV, 640, 480), (std::vector<uint32_t>{30, 15}));
    EXPECT_EQ(Rates(camera.fd, V4L2_PIX_FMT_YUYV, 1280, 720), (std::vector<uint32_t>{10, 5}));
    EXPECT_EQ(Rates(camera.fd, V4L2_PIX_FMT_YUYV, 1920, 1080), (std::vector<uint32_t>{5}));
    EXPECT_EQ(Rates(camera.fd, V4L2_PIX_FMT_MJPEG, 1920, 1080), (std::vector<uint32_t>{30, 15}));
    EXPECT_TRUE(Rates(camera.fd, V4L2_PIX_FMT_MJPEG, 800, 600).empty());
    // The nearest size, and the first format for one the camera does not offer.
    v4l2_format f = Format(v4l2_fourcc('N', 'V', '1', '2'), 1000, 700);
    ASSERT_EQ(Call(camera.fd, VIDIOC_TRY_FMT, &f), 0);
    EXPECT_EQ(std::make_tuple(f.fmt.pix.width, f.fmt.pix.height, f.fmt.pix.pixelformat),
              std::make_tuple(1280u, 720u, uint32_t(V4L2_PIX_FMT_YUYV)));
    EXPECT_EQ(Call(camera.fd, VIDIOC_G_STD, &f), ENOTTY);

    Stream metadata(device.Node(4));
    ASSERT_EQ(Call(metadata.fd, VIDIOC_QUERYCAP, &cap), 0);
    EXPECT_EQ(cap.device_caps, V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING);
    EXPECT_TRUE(Formats(metadata.fd).empty());
}

// Every format shows the test camera's picture; MJPEG frames are stamped 1/fps apart by the frame
// clock.
TEST_F(FakeV4l2Test, StreamsTheTestPictureStampedByTheFrameClock) {
    ASSERT_TRUE(device.AddCamera(0, ""));
    ASSERT_TRUE(device.AddCamera(1, "formats=BA81"));
    const cv::Size size(640, 480);
    {
        Stream camera(device.Node(0), 0); // a blocking file waits in DQBUF
        ASSERT_EQ(camera.Start(V4L2_PIX_FMT_MJPEG, size.width, size.height, 30), 0);
        v4l2_buffer first = Stream::Buffer();
        ASSERT_EQ(Call(camera.fd, VIDIOC_DQBUF, &first), 0);
        EXPECT_LT(Difference(cv::imdecode(camera.Bytes(first), cv::IMREAD_COLOR),
                             DrawTestPattern(size, first.sequence % 60)),
                  4);
        for (v4l2_buffer b = first; b.sequence < first.sequence + 10;) {
            ASSERT_EQ(Call(camera.fd, VIDIOC_QBUF, &b), 0);
            ASSERT_EQ(Call(camera.fd, VIDIOC_DQBUF, &b), 0);
            EXPECT_FALSE(cv::imdecode(camera.Bytes(b), cv::IMREAD_COLOR).empty());
            EXPECT_NEAR(Microseconds(b.timestamp) - Microseconds(first.timestamp),
                        (b.sequence - first.sequence) * 1'000'000LL / 30, 1);
        }
    }
    // A BGGR mosaic (OpenCV calls it RG, after the second line).
    Stream bayer(device.Node(1));
    ASSERT_EQ(bayer.Start(V4L2_PIX_FMT_SBGGR8, size.width, size.height, 30), 0);
    v4l2_buffer b;
    ASSERT_EQ(bayer.Next(b), 0);
    cv::Mat picture;
    cv::cvtColor(bayer.Bytes(b).reshape(1, size.height), picture, cv::COLOR_BayerRG2BGR);
    EXPECT_LT(Difference(picture, DrawTestPattern(size, b.sequence % 60)), 4);
    cv::VideoCapture opencv(QFile::encodeName(device.Node(0)).toStdString(), cv::CAP_V4L2);
    ASSERT_TRUE(opencv.read(picture)); // YUYV, its first choice
    EXPECT_LT(Difference(picture, DrawTestPattern(size, 0)), 4);
}

// Four buffers queued, nobody reading for a while: the reader then gets the first four frames
// with their capture times; the frames after them found no buffer and were dropped.
TEST_F(FakeV4l2Test, LateReaderGetsTheQueuedFrames) {
    ASSERT_TRUE(device.AddCamera(0, ""));
    Stream camera(device.Node(0));
    ASSERT_EQ(camera.Start(V4L2_PIX_FMT_MJPEG, 640, 480, 30), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<v4l2_buffer> frames(4);
    for (v4l2_buffer& b : frames)
        ASSERT_EQ(camera.Next(b), 0);
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(frames[i].sequence, i);
        EXPECT_NEAR(Microseconds(frames[i].timestamp) - Microseconds(frames[0].timestamp),
                    i * 1'000'000 / 30, 1);
    }
    v4l2_buffer b = Stream::Buffer();
    EXPECT_EQ(Call(camera.fd, VIDIOC_DQBUF, &b), EAGAIN);
    ASSERT_EQ(Call(camera.fd, VIDIOC_QBUF, &frames[0]), 0);
    ASSERT_EQ(camera.Next(b), 0);
    EXPECT_GT(b.sequence, 8u);
}

// Not enough bandwidth, a camera another file streams from, damaged frames, an unplug.
TEST_F(FakeV4l2Test, FailsOnCue) {
    ASSERT_TRUE(device.AddCamera(0, "damage=2\nbandwidth=20000000", "cam"));
    EXPECT_EQ(Stream(device.Node(0)).Start(V4L2_PIX_FMT_YUYV, 1920, 1080, 5), ENOSPC);
    Stream second(device.Node(0));
    ASSERT_EQ(second.Start(V4L2_PIX_FMT_MJPEG, 1280, 720, 30), 0);
    EXPECT_EQ(Stream(device.Node(0)).Start(V4L2_PIX_FMT_MJPEG, 640, 480, 30), EBUSY);

    // Every second frame is damaged, the first of them cut short: no end-of-image marker.
    std::vector<cv::Mat> jpegs;
    for (v4l2_buffer b; jpegs.size() < 2; Call(second.fd, VIDIOC_QBUF, &b)) {
        ASSERT_EQ(second.Next(b), 0);
        if (b.sequence == jpegs.size())
            jpegs.push_back(second.Bytes(b).clone());
    }
    EXPECT_EQ(jpegs[0].at<uchar>(jpegs[0].cols - 1), 0xD9);
    EXPECT_NE(jpegs[1].at<uchar>(jpegs[1].cols - 1), 0xD9);
    EXPECT_NEAR(jpegs[1].cols, jpegs[0].cols * 0.6, jpegs[0].cols * 0.1);

    // Unplugged, and back as node 5 behind the same by-id link.
    ASSERT_TRUE(device.Unplug(0));
    v4l2_buffer b;
    pollfd p{second.fd, POLLIN, 0};
    EXPECT_EQ(second.Next(b), ENODEV);
    EXPECT_EQ(poll(&p, 1, 0), 1);
    EXPECT_EQ(p.revents, POLLERR | POLLHUP);
    EXPECT_EQ(open(QFile::encodeName(device.Node(0)).constData(), O_RDWR), -1);
    ASSERT_TRUE(device.Replug(0, 5));
    Stream replugged(device.Node(0).replace("video0", "v4l/by-id/cam"));
    EXPECT_EQ(replugged.Start(V4L2_PIX_FMT_MJPEG, 640, 480, 30), 0);
    EXPECT_EQ(replugged.Next(b), 0);
}

} // namespace
