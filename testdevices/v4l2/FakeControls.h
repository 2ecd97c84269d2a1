// The controls of a test device, as uvcvideo offers a UVC webcam's. Their values belong to the
// device, not to one open file or process: they live in ".videoN.controls" beside the node
// ("key in-force reported" lines), and every write that reaches the camera is appended to
// ".videoN.log" ("key=value"), so tests see what was written in which order. A replugged camera
// (a new node) starts from its defaults, as a camera does after losing power.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct v4l2_event;

class CFakeControls {
public:
    explicit CFakeControls(const std::string& node);
    // QUERY_EXT_CTRL, QUERYMENU, G_CTRL, S_CTRL and the event calls: 0 or an errno value.
    int Ioctl(unsigned int request, void* arg);
    // Streaming starts; `reset`: the camera puts two controls back to their defaults.
    void StreamOn(bool reset);

private:
    struct Value {
        int32_t inForce = 0;  // what the camera works with
        int32_t reported = 0; // what the driver reports (uvcvideo keeps a cache)
    };
    using Values = std::map<uint32_t, Value>;
    Values Read() const;
    Values Update(void (*change)(Values&, uint32_t, int32_t), uint32_t id = 0,
                  int32_t value = 0) const;
    uint32_t Flags(const Values& values, uint32_t id) const;
    int Set(uint32_t id, int32_t value);
    int Dequeue(v4l2_event& event);

    std::string m_values, m_log;
    std::map<uint32_t, std::pair<int32_t, uint32_t>> m_seen; // subscribed: value and flags seen
};
