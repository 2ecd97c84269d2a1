#include "DeviceSpec.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

const struct {
    uint32_t format;
    const char* name;
    const char* description;
} kFormats[] = {{V4L2_PIX_FMT_YUYV, "YUYV", "YUYV 4:2:2"},
                {V4L2_PIX_FMT_MJPEG, "MJPG", "Motion-JPEG"},
                {V4L2_PIX_FMT_SBGGR8, "BA81", "8-bit Bayer BGBG/GRGR"},
                {V4L2_PIX_FMT_NV12, "NV12", "Y/UV 4:2:0"},
                {V4L2_PIX_FMT_GREY, "GREY", "8-bit Greyscale"},
                {V4L2_PIX_FMT_RGB24, "RGB3", "24-bit RGB 8-8-8"},
                {V4L2_PIX_FMT_H264, "H264", "H.264"}};

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        items.push_back(item);
    return items;
}

void ParseFormats(const std::string& value, DeviceSpec& spec) {
    spec.formats.clear();
    for (const std::string& name : SplitList(value))
        for (const auto& f : kFormats)
            if (name == f.name)
                spec.formats.push_back(f.format);
}

void ParseSizes(const std::string& value, DeviceSpec& spec) {
    spec.sizes.clear();
    for (const std::string& item : SplitList(value)) {
        FrameSize size;
        char x = 0;
        std::istringstream in(item);
        if (in >> size.width >> x >> size.height && x == 'x' && size.width > 1 && size.height > 1)
            spec.sizes.push_back({size.width & ~1, size.height & ~1});
    }
}

int RangeType(const std::string& value) {
    return value == "stepwise"     ? V4L2_FRMSIZE_TYPE_STEPWISE
           : value == "continuous" ? V4L2_FRMSIZE_TYPE_CONTINUOUS
           : value == "none"       ? -1
                                   : 0;
}

bool HasMode(const DeviceSpec& spec, uint32_t format, FrameSize size) {
    const FrameSize nearest = NearestSize(spec, size); // a size offered is its own nearest
    return std::count(spec.formats.begin(), spec.formats.end(), format) &&
           nearest.width == size.width && nearest.height == size.height;
}

void CopyName(__u8* to, size_t capacity, const std::string& from) {
    std::memset(to, 0, capacity);
    std::memcpy(to, from.data(), std::min(capacity - 1, from.size()));
}

int QueryCapabilities(const DeviceSpec& spec, v4l2_capability& cap) {
    cap = {};
    CopyName(cap.driver, sizeof cap.driver, spec.driver);
    CopyName(cap.card, sizeof cap.card, spec.card);
    CopyName(cap.bus_info, sizeof cap.bus_info, spec.bus);
    cap.version = (6 << 16) | (1 << 8);
    cap.device_caps = (spec.metadata ? V4L2_CAP_META_CAPTURE
                       : spec.mplane ? V4L2_CAP_VIDEO_CAPTURE_MPLANE
                                     : V4L2_CAP_VIDEO_CAPTURE) |
                      V4L2_CAP_STREAMING;
    cap.capabilities = cap.device_caps | V4L2_CAP_DEVICE_CAPS;
    return 0;
}

int EnumFormat(const DeviceSpec& spec, v4l2_fmtdesc& desc) {
    if (desc.type != CaptureType(spec) || desc.index >= spec.formats.size())
        return EINVAL;
    const uint32_t format = spec.formats[desc.index];
    const auto* known = std::find_if(std::begin(kFormats), std::end(kFormats),
                                     [&](const auto& f) { return f.format == format; });
    desc.flags = IsCompressed(format) ? V4L2_FMT_FLAG_COMPRESSED : 0;
    desc.pixelformat = format;
    CopyName(desc.description, sizeof desc.description, known->description);
    return 0;
}

