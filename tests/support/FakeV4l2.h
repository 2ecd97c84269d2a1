// A folder of V4L2 test device nodes for a test, with cameras plugged, unplugged and replugged on
// cue. The device (testdevices/v4l2) answers for them in processes that preload it or link it,
// with FAKEV4L2_ROOT naming the folder: Create sets that, and VISTRELCV_DEVICE_ROOT for the
// program's device scan, in this process's environment, which child processes inherit. Also the
// fixture of tests on those cameras.
#pragma once

#include "capture/CVController.h"

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <map>
#include <memory>

class FakeV4l2 {
public:
    // Makes the empty folder `root` (removing an older one) and points the variables at it.
    bool Create(const QString& root);
    // Adds node `number` ("videoN") with the description text (`key=value` lines), and the link
    // "v4l/by-id/<byIdName>" to it unless the name is empty.
    bool AddCamera(int number, const QString& spec, const QString& byIdName = {});
    // Removes node `number` and its by-id links: every open file of it fails with ENODEV.
    bool Unplug(int number);
    // Plugs the camera of node `from` (unplugged first if it is still there) in again as node
    // `to`, with its spec and by-id links.
    bool Replug(int from, int to);

    QString Node(int number) const;

private:
    struct Camera {
        QByteArray spec;
        QStringList links; // by-id names
    };

    QString m_root;
    std::map<int, Camera> m_unplugged;
};

// A test on the device's cameras: fresh settings of camera 0, the cameras found by the program's
// device scan in a new folder of the private home, and a controller, ended before the variables
// are unset.
class FakeV4l2Test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    FakeV4l2 device;
    std::unique_ptr<CCVController> controller;
};
