// What a camera can deliver (pixel format, size, rate) and which of it the program uses: the
// largest size up to 1920 x 1080 that reaches 25 fps, raw where raw reaches it and MJPEG where
// only MJPEG does, unless the user chose a size. Pure rules, so they can be tested alone.
#pragma once

#include <QList>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>

struct CameraMode {
    uint32_t fourcc = 0; // V4L2 pixel format ("YUYV", "MJPG", ...)
    QSize size;
    double fps = 0; // the highest rate of this format at this size; 0: not known
    bool operator==(const CameraMode&) const = default;
};

// Formats the program decodes: raw YUV, grey and RGB, MJPEG, H264. Raw Bayer and the like are
// left out of a camera's modes.
bool IsRawFormat(uint32_t fourcc);
bool IsMjpegFormat(uint32_t fourcc);
bool IsH264Format(uint32_t fourcc);
bool IsUsableFormat(uint32_t fourcc);

// The mode the camera opens in: of `requested` size when the camera offers it, else chosen
// automatically (sizes above 1920 x 1080 only when the camera offers no other): the largest at
// 25 fps or more, else the fastest at 15 fps or more, else the largest at its best rate; nothing
// when the camera lists no usable mode (the driver's default then).
std::optional<CameraMode> ChooseCameraMode(const QList<CameraMode>& modes,
                                           std::optional<QSize> requested = std::nullopt);
// The mode to try when `failed` could not start for lack of USB bandwidth: MJPEG at the same size
// when `failed` was raw, else the best mode of the next smaller size; nothing when none is left.
std::optional<CameraMode> SmallerCameraMode(const QList<CameraMode>& modes,
                                            const CameraMode& failed);
// The mode to try when `failed` gave nothing but damaged frames: another format at the same size
// (MJPEG, then raw, then H264), else the best mode of the next smaller size; nothing when none is
// left.
std::optional<CameraMode> ModeAfterDamage(const QList<CameraMode>& modes, const CameraMode& failed);
// Moves an opener's `mode` on to ModeAfterDamage, saying so in the log; kept where none is left.
void StepPastDamagedMode(const QList<CameraMode>& modes, std::optional<CameraMode>& mode);

// Each size the camera offers, largest first, in the mode the camera would open in at that size
// (so with that format's rate, not the best of any format).
QList<CameraMode> CameraSizes(const QList<CameraMode>& modes);
// The sizes offered of a camera that takes any size from `min` to `max` in steps of `step` (a
// scaler, a sensor read out at any size): the common picture sizes inside the range, each moved
// down onto its steps, and the largest; largest first.
QList<QSize> SizesInRange(QSize min, QSize max, QSize step);
// "1920 × 1080 (30 fps)", as the menu lists a size ("1920 × 1080" when its rate is not known).
QString DescribeCameraSize(const CameraMode& mode);

// The stored form of a chosen size: "1280x720"; empty for automatic.
QString CaptureSizeText(std::optional<QSize> size);
std::optional<QSize> ParseCaptureSize(const QString& text);
