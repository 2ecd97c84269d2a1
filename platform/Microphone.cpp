// Capture from a sound-server source through libpulse, and the list of sources.
#include "platform/Microphone.h"

#include "platform/PulseConnection.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/operation.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

// The server hands over sound in pieces of about this length: short enough that the movie's
// sound is never far behind its picture, long enough to cost little.
constexpr int kChunkMs = 20;
// A microphone that delivers nothing for this long is lost (a source that vanished may leave
// its stream connected to nothing rather than failed). Before its first sound it has longer: a
// source may have to wake first (a suspended card, or a Bluetooth headset, whose voice link takes
// a second or two to come up).
constexpr auto kSilenceLimit = std::chrono::seconds(1);
constexpr auto kFirstSoundLimit = std::chrono::seconds(3);
// A chunk waits at most this long for the server's timing of it (the answer takes milliseconds).
constexpr auto kTimingWait = std::chrono::milliseconds(250);

} // namespace

std::unique_ptr<CMicrophone> CMicrophone::Open(const QString& name,
                                               std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    std::unique_ptr<CMicrophone> microphone(new CMicrophone);
    microphone->m_connection = CPulseConnection::Connect("VistrelCV microphone", limit);
    if (!microphone->m_connection)
        return nullptr;
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, uint32_t(kRate), 1};
    pa_buffer_attr attributes;
    std::memset(&attributes, 0xff, sizeof attributes); // the server's choice, but for:
    attributes.fragsize = uint32_t(kRate / 1000 * kChunkMs * sizeof(float));
    {
        const CPulseLock lock(*microphone->m_connection);
        microphone->m_stream =
            pa_stream_new(microphone->m_connection->Context(), "Movie sound", &format, nullptr);
        if (!microphone->m_stream)
            return nullptr;
        pa_stream_set_read_callback(microphone->m_stream, &CMicrophone::OnRead, microphone.get());
        // The sound of one movie comes from one microphone: when it goes, the stream ends rather
        // than moving to another one unasked.
        const auto flags = pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY |
                                             PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_DONT_MOVE);
        const QByteArray device = name.toUtf8();
        if (pa_stream_connect_record(microphone->m_stream,
                                     name.isEmpty() ? nullptr : device.constData(), &attributes,
                                     flags) < 0)
            return nullptr;
    }
    pa_stream* stream = microphone->m_stream;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
    microphone->m_connection->WaitUntil(
        [stream] { return pa_stream_get_state(stream) != PA_STREAM_CREATING; },
        std::max(left, std::chrono::milliseconds(0)));
    {
        const CPulseLock lock(*microphone->m_connection);
        if (pa_stream_get_state(stream) != PA_STREAM_READY)
            return nullptr;
    }
    microphone->m_lastData = Clock::now();
    return microphone;
}

CMicrophone::~CMicrophone() {
    if (m_stream) {
        {
            const CPulseLock lock(*m_connection);
            pa_stream_set_read_callback(m_stream, nullptr, nullptr);
            if (m_timing) { // its answer must not come after this
                pa_operation_cancel(m_timing);
                pa_operation_unref(m_timing);
            }
            pa_stream_disconnect(m_stream);
        }
        m_connection.reset(); // the loop stops before the stream goes
        pa_stream_unref(m_stream);
    }
}

void CMicrophone::OnRead(pa_stream*, size_t, void* self) {
    static_cast<CMicrophone*>(self)->Read();
}

// On the server's loop thread, its lock held: each chunk read waits for a timing snapshot of the
// server's taken after it (asked for at once), which places it best (see Stamp).
void CMicrophone::Read() {
    while (pa_stream_readable_size(m_stream) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(m_stream, &data, &bytes) < 0 || bytes == 0)
            break;
        Pending pending;
        pending.start = m_consumed;
        pending.arrived = Clock::now();
        const size_t count = bytes / sizeof(float);
        if (data) {
            const auto* samples = static_cast<const float*>(data);
            pending.chunk.samples.assign(samples, samples + count);
        } else {
            pending.chunk.samples.assign(count, 0.0f); // a hole the server reports: silence
        }
        pa_stream_drop(m_stream);
        m_consumed += int64_t(bytes);
        m_pending.push_back(std::move(pending));
    }
    StampPending();
    AskForTiming();
}

void CMicrophone::OnTiming(pa_stream*, int, void* self) {
    auto* microphone = static_cast<CMicrophone*>(self);
    pa_operation_unref(microphone->m_timing); // this one is done
    microphone->m_timing = nullptr;
    microphone->StampPending();
    if (!microphone->m_pending.empty())
        microphone->AskForTiming();
}

