// The video sources of the desktop's PipeWire daemon: libcamera cameras, virtual cameras and the
// V4L2 cameras PipeWire itself serves. They are listed through PipeWire's registry, on the
// connection the camera portal handed out when the program uses the portal, else directly.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>

struct PipeWireCamera {
    uint32_t id = 0;     // the node's id in this daemon (reused after the node goes)
    QString serial;      // object.serial: never reused while the daemon runs
    QString nodeName;    // node.name: what the camera is opened by and known again by
    QString description; // node.description: the name shown to the user
    QString objectPath;  // object.path ("v4l2:/dev/video0", "libcamera:...")
    QString v4l2Path;    // the V4L2 node PipeWire takes the camera from, empty when none
};

// How long a listing waits for the daemon's answer before giving up with what it has.
inline constexpr std::chrono::milliseconds kPipeWireListLimit{1500};

// The Video/Source nodes of the daemon reached through `remoteFd` (a connection the portal gave;
// the caller keeps it) or, when it is negative, of the user's own daemon. Empty, at once, when no
// daemon runs.
QList<PipeWireCamera> ListPipeWireCamerasOn(int remoteFd);
// ListPipeWireCamerasOn the connection the program uses (see CameraPortal.h): the portal's when
// the program goes through the portal, none when the portal refused, else the direct one.
QList<PipeWireCamera> ListPipeWireCameras();
// The identity a PipeWire camera is known again by: its node.name, else its object.path.
QString PipeWireCameraIdentity(const PipeWireCamera& camera);
// The camera with `identity` in `cameras`; null when it is not there.
const PipeWireCamera* FindPipeWireCamera(const QList<PipeWireCamera>& cameras,
                                         const QString& identity);
// The cameras that are not the V4L2 nodes `v4l2Paths` (listed as V4L2 cameras already), in order.
QList<PipeWireCamera> PipeWireOnlyCameras(const QList<PipeWireCamera>& cameras,
                                          const QStringList& v4l2Paths);

// A PipeWire camera in the camera list (and in VISTRELCV_CAMERAS): "pipewire:" and its identity.
inline const QString kPipeWireLocationPrefix = QStringLiteral("pipewire:");
