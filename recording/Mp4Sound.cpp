// AAC encoding of the microphone's sound, kept on the picture's clock by libswresample.
#include "recording/Mp4Sound.h"

#include "recording/LibavError.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// A single chunk's stamp may come late (the server's thread ran late), while sound the server
// lost moves every stamp after it: the track follows the earliest stamp of the last tenth of a
// second, so a late one alone moves nothing. That is then followed on average over about
// a fifth of a second.
constexpr double kEarliestOfSeconds = 0.1;
constexpr double kSmoothingSeconds = 0.2;
// A difference between the stamps and the track this large is a real gap (sound lost, or the
// first chunk), made up at once with silence or by dropping sound; smaller ones are evened out
// by stretching the sound by at most 5% over a second (a microphone's drift needs a small
// fraction of that).
constexpr double kHardGapSeconds = 0.02;
constexpr double kLeastGapSeconds = 0.002;
constexpr int kBitRate = 96000;

} // namespace

CMp4Sound::~CMp4Sound() {
    Release();
}

bool CMp4Sound::Fail(const char* what, int code) {
    m_error = LibavErrorText(what, code);
    m_failed = true;
    return false;
}

bool CMp4Sound::Add(AVFormatContext* format) {
    Release();
    m_format = format;
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec || !(m_codec = avcodec_alloc_context3(codec)))
        return Fail("no AAC encoder", AVERROR_ENCODER_NOT_FOUND);
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO; // the resampler takes it by a plain pointer
    m_codec->sample_rate = kRate;
    m_codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    m_codec->bit_rate = kBitRate;
    m_codec->time_base = AVRational{1, kRate};
    m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // The encoder's fast search: at this bit rate for one voice channel it sounds the same as the
    // default's, at a fraction of its processor time.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "aac_coder", "fast", 0);
    int rc = av_channel_layout_copy(&m_codec->ch_layout, &mono);
    if (rc >= 0)
        rc = avcodec_open2(m_codec, codec, &options);
    av_dict_free(&options);
    if (rc < 0)
        return Fail("cannot open the AAC encoder", rc);
    if (!(m_stream = avformat_new_stream(format, nullptr)))
        return Fail("out of memory", AVERROR(ENOMEM));
    if ((rc = avcodec_parameters_from_context(m_stream->codecpar, m_codec)) < 0)
        return Fail("cannot set up the sound track", rc);
    m_stream->time_base = m_codec->time_base;
    rc = swr_alloc_set_opts2(&m_swr, &mono, AV_SAMPLE_FMT_FLTP, kRate, &mono, AV_SAMPLE_FMT_FLT,
                             kRate, 0, nullptr);
    if (rc < 0)
        return Fail("cannot set up the resampler", rc);
    // The track starts at the movie's start: the first chunk's stamp says how much silence goes
    // before it, or how much of it is dropped.
    av_opt_set_int(m_swr, "first_pts", 0, 0);
    av_opt_set_double(m_swr, "min_comp", kLeastGapSeconds, 0);
    av_opt_set_double(m_swr, "min_hard_comp", kHardGapSeconds, 0);
    av_opt_set_double(m_swr, "comp_duration", 1.0, 0);
    av_opt_set_double(m_swr, "max_soft_comp", 0.05, 0);
    av_opt_set_int(m_swr, "flags", SWR_FLAG_RESAMPLE, 0); // stretching needs the resampler
    if ((rc = swr_init(m_swr)) < 0)
        return Fail("cannot set up the resampler", rc);
    m_fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, 1, kRate);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_fifo || !m_frame || !m_packet)
        return Fail("out of memory", AVERROR(ENOMEM));
    m_given = m_pts = 0;
    m_started = false;
    m_recent.clear();
    return true;
}

