// What a test device's node file says (`key=value` lines): the device's names, its modes and the
// faults it shows at the moment, and the answers to the V4L2 queries that depend on nothing else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FrameSize {
    int width = 0;
    int height = 0;
};

struct DeviceSpec {
    std::string card = "Fake Camera";
    std::string bus = "usb-0000:00:14.0-1";
    std::string driver = "uvcvideo";
    std::vector<uint32_t> formats; // V4L2 pixel formats, in the order ENUM_FMT lists them
    std::vector<FrameSize> sizes;
    bool metadata = false;  // a node that carries only metadata, as most webcams add
    int damage = 0;         // every n-th MJPEG frame is damaged; 0: none
    bool stray = false;     // MJPEG with stray bytes before each restart marker, padded to the end
    bool mplane = false;    // a multi-planar capture node
    bool stall = false;     // no frames while set
    bool eio = false;       // DQBUF fails with EIO while set
    int64_t bandwidth = -1; // bytes per second the bus has left; -1: no limit
    // The sizes as one range from the first listed to the last: V4L2_FRMSIZE_TYPE_STEPWISE in
    // steps of 2 (vivid's inputs with a scaler) or _CONTINUOUS (em28xx's scaler, any size); 0: no.
    int sizeRange = 0;
    // Each mode's rates as one range down to 1 fps, in uvcvideo's 100 ns units: _STEPWISE (what
    // uvcvideo answers for a frame descriptor with continuous intervals) or _CONTINUOUS (vivid);
    // -1: no VIDIOC_ENUM_FRAMEINTERVALS at all (a driver without the op: ENOTTY).
    int rateRange = 0;
    // Timestamps flagged V4L2_BUF_FLAG_TIMESTAMP_COPY, as queues of mem-to-mem drivers (a decoder
    // or scaler behind the camera) pass on whatever time came with the source: CLOCK_REALTIME.
    bool copyTimestamps = false;
    // Added to every timestamp (ns), changed on cue for a jump: uvcvideo loaded with
    // clock=realtime stamps on that clock under the MONOTONIC flag, and its recovery of the
    // camera's own clock (hwtimestamps=1) can jump.
    int64_t timestampOffset = 0;
    // The rate the camera runs at whatever S_PARM set and G_PARM says: UVC firmware that ignores
    // the committed frame interval, or lowers it in the dark with exposure priority on.
    int fixedFps = 0;
    bool streamOnReset = false; // the camera resets two controls when streaming starts
};

// The description in a node file's text; unknown keys and values are left at their defaults.
DeviceSpec ParseDeviceSpec(const std::string& text);

// The frame rates a mode offers, highest first, like a USB 2 webcam: YUYV 30 fps up to
// 640 x 480, 10 fps at 1280 x 720 and 5 fps above; MJPEG and Bayer 30 fps at every size.
std::vector<int> ModeRates(uint32_t format, FrameSize size);
// The bytes per second a mode needs on the bus.
int64_t ModeBandwidth(uint32_t format, FrameSize size, int fps);
// The listed size nearest to `wanted` (the least area outside both), as the UVC driver picks it;
// of a range, `wanted` moved into it and onto its steps.
FrameSize NearestSize(const DeviceSpec& spec, FrameSize wanted);
// The bytes of one line (0 for compressed frames) and of a whole frame.
uint32_t LineBytes(uint32_t format, FrameSize size);
uint32_t FrameBytes(uint32_t format, FrameSize size);

// The buffer type of the node's captures: single- or multi-planar.
uint32_t CaptureType(const DeviceSpec& spec);
// Whether the frames of `format` are compressed (no lines, a size of their own).
bool IsCompressed(uint32_t format);

// Answers the queries that depend on the description alone (QUERYCAP, ENUM_FMT, ENUM_FRAMESIZES,
// ENUM_FRAMEINTERVALS, the input and control queries): 0 or an errno value, ENOTTY for others.
int AnswerQuery(const DeviceSpec& spec, unsigned int request, void* arg);