// Hands over the chunks a snapshot covers, in order; one that waited too long for it (a server
// that does not answer), or every one with `all`, is placed without.
void CMicrophone::StampPending(bool all) {
    const Clock::time_point now = Clock::now();
    const pa_timing_info* timing = pa_stream_get_timing_info(m_stream);
    if (timing && timing->write_index_corrupt)
        timing = nullptr;
    std::vector<MicrophoneChunk> stamped;
    while (!m_pending.empty()) {
        Pending& pending = m_pending.front();
        const auto end = pending.start + int64_t(pending.chunk.samples.size() * sizeof(float));
        const bool covered = timing && timing->write_index >= end;
        if (!covered && !all && now - pending.arrived < kTimingWait)
            break;
        pending.chunk.capturedAt = Stamp(timing, pending.start, pending.chunk.samples.size());
        stamped.push_back(std::move(pending.chunk));
        m_pending.pop_front();
    }
    if (stamped.empty())
        return;
    const std::lock_guard<std::mutex> lock(m_mutex);
    for (MicrophoneChunk& chunk : stamped)
        m_chunks.push_back(std::move(chunk));
}

// When the sample at byte `start` of the stream was captured, by `timing`, the server's latest
// timing of the stream (null when there is none to trust): at the moment of that snapshot its
// source had just captured the sample at the write index, less the source's own delay, and the
// samples between came at the rate. Nothing is carried forward from earlier snapshots, and the
// snapshot was taken after the chunk reached the server, so sound the server lost before moves the
// stamp by just the time lost. (libpulse's interpolation instead smooths the timing over a second
// and more, and stamps by it were early after every loss.) The snapshot's time is the wall clock's;
// its age on that clock places it on the steady one. Without a usable snapshot, the chunk follows
// the one before.
Clock::time_point CMicrophone::Stamp(const pa_timing_info* timing, int64_t start, size_t count) {
    const auto steadyNow = Clock::now();
    const auto snapshot = timing ? std::chrono::system_clock::time_point(
                                       std::chrono::seconds(timing->timestamp.tv_sec) +
                                       std::chrono::microseconds(timing->timestamp.tv_usec))
                                 : std::chrono::system_clock::time_point();
    const auto age = std::chrono::system_clock::now() - snapshot;
    // A snapshot older than this, or from the future, means the wall clock was set meanwhile.
    const bool usable = timing && age >= std::chrono::seconds(0) && age < kSilenceLimit;
    Clock::time_point capturedAt = m_nextStamp;
    if (usable) {
        const int64_t before = (timing->write_index - start) / int64_t(sizeof(float));
        capturedAt = std::chrono::time_point_cast<Clock::duration>(
            steadyNow - age - std::chrono::microseconds(timing->source_usec) -
            std::chrono::microseconds(before * 1000000 / kRate));
        m_stamped = true;
    } else if (!m_stamped) {
        capturedAt = steadyNow;
    }
    m_nextStamp = capturedAt + std::chrono::microseconds(int64_t(count) * 1000000 / kRate);
    return capturedAt;
}

// A fresh timing snapshot, one request at a time (libpulse's own requests slow to one every
// 1.5 s).
void CMicrophone::AskForTiming() {
    if (m_timing && pa_operation_get_state(m_timing) == PA_OPERATION_RUNNING)
        return;
    if (m_timing) // answered while the stream was ending, so without a call
        pa_operation_unref(m_timing);
    m_timing = pa_stream_update_timing_info(m_stream, &CMicrophone::OnTiming, this);
}

bool CMicrophone::Take(std::vector<MicrophoneChunk>& chunks) {
    bool good = m_connection->Alive();
    {
        const CPulseLock lock(*m_connection);
        good = good && pa_stream_get_state(m_stream) == PA_STREAM_READY;
        if (!good)
            StampPending(true); // no timing comes any more: what was read goes as it is
    }
    bool got = false;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        got = !m_chunks.empty();
        for (MicrophoneChunk& chunk : m_chunks)
            chunks.push_back(std::move(chunk));
        m_chunks.clear();
    }
    const Clock::time_point now = Clock::now();
    if (got) {
        m_lastData = now;
        m_heard = true;
    }
    return good && now - m_lastData < (m_heard ? kSilenceLimit : kFirstSoundLimit);
}

QList<MicrophoneInfo> CMicrophone::List(std::chrono::milliseconds limit) {
    QList<MicrophoneInfo> found;
    const auto connection = CPulseConnection::Connect("VistrelCV microphone list", limit);
    if (!connection)
        return found;
    struct Listing {
        QList<MicrophoneInfo> sources;
        bool done = false;
    } listing;
    const auto add = [](pa_context*, const pa_source_info* info, int eol, void* data) {
        auto* into = static_cast<Listing*>(data);
        if (eol) {
            into->done = true;
            return;
        }
        if (info && info->monitor_of_sink == PA_INVALID_INDEX)
            into->sources.append(
                {QString::fromUtf8(info->name),
                 QString::fromUtf8(info->description ? info->description : info->name)});
    };
    pa_operation* operation = nullptr;
    {
        const CPulseLock lock(*connection);
        operation = pa_context_get_source_info_list(connection->Context(), add, &listing);
    }
    if (!operation)
        return found;
    const bool done = connection->WaitUntil([&listing] { return listing.done; }, limit);
    {
        const CPulseLock lock(*connection);
        pa_operation_cancel(operation); // no callback comes after this
        pa_operation_unref(operation);
    }
    if (done)
        found = listing.sources;
    return found;
}
