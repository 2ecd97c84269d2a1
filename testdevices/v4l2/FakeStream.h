// One open file of a test device node: the mode chosen on it, its buffers and the driver queue.
// Frame k of a stream is captured at the stream's start + k / fps into the oldest queued buffer,
// or dropped when none is queued (its sequence number still counts). The queue is worked out
// whenever the program looks (every ioctl and poll), so no thread is needed. The node file is
// read again whenever it changed, so faults come and go while the stream runs; once it has gone,
// the device is unplugged for good.
#pragma once

#include "DeviceSpec.h"
#include "FakeControls.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

struct v4l2_buffer;
struct v4l2_format;
struct v4l2_requestbuffers;
struct v4l2_streamparm;

class CFakeStream {
public:
    // `node`: the node file's resolved path; `fd`: the file the program holds.
    CFakeStream(std::string node, int fd);
    ~CFakeStream();
    CFakeStream(const CFakeStream&) = delete;
    CFakeStream& operator=(const CFakeStream&) = delete;

    // An ioctl on the node: 0 or an errno value. DQBUF on a blocking file waits for a frame.
    int Ioctl(unsigned int request, void* arg);
    // Maps the buffer at `offset`: MAP_FAILED with errno set when there is none.
    void* Map(void* addr, size_t length, int prot, int flags, off_t offset);
    // The poll events of the file now; lowers `wake` (CLOCK_MONOTONIC ns) to when they may change.
    short Poll(short events, int64_t& wake);

private:
    struct Mode {
        uint32_t format = 0;
        FrameSize size;
        int fps = 0;
    };
    struct Buffer {
        enum { Idle, Queued, Done } state = Idle;
        int64_t sequence = 0;
        int64_t stamp = 0; // capture time, CLOCK_MONOTONIC ns
        uint32_t bytes = 0;
        bool flagged = false; // V4L2_BUF_FLAG_ERROR
    };

    bool Refresh();
    bool IsCapture(uint32_t type) const;
    int Format(unsigned int request, v4l2_format& f);
    int Parm(bool set, v4l2_streamparm& p);
    int RequestBuffers(v4l2_requestbuffers& r);
    std::string LockPath() const;
    bool Lock();
    void Unlock();
    void ShareMode();
    void SeeMode();
    void FreeBuffers();
    Buffer* Find(const v4l2_buffer& b);
    void Describe(size_t index, v4l2_buffer& b) const;
    int Queue(v4l2_buffer& b);
    int Dequeue(v4l2_buffer& b, std::unique_lock<std::mutex>& lock);
    int StreamOn(int type);
    int StreamOff(int type);
    int64_t Due(int64_t frame) const;
    void Advance(int64_t now);

    std::mutex m_mutex;
    const std::string m_node;
    const int m_fd;
    DeviceSpec m_spec;
    struct stat m_seen = {};
    bool m_gone = false;
    Mode m_mode;
    std::vector<Buffer> m_buffers;
    std::deque<size_t> m_queued, m_done;
    size_t m_bufferSize = 0; // page-aligned
    int m_memory = -1;       // the buffers, shared with the program's mappings
    unsigned char* m_map = nullptr;
    int m_lock = -1; // the node's lock, held while this file has the stream
    bool m_streaming = false;
    int64_t m_start = 0;    // when frame 0 was captured
    int64_t m_next = 0;     // the next frame to capture
    int64_t m_sequence = 0; // the next frame's sequence number
    CFakeControls m_controls{m_node};
};