int EnumSize(const DeviceSpec& spec, v4l2_frmsizeenum& e) {
    if (!std::count(spec.formats.begin(), spec.formats.end(), e.pixel_format) ||
        e.index >= (spec.sizeRange ? 1 : spec.sizes.size()))
        return EINVAL;
    if (spec.sizeRange) {
        const FrameSize min = spec.sizes.front(), max = spec.sizes.back();
        const uint32_t step = spec.sizeRange == V4L2_FRMSIZE_TYPE_STEPWISE ? 2 : 1;
        e.type = uint32_t(spec.sizeRange);
        e.stepwise = {uint32_t(min.width),  uint32_t(max.width),  step,
                      uint32_t(min.height), uint32_t(max.height), step};
        return 0;
    }
    e.type = V4L2_FRMSIZE_TYPE_DISCRETE;
    e.discrete = {uint32_t(spec.sizes[e.index].width), uint32_t(spec.sizes[e.index].height)};
    return 0;
}

int EnumInterval(const DeviceSpec& spec, v4l2_frmivalenum& e) {
    const FrameSize size{int(e.width), int(e.height)};
    if (spec.rateRange < 0)
        return ENOTTY;
    if (!HasMode(spec, e.pixel_format, size))
        return EINVAL;
    const std::vector<int> rates = ModeRates(e.pixel_format, size);
    if (e.index >= (spec.rateRange ? 1 : rates.size()))
        return EINVAL;
    if (spec.rateRange) {
        constexpr uint32_t k100ns = 10'000'000;
        e.type = uint32_t(spec.rateRange);
        e.stepwise = {{k100ns / uint32_t(rates[0]), k100ns}, {k100ns, k100ns}, {1, k100ns}};
        return 0;
    }
    e.type = V4L2_FRMIVAL_TYPE_DISCRETE;
    e.discrete = {1, uint32_t(rates[e.index])};
    return 0;
}

int EnumInput(v4l2_input& input) {
    if (input.index != 0)
        return EINVAL;
    input = {};
    CopyName(input.name, sizeof input.name, "Camera 1");
    input.type = V4L2_INPUT_TYPE_CAMERA;
    return 0;
}

} // namespace

DeviceSpec ParseDeviceSpec(const std::string& text) {
    DeviceSpec spec;
    ParseFormats("YUYV,MJPG", spec);
    ParseSizes("640x480,1280x720,1920x1080", spec);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const size_t eq = line.find('=');
        const std::string key = line.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
        if (key == "card" || key == "bus" || key == "driver")
            (key == "card" ? spec.card : key == "bus" ? spec.bus : spec.driver) = value;
        else if (key == "formats")
            ParseFormats(value, spec);
        else if (key == "sizes")
            ParseSizes(value, spec);
        else if (key == "metadata" || key == "stall" || key == "eio")
            (key == "metadata" ? spec.metadata
             : key == "stall"  ? spec.stall
                               : spec.eio) = value == "1";
        else if (key == "stray" || key == "mplane")
            (key == "stray" ? spec.stray : spec.mplane) = value == "1";
        else if (key == "damage")
            spec.damage = std::max(0, std::atoi(value.c_str()));
        else if (key == "bandwidth")
            spec.bandwidth = std::max(0LL, std::atoll(value.c_str()));
        else if (key == "size_range" || key == "rate_range")
            (key == "size_range" ? spec.sizeRange : spec.rateRange) = RangeType(value);
        else if (key == "timestamps")
            spec.copyTimestamps = value == "copy";
        else if (key == "timestamp_offset")
            spec.timestampOffset = int64_t(std::atof(value.c_str()) * 1e9);
        else if (key == "fixed_fps")
            spec.fixedFps = std::max(0, std::atoi(value.c_str()));
        else if (key == "streamon_reset")
            spec.streamOnReset = value == "1";
    }
    if (spec.formats.empty())
        ParseFormats("YUYV", spec);
    if (spec.sizes.empty())
        ParseSizes("640x480", spec);
    return spec;
}

