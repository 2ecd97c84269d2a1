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
#include <cmath>

namespace {

const cv::Size kMpeg1Size(kMovieWidth, kMovieHeight);

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
        m_size = Mp4MovieSize(first.image.size());
        return m_writer.Open(param.path, m_size) && Take(first, 0.0);
    }
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
    bool Close() override { return m_writer.Close(m_endUs); }
    int64_t FramesWritten() const override { return m_writer.FramesWritten(); }
    QString Error() const override { return m_writer.Error(); }

private:
    bool m_mirror = false;
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

cv::Size Mp4MovieSize(cv::Size frame) {
    const double scale =
        std::min({1.0, 1920.0 / std::max(1, frame.width), 1080.0 / std::max(1, frame.height)});
    const auto even = [scale](int side) {
        return std::max(2, int(std::lround(side * scale)) & ~1);
    };
    return {even(frame.width), even(frame.height)};
}
