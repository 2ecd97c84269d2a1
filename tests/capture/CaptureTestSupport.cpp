// Test helpers for the capture tests.
#include "CaptureTestSupport.h"

#include "support/TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>

#include <csignal>
#include <sys/prctl.h>

namespace capturetest {

void CaptureTest::SetUp() {
    testenv::FreshSettings();
}

CCVController& CaptureTest::Open(const QString& camera) {
    controller.reset();
    qputenv("VISTRELCV_CAMERAS", camera.toUtf8());
    controller = std::make_unique<CCVController>(nullptr);
    controller->OpenCamera(0);
    return *controller;
}

MovieFacts ProbeMovie(const QString& path) {
    QProcess probe;
    probe.start("ffprobe",
                {"-v", "error", "-count_frames", "-show_entries",
                 "stream=codec_type,codec_name,profile,pix_fmt,width,height,r_frame_rate,"
                 "sample_rate,nb_read_frames,duration:format=format_name,duration",
                 "-of", "json", path});
    EXPECT_TRUE(probe.waitForFinished(60000));
    const QByteArray errors = probe.readAllStandardError();
    const QJsonObject json = QJsonDocument::fromJson(probe.readAllStandardOutput()).object();
    MovieFacts facts;
    for (const QJsonValue& value : json["streams"].toArray()) {
        const QJsonObject stream = value.toObject();
        if (stream["codec_type"] == "audio") {
            facts.audio = stream["codec_name"].toString() + "/" + stream["sample_rate"].toString();
            facts.audioDuration = stream["duration"].toString().toDouble();
            continue;
        }
        facts.video = QString("%1,%2,%3,%4")
                          .arg(stream["codec_name"].toString(), stream["profile"].toString(),
                               stream["pix_fmt"].toString(), stream["r_frame_rate"].toString());
        facts.size = QSize(stream["width"].toInt(), stream["height"].toInt());
        facts.frames = stream["nb_read_frames"].toString().toInt();
        facts.videoDuration = stream["duration"].toString().toDouble();
    }
    facts.format = json["format"]["format_name"].toString();
    facts.duration = json["format"]["duration"].toString().toDouble();
    const bool mp4 = path.endsWith(".mp4");
    // What phones and browsers play: H.264 in 4:2:0, High profile at most.
    const QRegularExpression expected(mp4 ? "^h264,(High|Main|Constrained Baseline),yuv420p,.*$"
                                          : "^mpeg1video,[^,]*,yuv420p,30/1$");
    EXPECT_TRUE(
        probe.exitCode() == 0 && facts.frames > 0 && expected.match(facts.video).hasMatch() &&
        facts.format.startsWith(mp4 ? "mov,mp4" : "mpeg") && (mp4 || facts.size == QSize(320, 240)))
        << path.toStdString() << ": " << facts.video.toStdString() << " " << facts.size.width()
        << "x" << facts.size.height() << " " << facts.frames << " " << facts.format.toStdString()
        << " " << errors.toStdString();
    if (mp4) { // and GStreamer's player plays it to the end
        QProcess player;
        player.start("gst-launch-1.0", {"playbin", "uri=" + QUrl::fromLocalFile(path).toString(),
                                        "video-sink=fakesink", "audio-sink=fakesink"});
        EXPECT_TRUE(player.waitForFinished(60000) && player.exitCode() == 0)
            << player.errorString().toStdString() << " " << player.readAll().toStdString();
    }
    return facts;
}

bool StartPulseAudio(QProcess& server, const QString& folder, const QStringList& modules) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", folder);
    server.setProcessEnvironment(env);
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    QStringList arguments{"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                          "--log-level=error"};
    for (const QString& module : modules + QStringList{"module-native-protocol-unix"})
        arguments << "-L" << module;
    server.start("pulseaudio", arguments);
    const QString socket = folder + "/pulse/native";
    for (int i = 0; i < 200 && !QFileInfo::exists(socket); ++i)
        QThread::msleep(50);
    qputenv("PULSE_SERVER", QFile::encodeName("unix:" + socket));
    return QFileInfo::exists(socket);
}

} // namespace capturetest

#if defined(__SANITIZE_THREAD__)
// OpenCV's image codecs load GDAL, which takes two of its own mutexes in both orders on one
// thread while registering its drivers; ThreadSanitizer reports that as a potential deadlock.
// It is inside the library, on the test thread alone, and not ours to fix.
// GStreamer and GLib, which are not instrumented, hand their objects between their own threads
// with atomics ThreadSanitizer does not see; it then reports the pipeline's own allocations as
// races. They are inside those libraries too.
// A thread that is not Qt's gets thread data the first time it uses a QObject (the image reader of
// a picture file opened on its own thread); the last reference to it may go on another thread,
// which destroys its wait condition after the first thread woke it, ordered by an atomic inside Qt.
extern "C" const char* __tsan_default_suppressions() {
    return "deadlock:libgdal.so\n"
           "race:libgst\n" // libgstreamer, libgstbase, libgstapp, libgstvideo
           "race:libglib-2.0.so\n"
           "race:QWaitCondition::~QWaitCondition\n"
           "race:libx264.so\n" // its own encoding threads, handing frames over among themselves
           // A picture shared by the view and the recording is freed by whichever lets it go last;
           // OpenCV counts its holders with atomics ThreadSanitizer does not see. (A free while
           // still held would be a use after free, which the AddressSanitizer run catches.)
           "race:cv::Mat::deallocate\n";
}

// The camera reader runs while the tests start ffprobe (and GStreamer its plugin scanner), so the
// process forks with threads alive; the child only executes another program, which is safe, but
// ThreadSanitizer refuses any fork of a threaded process unless told otherwise.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
#endif
