// A separate process that records a movie, for the tests that must kill a recording or starve it
// of disk space without harming the test process itself.
//   capture_recording_helper <camera entry> <movie path> <seconds>
// Prints "recording" once the recording runs. Exit code 0 after a normal stop, 3 when the
// recording gave up, 2 for bad arguments.
#include "capture/CVController.h"
#include "output_files/FiletypeMgr.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    ::setenv("VISTRELCV_CAMERAS", argv[1], 1);
    QCoreApplication app(argc, argv);
    FillFiletypeTables();
    CCVController controller(nullptr);
    controller.OpenCamera(0);
    controller.RecordMovie(true, QString::fromLocal8Bit(argv[2]), 0);
    std::printf("recording\n");
    std::fflush(stdout);
    QElapsedTimer clock;
    clock.start();
    const qint64 limitMs = qint64(std::atof(argv[3]) * 1000);
    while (clock.elapsed() < limitMs) {
        if (controller.RecordingGaveUp()) {
            controller.RecordMovie(false, QString(), 0);
            return 3;
        }
        QThread::msleep(20);
    }
    controller.RecordMovie(false, QString(), 0);
    return 0;
}
