// V4L2 controls: VIDIOC_QUERY_EXT_CTRL, VIDIOC_QUERYMENU, G_CTRL and S_CTRL, and control events.
#include "camera/v4l2/V4l2Controls.h"

#include "camera/v4l2/V4l2Devices.h"

#include <cerrno>
#include <cstring>

#include <linux/videodev2.h>
#include <sys/ioctl.h>

namespace {

// A driver that lists absurd menus is not followed further than this.
constexpr int64_t kMaxMenuItems = 64;

const struct {
    uint32_t id;
    const char* key;
    bool automatic;
} kCommonControls[] = {
    {V4L2_CID_BRIGHTNESS, "brightness", false},
    {V4L2_CID_CONTRAST, "contrast", false},
    {V4L2_CID_SATURATION, "saturation", false},
    {V4L2_CID_HUE, "hue", false},
    {V4L2_CID_HUE_AUTO, "hue_automatic", true},
    {V4L2_CID_GAMMA, "gamma", false},
    {V4L2_CID_SHARPNESS, "sharpness", false},
    {V4L2_CID_BACKLIGHT_COMPENSATION, "backlight_compensation", false},
    {V4L2_CID_GAIN, "gain", false},
    {V4L2_CID_AUTOGAIN, "gain_automatic", true},
    {V4L2_CID_AUTO_WHITE_BALANCE, "white_balance_automatic", true},
    {V4L2_CID_WHITE_BALANCE_TEMPERATURE, "white_balance_temperature", false},
    {V4L2_CID_EXPOSURE_AUTO, "auto_exposure", true},
    {V4L2_CID_EXPOSURE_ABSOLUTE, "exposure_time_absolute", false},
    {V4L2_CID_EXPOSURE_AUTO_PRIORITY, "exposure_dynamic_framerate", false},
    {V4L2_CID_FOCUS_AUTO, "focus_automatic_continuous", true},
    {V4L2_CID_FOCUS_ABSOLUTE, "focus_absolute", false},
    {V4L2_CID_POWER_LINE_FREQUENCY, "power_line_frequency", false},
    {V4L2_CID_ZOOM_ABSOLUTE, "zoom_absolute", false},
    {V4L2_CID_PAN_ABSOLUTE, "pan_absolute", false},
    {V4L2_CID_TILT_ABSOLUTE, "tilt_absolute", false},
};

QString FixedText(const char* text, size_t size) {
    return QString::fromUtf8(text, qsizetype(strnlen(text, size)));
}

std::optional<CameraControl::Kind> KindOf(uint32_t type) {
    switch (type) {
    case V4L2_CTRL_TYPE_INTEGER:
        return CameraControl::Kind::Integer;
    case V4L2_CTRL_TYPE_BOOLEAN:
        return CameraControl::Kind::Boolean;
    case V4L2_CTRL_TYPE_MENU:
        return CameraControl::Kind::Menu;
    case V4L2_CTRL_TYPE_INTEGER_MENU:
        return CameraControl::Kind::IntegerMenu;
    case V4L2_CTRL_TYPE_BUTTON:
        return CameraControl::Kind::Button;
    default:
        return std::nullopt; // strings, 64-bit and compound controls are not offered
    }
}

// Menus have gaps: UVC's auto-exposure items are bits the camera may or may not have.
QList<CameraControl::Item> MenuItems(int fd, const v4l2_query_ext_ctrl& query) {
    QList<CameraControl::Item> items;
    const int64_t last = std::min<int64_t>(query.maximum, query.minimum + kMaxMenuItems - 1);
    for (int64_t index = std::max<int64_t>(query.minimum, 0); index <= last; ++index) {
        v4l2_querymenu menu{};
        menu.id = query.id;
        menu.index = uint32_t(index);
        if (V4l2Ioctl(fd, VIDIOC_QUERYMENU, &menu) != 0)
            continue;
        const QString label =
            query.type == V4L2_CTRL_TYPE_INTEGER_MENU
                ? QString::number(static_cast<long long>(menu.value))
                : FixedText(reinterpret_cast<const char*>(menu.name), sizeof menu.name);
        items.append({index, label});
    }
    return items;
}

bool ReadValue(int fd, uint32_t id, int64_t& value) {
    v4l2_control control{id, 0};
    if (V4l2Ioctl(fd, VIDIOC_G_CTRL, &control) != 0)
        return false;
    value = control.value;
    return true;
}

} // namespace