bool CMp4Sound::Write(const float* samples, int count, int64_t atUs) {
    if (!m_swr || m_failed)
        return false;
    // Where the stamp puts the next given sample, against where the samples given so far would.
    // Kept increasing from the front, so the front is the earliest of the window.
    const double stamped = double(atUs) * kRate / 1e6 - double(m_given);
    while (!m_recent.empty() && m_recent.back().second >= stamped)
        m_recent.pop_back();
    m_recent.emplace_back(m_given, stamped);
    while (m_recent.front().first < m_given - int64_t(kEarliestOfSeconds * kRate))
        m_recent.pop_front();
    const double offset = m_recent.front().second;
    if (!m_started || std::abs(offset - m_offset) > kHardGapSeconds * kRate)
        m_offset = offset;
    else
        m_offset += (offset - m_offset) * std::min(1.0, count / (kSmoothingSeconds * kRate));
    m_started = true;
    // libswresample counts in 1 / (input rate * output rate) of a second.
    swr_next_pts(m_swr, std::llround((double(m_given) + m_offset) * kRate));
    const int room = swr_get_out_samples(m_swr, count);
    if (room < 0)
        return Fail("cannot resample the sound", room);
    std::vector<float> out(size_t(room) + 1);
    uint8_t* outPlanes[] = {reinterpret_cast<uint8_t*>(out.data())};
    const uint8_t* inPlanes[] = {reinterpret_cast<const uint8_t*>(samples)};
    const int made = swr_convert(m_swr, outPlanes, room, inPlanes, count);
    if (made < 0)
        return Fail("cannot resample the sound", made);
    m_given += count;
    void* fifoPlanes[] = {out.data()};
    if (made > 0 && av_audio_fifo_write(m_fifo, fifoPlanes, made) < made)
        return Fail("out of memory", AVERROR(ENOMEM));
    return EncodeFrames(false);
}

bool CMp4Sound::EncodeFrames(bool all) {
    const int frameSize = m_codec->frame_size > 0 ? m_codec->frame_size : 1024;
    while (av_audio_fifo_size(m_fifo) >= frameSize || (all && av_audio_fifo_size(m_fifo) > 0)) {
        av_frame_unref(m_frame);
        m_frame->nb_samples = std::min(frameSize, av_audio_fifo_size(m_fifo));
        m_frame->format = AV_SAMPLE_FMT_FLTP;
        m_frame->sample_rate = kRate;
        int rc = av_channel_layout_copy(&m_frame->ch_layout, &m_codec->ch_layout);
        if (rc < 0 || (rc = av_frame_get_buffer(m_frame, 0)) < 0)
            return Fail("out of memory", rc);
        av_audio_fifo_read(m_fifo, reinterpret_cast<void**>(m_frame->data), m_frame->nb_samples);
        m_frame->pts = m_pts;
        m_pts += m_frame->nb_samples;
        if (!Send(m_frame))
            return false;
    }
    return true;
}

// Packets go through the muxer's interleaving queue with the picture's (see CMp4Writer); each
// fragment, cut at a keyframe of the picture, then holds both tracks up to that moment.
bool CMp4Sound::Send(AVFrame* frame) {
    int rc = avcodec_send_frame(m_codec, frame);
    if (rc < 0)
        return Fail("cannot encode the sound", rc);
    while ((rc = avcodec_receive_packet(m_codec, m_packet)) >= 0) {
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        rc = av_interleaved_write_frame(m_format, m_packet); // takes the packet's data
        if (rc < 0)
            return Fail("cannot write the sound to the file", rc);
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF)
        return Fail("cannot encode the sound", rc);
    return true;
}

bool CMp4Sound::Finish() {
    if (!m_swr || m_failed)
        return !m_failed;
    const bool ok = EncodeFrames(true) && Send(nullptr);
    Release();
    return ok;
}

void CMp4Sound::Release() {
    avcodec_free_context(&m_codec);
    swr_free(&m_swr);
    if (m_fifo)
        av_audio_fifo_free(m_fifo);
    m_fifo = nullptr;
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    m_stream = nullptr;
}
