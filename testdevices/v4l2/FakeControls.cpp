#include "FakeControls.h"

#include "Libc.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

struct Control {
    uint32_t id;
    const char* name; // the name v4l2-core gives the id, which uvcvideo reports
    uint32_t type;
    int32_t minimum, maximum, step, defaultValue;
    uint32_t items;     // menus: the items the camera answers for, one bit each
    const char* labels; // menus: "|"-separated, one per index
    uint32_t master;    // uvcvideo: writable only while this control is at `manual`
    int32_t manual;
    bool resetAtStreamOn; // put back to its default by the camera when streaming starts
};

// In id order, as VIDIOC_QUERY_EXT_CTRL with V4L2_CTRL_FLAG_NEXT_CTRL walks them.
const Control kControls[] = {
    {V4L2_CID_BRIGHTNESS, "Brightness", V4L2_CTRL_TYPE_INTEGER, -64, 64, 1, 0, 0, "", 0, 0, true},
    {V4L2_CID_CONTRAST, "Contrast", V4L2_CTRL_TYPE_INTEGER, 0, 64, 1, 32, 0, "", 0, 0, false},
    {V4L2_CID_SATURATION, "Saturation", V4L2_CTRL_TYPE_INTEGER, 0, 128, 1, 64, 0, "", 0, 0, false},
    {V4L2_CID_HUE, "Hue", V4L2_CTRL_TYPE_INTEGER, -40, 40, 1, 0, 0, "", 0, 0, false},
    {V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1, 1, 0,
     "", 0, 0, false},
    {V4L2_CID_GAMMA, "Gamma", V4L2_CTRL_TYPE_INTEGER, 72, 500, 1, 100, 0, "", 0, 0, false},
    {V4L2_CID_GAIN, "Gain", V4L2_CTRL_TYPE_INTEGER, 0, 100, 1, 0, 0, "", 0, 0, false},
    // uvcvideo: UVC 1.1 cameras offer Disabled, 50 Hz and 60 Hz.
    {V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", V4L2_CTRL_TYPE_MENU, 0, 2, 1, 1, 0x7,
     "Disabled|50 Hz|60 Hz", 0, 0, false},
    {V4L2_CID_WHITE_BALANCE_TEMPERATURE, "White Balance Temperature", V4L2_CTRL_TYPE_INTEGER, 2800,
     6500, 10, 4600, 0, "", V4L2_CID_AUTO_WHITE_BALANCE, 0, false},
    {V4L2_CID_SHARPNESS, "Sharpness", V4L2_CTRL_TYPE_INTEGER, 0, 6, 1, 3, 0, "", 0, 0, false},
    {V4L2_CID_BACKLIGHT_COMPENSATION, "Backlight Compensation", V4L2_CTRL_TYPE_INTEGER, 0, 2, 1, 1,
     0, "", 0, 0, false},
    // uvcvideo maps UVC's auto-exposure bitmask to menu items 0-3; this camera has only manual
    // (1) and aperture priority (3), so the others answer no: a menu with gaps.
    {V4L2_CID_EXPOSURE_AUTO, "Auto Exposure", V4L2_CTRL_TYPE_MENU, 0, 3, 1, 3, 0xA,
     "Auto Mode|Manual Mode|Shutter Priority Mode|Aperture Priority Mode", 0, 0, true},
    {V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute", V4L2_CTRL_TYPE_INTEGER, 3, 2047, 1, 250,
     0, "", V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL, false},
    {V4L2_CID_EXPOSURE_AUTO_PRIORITY, "Exposure, Dynamic Framerate", V4L2_CTRL_TYPE_BOOLEAN, 0, 1,
     1, 0, 0, "", 0, 0, false},
    {V4L2_CID_PAN_RESET, "Pan, Reset", V4L2_CTRL_TYPE_BUTTON, 0, 0, 0, 0, 0, "", 0, 0, false},
    {V4L2_CID_FOCUS_ABSOLUTE, "Focus, Absolute", V4L2_CTRL_TYPE_INTEGER, 0, 250, 5, 0, 0, "",
     V4L2_CID_FOCUS_AUTO, 0, false},
    {V4L2_CID_FOCUS_AUTO, "Focus, Automatic Continuous", V4L2_CTRL_TYPE_BOOLEAN, 0, 1, 1, 1, 0, "",
     0, 0, false},
    {V4L2_CID_ZOOM_ABSOLUTE, "Zoom, Absolute", V4L2_CTRL_TYPE_INTEGER, 100, 500, 1, 100, 0, "", 0,
     0, false},
    // v4l2-core makes this id an integer menu (sensor drivers offer it); 1600 is not offered.
    {V4L2_CID_ISO_SENSITIVITY, "ISO Sensitivity", V4L2_CTRL_TYPE_INTEGER_MENU, 0, 4, 1, 0, 0xF,
     "100|200|400|800|1600", 0, 0, false},
};

