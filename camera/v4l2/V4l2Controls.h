// The controls of a V4L2 camera on the file the camera is read through: the user and camera
// classes as the driver lists them, menus with only the items the driver answers for, and the
// driver's control events, which say when another program (or the camera) changed one.
#pragma once

#include "camera/CameraControls.h"

#include <QSet>

#include <cstdint>
#include <utility>

class CV4l2Controls : public CCameraControls {
public:
    // `stored`: the user's values, for WriteBeforeStream.
    CV4l2Controls(int fd, CameraControlValues stored) : m_fd(fd), m_stored(std::move(stored)) {}
    // Writes the user's values; called once the camera's buffers are ours (another program that
    // streams from it keeps its settings) and before the stream starts, so the first frames
    // already show them.
    void WriteBeforeStream() { ApplyCameraControls(*this, m_stored); }

    QList<CameraControl> List() override;
    std::optional<int64_t> Set(const CameraControl& control, int64_t value) override;
    bool TakeChanges() override;

private:
    void Subscribe(uint32_t id);

    int m_fd;
    CameraControlValues m_stored;
    QSet<uint32_t> m_subscribed;
};

// The key a control is stored under: the common controls by their id, whatever name the kernel
// gives them (uvcvideo's names changed over the years); the others by their driver's name.
QString V4l2ControlKey(uint32_t id, const QString& name);
