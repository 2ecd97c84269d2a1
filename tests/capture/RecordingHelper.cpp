// A separate process that records a movie, for the tests that must kill a recording or starve it
// of disk space without harming the test process itself.
//   capture_recording_helper <camera entry> <movie path> [microphone]
// The movie's type follows the path's extension; an MP4 takes its sound from the microphone when
// one is named ("" the desktop's default), as the camera's sound setting gives it to the program.
// Prints "recording" once the recording runs, and records until killed, until the recording
// gives up (exit code 3), or for a minute (exit code 0). Exit code 2 for bad arguments.
#include "capture/CVController.h"
#include "output_files/FiletypeMgr.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4)
        return 2;
    ::setenv("VISTRELCV_CAMERAS", argv[1], 1);
    QCoreApplication app(argc, argv);
    FillFiletypeTables();
    CCVController controller(nullptr);
    controller.OpenCamera(0);
    const QString path = QString::fromLocal8Bit(argv[2]);
    if (argc == 4)
        controller.SetMicrophone(QString::fromLocal8Bit(argv[3]));
    controller.RecordMovie(true, path,
                           g_MovFiletypeMgr.IndexOfExtension(path.section(QLatin1Char('.'), -1)));
    std::printf("recording\n");
    std::fflush(stdout);
    for (int waitedMs = 0; waitedMs < 60000; waitedMs += 20) {
        if (controller.RecordingGaveUp()) {
            controller.RecordMovie(false, QString(), 0);
            return 3;
        }
        QThread::msleep(20);
    }
    controller.RecordMovie(false, QString(), 0);
    return 0;
}
