// The two movie types: MPEG-1 on its fixed time base at 320 x 240 (a picture of other proportions
// between black bands: MPEG-1 cannot mark wide pixels), MP4 at the camera's size and times.
#include "recording/MovieOutput.h"

#include "imaging/FramePath.h"
#include "output_files/FiletypeMgr.h"
#include "recording/FrameQueue.h"
#include "recording/MovieTimeline.h"
#include "recording/MovieWriter.h"
#include "recording/Mp4Writer.h"
#include "recording/RecordingWorker.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace {

const cv::Size kMpeg1Size(kMovieWidth, kMovieHeight);
// Half of the largest MP4 movie: what a smaller movie needs of the camera's picture.
const cv::Size kSmallerCover(960, 540);

// Whether MP4 movies are made at half size: set by a movie whose encoder fell behind at its
// fastest, cleared by a smaller one that never fell behind.
std::atomic<bool> s_smallerMp4{false};

class CMpeg1Output : public CMovieOutput {
public:
    explicit CMpeg1Output(uint32_t codec) : m_codec(codec) {}
    bool Open(const RecThreadParam& param, const StampedFrame& first) override {
        m_mirror = param.mirror;
        if (!m_writer.Open(param.path, m_codec, kMpeg1Size, kMovieFps))
            return false;
        ScaleFrameBoxed(first.image, m_mirror, kMpeg1Size, m_last);
        m_timeline.Place(0.0);
        return m_writer.WriteFrame(m_last);
    }
    // A frame that the time base drops is not scaled at all.
    bool Take(const StampedFrame& frame, double elapsed) override {
        const CMovieTimeline::Placement placement = m_timeline.Place(elapsed);
        if (!placement.write)
            return true;
        ScaleFrameBoxed(frame.image, m_mirror, kMpeg1Size, m_next);
        if (!WriteRepeated(placement.repeats) || !m_writer.WriteFrame(m_next))
            return false;
        std::swap(m_last, m_next);
        return true;
    }
    bool LastUntil(double elapsed) override { return WriteRepeated(m_timeline.FillUntil(elapsed)); }
    bool Flush() override { return m_writer.Flush(); }
    bool Close() override { return m_writer.Close(); }
    int64_t FramesWritten() const override { return m_writer.FramesWritten(); }
    QString Error() const override { return m_writer.Error(); }

private:
    bool WriteRepeated(int64_t count) {
        for (int64_t i = 0; i < count; ++i) {
            if (!m_writer.WriteFrame(m_last))
                return false;
        }
        return true;
    }

    uint32_t m_codec;
    bool m_mirror = false;
    CMovieWriter m_writer;
    CMovieTimeline m_timeline{kMovieFps};
    cv::Mat m_last, m_next;
};

class CMp4Output : public CMovieOutput {
public:
    void WithSound(bool on) override { m_writer.SetSound(on); }
    bool TakeSound(const float* samples, int count, double elapsed) override {
        return m_writer.WriteSound(samples, count, std::llround(elapsed * 1e6));
    }
    void EndSound() override { m_writer.EndSound(); }
    bool Open(const RecThreadParam& param, const StampedFrame& first) override {
        m_mirror = param.mirror;
        m_smaller = s_smallerMp4.load();
        m_size = Mp4MovieSize(first.image.size(), m_smaller);
        if (m_smaller)
            qWarning("Recording into %s at %d x %d: the encoder fell behind at full size",
                     qUtf8Printable(param.path), m_size.width, m_size.height);
        return m_writer.Open(param.path, m_size) && Take(first, 0.0);
    }
    bool SpeedUp() override {
        m_behind = true;
        if (m_writer.SpeedUp())
            return true;
        if (!s_smallerMp4.exchange(true))
            qWarning("MP4 movies are made at half size from the next one on, until one keeps up");
        return false;
    }
    QString Pace() const override { return m_writer.Pace(); }
    bool Take(const StampedFrame& frame, double elapsed) override {
        const cv::Mat* picture = &frame.image;
        if (frame.image.size() != m_size) {
            cv::resize(frame.image, m_scaled, m_size, 0, 0, cv::INTER_AREA);
            picture = &m_scaled;
        }
        if (m_mirror) {
            cv::flip(*picture, m_flipped, 1);
            picture = &m_flipped;
        }
        return m_writer.WriteFrame(*picture, std::llround(elapsed * 1e6));
    }
    bool LastUntil(double elapsed) override {
        m_endUs = std::llround(elapsed * 1e6);
        return true;
    }
    bool Flush() override { return m_writer.Flush(); }
    bool Close() override {
        if (m_smaller && !m_behind && m_writer.IsOpen())
            s_smallerMp4.store(false);
        return m_writer.Close(m_endUs);
    }
    int64_t FramesWritten() const override { return m_writer.FramesWritten(); }
    QString Error() const override { return m_writer.Error(); }

private:
    bool m_mirror = false;
    bool m_smaller = false; // made at half size
    bool m_behind = false;  // its encoder fell behind
    cv::Size m_size;
    CMp4Writer m_writer;
    cv::Mat m_scaled, m_flipped;
    int64_t m_endUs = -1; // the last frame's own length when no stop time is known
};

} // namespace

std::unique_ptr<CMovieOutput> MakeMovieOutput(uint32_t codec) {
    if (codec == kCodecH264)
        return std::make_unique<CMp4Output>();
    return std::make_unique<CMpeg1Output>(codec);
}

cv::Size Mp4MovieSize(cv::Size frame, bool smaller) {
    const double scale =
        std::min({1.0, 1920.0 / std::max(1, frame.width), 1080.0 / std::max(1, frame.height)}) *
        (smaller ? 0.5 : 1.0);
    const auto even = [scale](int side) {
        return std::max(2, int(std::lround(side * scale)) & ~1);
    };
    return {even(frame.width), even(frame.height)};
}

cv::Size MovieCover(uint32_t codec) {
    if (codec != kCodecH264)
        return kMpeg1Size;
    return s_smallerMp4.load() ? kSmallerCover : cv::Size();
}