const Control* Find(uint32_t id) {
    for (const Control& c : kControls)
        if (c.id == id)
            return &c;
    return nullptr;
}

std::string Label(const Control& c, uint32_t index) {
    std::istringstream in(c.labels);
    std::string label;
    for (uint32_t i = 0; i <= index; ++i)
        std::getline(in, label, '|');
    return label;
}

// The key tests read: the name as v4l2-ctl shows it.
std::string Key(const Control& c) {
    std::string key;
    for (const char* p = c.name; *p; ++p) {
        if (std::isalnum(static_cast<unsigned char>(*p)))
            key += char(std::tolower(static_cast<unsigned char>(*p)));
        else if (!key.empty() && key.back() != '_')
            key += '_';
    }
    return key;
}

} // namespace

CFakeControls::CFakeControls(const std::string& node) {
    const size_t slash = node.rfind('/') + 1;
    const std::string base = node.substr(0, slash) + "." + node.substr(slash);
    m_values = base + ".controls";
    m_log = base + ".log";
}

CFakeControls::Values CFakeControls::Read() const {
    return Update(nullptr);
}

// The device's values, changed by `change` (when given) under a lock every process respects.
CFakeControls::Values CFakeControls::Update(void (*change)(Values&, uint32_t, int32_t), uint32_t id,
                                            int32_t value) const {
    Values values;
    for (const Control& c : kControls)
        values[c.id] = {c.defaultValue, c.defaultValue};
    const int fd = libc::Open(m_values.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return values;
    if (flock(fd, change ? LOCK_EX : LOCK_SH) != 0) {
        libc::Close(fd);
        return values;
    }
    std::string text(4096, '\0');
    text.resize(size_t(std::max<ssize_t>(pread(fd, text.data(), text.size(), 0), 0)));
    std::istringstream in(text);
    std::string key;
    for (Value v; in >> key >> v.inForce >> v.reported;)
        for (const Control& c : kControls)
            if (Key(c) == key)
                values[c.id] = v;
    if (change) {
        change(values, id, value);
        text.clear();
        for (const Control& c : kControls)
            text += Key(c) + " " + std::to_string(values[c.id].inForce) + " " +
                    std::to_string(values[c.id].reported) + "\n";
        if (ftruncate(fd, 0) == 0)
            (void)!pwrite(fd, text.data(), text.size(), 0);
    }
    libc::Close(fd);
    return values;
}

uint32_t CFakeControls::Flags(const Values& values, uint32_t id) const {
    const Control& c = *Find(id);
    uint32_t flags = c.type == V4L2_CTRL_TYPE_BUTTON
                         ? V4L2_CTRL_FLAG_WRITE_ONLY | V4L2_CTRL_FLAG_EXECUTE_ON_WRITE
                         : 0;
    // uvcvideo marks a control inactive while its master is not at its manual value.
    if (c.master && values.at(c.master).reported != c.manual)
        flags |= V4L2_CTRL_FLAG_INACTIVE;
    return flags;
}

int CFakeControls::Ioctl(unsigned int request, void* arg) {
    switch (request) {
    case VIDIOC_QUERY_EXT_CTRL: {
        auto& q = *static_cast<v4l2_query_ext_ctrl*>(arg);
        const uint32_t id = q.id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
        const Control* c = nullptr;
        for (const Control& each : kControls)
            if (!c && ((q.id & V4L2_CTRL_FLAG_NEXT_CTRL) ? each.id > id : each.id == id))
                c = &each;
        if (!c)
            return EINVAL;
        q = {};
        q.id = c->id;
        q.type = c->type;
        std::snprintf(q.name, sizeof q.name, "%s", c->name);
        q.minimum = c->minimum;
        q.maximum = c->maximum;
        q.step = uint64_t(c->step);
        q.default_value = c->defaultValue;
        q.flags = Flags(Read(), c->id);
        q.elems = 1;
        q.elem_size = 4;
        return 0;
    }
    case VIDIOC_QUERYMENU: {
        auto& m = *static_cast<v4l2_querymenu*>(arg);
        const Control* c = Find(m.id);
        // uvcvideo answers only the items the camera's bitmask has.
        if (!c || !c->items || m.index > uint32_t(c->maximum) || !(c->items >> m.index & 1))
            return EINVAL;
        const std::string label = Label(*c, m.index);
        if (c->type == V4L2_CTRL_TYPE_INTEGER_MENU)
            m.value = std::atoll(label.c_str());
        else
            std::snprintf(reinterpret_cast<char*>(m.name), sizeof m.name, "%s", label.c_str());
        return 0;
    }
    case VIDIOC_G_CTRL: {
        auto& control = *static_cast<v4l2_control*>(arg);
        const Control* c = Find(control.id);
        if (!c || c->type == V4L2_CTRL_TYPE_BUTTON)
            return c ? EACCES : EINVAL;
        control.value = Read().at(c->id).reported;
        return 0;
    }
    case VIDIOC_S_CTRL:
        return Set(static_cast<v4l2_control*>(arg)->id, static_cast<v4l2_control*>(arg)->value);
    case VIDIOC_SUBSCRIBE_EVENT:
    case VIDIOC_UNSUBSCRIBE_EVENT: {
        const auto& sub = *static_cast<v4l2_event_subscription*>(arg);
        if (sub.type != V4L2_EVENT_CTRL || !Find(sub.id))
            return EINVAL;
        if (request == VIDIOC_UNSUBSCRIBE_EVENT)
            m_seen.erase(sub.id);
        else
            m_seen[sub.id] = {Read().at(sub.id).reported, Flags(Read(), sub.id)};
        return 0;
    }
    case VIDIOC_DQEVENT:
        return Dequeue(*static_cast<v4l2_event*>(arg));
    default:
        return ENOTTY;
    }
}

// As uvcvideo: integers rounded to their step and clamped, booleans clamped, menu items the
// camera lacks refused, and a control whose master is in an automatic mode refused with EACCES.
int CFakeControls::Set(uint32_t id, int32_t value) {
    const Control* c = Find(id);
    if (!c)
        return EINVAL;
    const Values now = Read();
    if (c->master && now.at(c->master).reported != c->manual)
        return EACCES;
    if (c->type == V4L2_CTRL_TYPE_INTEGER)
        value = std::clamp(c->minimum + (value - c->minimum + c->step / 2) / c->step * c->step,
                           c->minimum, c->maximum);
    else if (c->type == V4L2_CTRL_TYPE_BOOLEAN)
        value = std::clamp(value, 0, 1);
    else if (c->items && (value < 0 || value > c->maximum || !(c->items >> value & 1)))
        return EINVAL;
    if (c->type != V4L2_CTRL_TYPE_BUTTON)
        Update([](Values& v, uint32_t i, int32_t x) { v[i] = {x, x}; }, id, value);
    const int log = libc::Open(m_log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    const std::string line = Key(*c) + "=" + std::to_string(value) + "\n";
    if (log >= 0)
        (void)!write(log, line.data(), line.size()), libc::Close(log);
    // This file's own change is no news to it (uvcvideo sends it to the other files only).
    const Values after = Read();
    for (auto& [seen, state] : m_seen)
        state = {after.at(seen).reported, Flags(after, seen)};
    return 0;
}

// A control changed by another file, in this process or another, since this file last looked.
int CFakeControls::Dequeue(v4l2_event& event) {
    const Values now = Read();
    for (auto& [id, state] : m_seen) {
        const std::pair<int32_t, uint32_t> current{now.at(id).reported, Flags(now, id)};
        if (current == state)
            continue;
        event = {};
        event.type = V4L2_EVENT_CTRL;
        event.id = id;
        event.u.ctrl.changes = (current.first != state.first ? V4L2_EVENT_CTRL_CH_VALUE : 0) |
                               (current.second != state.second ? V4L2_EVENT_CTRL_CH_FLAGS : 0);
        event.u.ctrl.value = current.first;
        event.u.ctrl.flags = current.second;
        state = current;
        return 0;
    }
    return ENOENT;
}

// Some cameras' firmware puts controls back to their defaults when streaming starts, while
// uvcvideo's cache goes on reporting the values written before.
void CFakeControls::StreamOn(bool reset) {
    if (!reset)
        return;
    Update(
        [](Values& v, uint32_t, int32_t) {
            for (const Control& c : kControls)
                if (c.resetAtStreamOn)
                    v[c.id].inForce = c.defaultValue;
        },
        0, 0);
}
