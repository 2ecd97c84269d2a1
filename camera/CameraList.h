// The camera list: camera index i is the camera stored under number i (its identity in that
// camera's settings), else the next camera in list order: the V4L2 devices that capture video in
// device order (metadata and raw Bayer nodes skipped), then the cameras only PipeWire serves
// ("pipewire:NODE", see PipeWireCameras.h). VISTRELCV_CAMERAS replaces the list with its
// ";"-separated entries: device paths, video or image files, stream URLs, GStreamer pipelines,
// "pipewire:NODE", or "testsrc[:WxH@FPS]". Opening a camera is the choice of its way in; that
// way's own code does the rest.
#pragma once

#include "camera/CameraSource.h"

#include <QStringList>

class CCameraControlBoard;

// The cameras by index: entry i is what camera i opens now. With identities stored, an entry in
// the middle may be empty (that camera is away and no other may take its number).
QList<CameraInfo> ListCameras(const StoredCameraIds& stored = {});

// The opener of camera `index` as the list stands now; empty when there is no such camera. A V4L2
// camera is found again by its identity wherever it appears after being unplugged, opened in the
// mode of `size` when it offers that size (else its best mode), and after a start refused for
// lack of USB bandwidth tried again in the next smaller mode. Any other entry is simply opened
// again. A camera with controls gets the values `controls` holds at every open.
CameraOpener CameraOpenerFor(int index, const StoredCameraIds& stored = {},
                             std::optional<QSize> size = std::nullopt,
                             std::shared_ptr<const CCameraControlBoard> controls = nullptr);
// The opener of one camera of the list.
CameraOpener CameraOpenerFor(const CameraInfo& camera, std::optional<QSize> size = std::nullopt,
                             std::shared_ptr<const CCameraControlBoard> controls = nullptr);
// Opens camera `index` once; null when there is no such camera or it does not open.
std::unique_ptr<CCameraSource> OpenCameraSource(int index, const StoredCameraIds& stored = {});

// The GStreamer elements camera `index` names that no installed plugin provides; empty when
// that camera is no pipeline (see GstElements.h).
QStringList MissingGstElementsOfCamera(int index);
