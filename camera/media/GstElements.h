// GStreamer pipelines (VISTRELCV_CAMERAS entries with a "!"): which of the elements a pipeline
// names this system lacks, so that a missing plugin is reported as such rather than as a camera
// that is not connected.
#pragma once

#include <QString>
#include <QStringList>

// The element names in `pipeline` (gst-launch syntax) that no installed plugin provides; empty
// when every one is installed or GStreamer cannot start.
QStringList MissingGstElements(const QString& pipeline);