QString V4l2ControlKey(uint32_t id, const QString& name) {
    for (const auto& common : kCommonControls) {
        if (common.id == id)
            return QLatin1String(common.key);
    }
    return ControlKeyOfName(name);
}

QList<CameraControl> CV4l2Controls::List() {
    QList<CameraControl> controls;
    v4l2_query_ext_ctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (V4l2Ioctl(m_fd, VIDIOC_QUERY_EXT_CTRL, &query) == 0) {
        const uint32_t id = query.id;
        const uint32_t kind = V4L2_CTRL_ID2CLASS(id);
        const std::optional<CameraControl::Kind> type = KindOf(query.type);
        if ((kind == V4L2_CTRL_CLASS_USER || kind == V4L2_CTRL_CLASS_CAMERA) && type &&
            !(query.flags & V4L2_CTRL_FLAG_DISABLED)) {
            CameraControl control;
            control.id = id;
            control.name = FixedText(query.name, sizeof query.name);
            control.key = V4l2ControlKey(id, control.name);
            control.kind = *type;
            control.minimum = query.minimum;
            control.maximum = query.maximum;
            control.step = std::max<uint64_t>(query.step, 1);
            control.defaultValue = query.default_value;
            control.value = query.default_value;
            control.inactive = query.flags & V4L2_CTRL_FLAG_INACTIVE;
            control.readOnly = query.flags & V4L2_CTRL_FLAG_READ_ONLY;
            control.grabbed = query.flags & V4L2_CTRL_FLAG_GRABBED;
            for (const auto& common : kCommonControls)
                control.automatic |= common.id == id && common.automatic;
            if (*type == CameraControl::Kind::Menu || *type == CameraControl::Kind::IntegerMenu)
                control.items = MenuItems(m_fd, query);
            if (*type != CameraControl::Kind::Button && !(query.flags & V4L2_CTRL_FLAG_WRITE_ONLY))
                ReadValue(m_fd, id, control.value);
            control.minimum = std::max<int64_t>(control.minimum, INT32_MIN);
            control.maximum = std::min<int64_t>(control.maximum, INT32_MAX);
            controls << control;
            Subscribe(id);
        }
        query = {};
        query.id = id | V4L2_CTRL_FLAG_NEXT_CTRL;
    }
    return controls;
}

std::optional<int64_t> CV4l2Controls::Set(const CameraControl& control, int64_t value) {
    v4l2_control write{control.id, int32_t(value)};
    if (V4l2Ioctl(m_fd, VIDIOC_S_CTRL, &write) != 0)
        return std::nullopt;
    if (control.kind == CameraControl::Kind::Button)
        return value;
    int64_t inForce = value;
    ReadValue(m_fd, control.id, inForce);
    return inForce;
}

void CV4l2Controls::Subscribe(uint32_t id) {
    if (m_subscribed.contains(id))
        return;
    m_subscribed.insert(id);
    v4l2_event_subscription subscription{};
    subscription.type = V4L2_EVENT_CTRL;
    subscription.id = id;
    V4l2Ioctl(m_fd, VIDIOC_SUBSCRIBE_EVENT, &subscription); // a driver without events just says no
}

bool CV4l2Controls::TakeChanges() {
    bool changed = false;
    v4l2_event event{};
    // The file is non-blocking: an empty queue answers ENOENT at once.
    for (int i = 0; i < 256 && V4l2Ioctl(m_fd, VIDIOC_DQEVENT, &event) == 0; ++i)
        changed |= event.type == V4L2_EVENT_CTRL;
    return changed;
}