std::vector<int> ModeRates(uint32_t format, FrameSize size) {
    int top = 30;
    if (format == V4L2_PIX_FMT_YUYV && int64_t(size.width) * size.height > 640 * 480)
        top = size.width == 1280 && size.height == 720 ? 10 : 5;
    if (top / 2 >= 5)
        return {top, top / 2};
    return {top};
}

int64_t ModeBandwidth(uint32_t format, FrameSize size, int fps) {
    const int64_t pixels = int64_t(size.width) * size.height * fps;
    switch (format) {
    case V4L2_PIX_FMT_YUYV:
        return pixels * 2;
    case V4L2_PIX_FMT_MJPEG:
        return pixels * 2 / 6;
    default:
        return pixels;
    }
}

FrameSize NearestSize(const DeviceSpec& spec, FrameSize wanted) {
    if (spec.sizeRange) {
        const FrameSize min = spec.sizes.front(), max = spec.sizes.back();
        const int step = spec.sizeRange == V4L2_FRMSIZE_TYPE_STEPWISE ? 2 : 1;
        return {std::clamp(wanted.width, min.width, max.width) / step * step,
                std::clamp(wanted.height, min.height, max.height) / step * step};
    }
    FrameSize best = spec.sizes.front();
    int64_t bestDistance = INT64_MAX;
    for (FrameSize s : spec.sizes) {
        const int64_t common =
            int64_t(std::min(s.width, wanted.width)) * std::min(s.height, wanted.height);
        const int64_t distance =
            int64_t(s.width) * s.height + int64_t(wanted.width) * wanted.height - 2 * common;
        if (distance < bestDistance)
            best = s, bestDistance = distance;
    }
    return best;
}

uint32_t CaptureType(const DeviceSpec& spec) {
    return spec.mplane ? V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE : V4L2_BUF_TYPE_VIDEO_CAPTURE;
}

bool IsCompressed(uint32_t format) {
    return format == V4L2_PIX_FMT_MJPEG || format == V4L2_PIX_FMT_H264;
}

uint32_t LineBytes(uint32_t format, FrameSize size) {
    switch (format) {
    case V4L2_PIX_FMT_YUYV:
        return size.width * 2;
    case V4L2_PIX_FMT_RGB24:
        return size.width * 3;
    default:
        return IsCompressed(format) ? 0 : size.width;
    }
}

uint32_t FrameBytes(uint32_t format, FrameSize size) {
    if (format == V4L2_PIX_FMT_NV12)
        return size.width * size.height * 3 / 2;
    return IsCompressed(format) ? size.width * size.height * 2
                                : LineBytes(format, size) * size.height;
}

int AnswerQuery(const DeviceSpec& spec, unsigned int request, void* arg) {
    if (request == VIDIOC_QUERYCAP)
        return QueryCapabilities(spec, *static_cast<v4l2_capability*>(arg));
    if (spec.metadata) // no video formats, inputs or controls on a metadata node
        return request == VIDIOC_ENUM_FMT ? EINVAL : ENOTTY;
    switch (request) {
    case VIDIOC_ENUM_FMT:
        return EnumFormat(spec, *static_cast<v4l2_fmtdesc*>(arg));
    case VIDIOC_ENUM_FRAMESIZES:
        return EnumSize(spec, *static_cast<v4l2_frmsizeenum*>(arg));
    case VIDIOC_ENUM_FRAMEINTERVALS:
        return EnumInterval(spec, *static_cast<v4l2_frmivalenum*>(arg));
    case VIDIOC_ENUMINPUT:
        return EnumInput(*static_cast<v4l2_input*>(arg));
    case VIDIOC_G_INPUT:
        *static_cast<int*>(arg) = 0;
        return 0;
    case VIDIOC_S_INPUT:
        return *static_cast<int*>(arg) == 0 ? 0 : EINVAL;
    case VIDIOC_QUERYCTRL:
    case VIDIOC_QUERY_EXT_CTRL:
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL:
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS:
    case VIDIOC_TRY_EXT_CTRLS:
        return EINVAL; // no controls
    default:
        return ENOTTY;
    }
}
