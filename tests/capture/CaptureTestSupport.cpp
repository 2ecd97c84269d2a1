// Test helpers for the capture tests.
#include "CaptureTestSupport.h"

#include "capture/CaptureStateEvent.h"

#include <QFile>
#include <QProcess>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace capturetest {

MovieFacts ProbeMovie(const QString& path) {
    MovieFacts facts;
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                 QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                 QStringLiteral("-show_entries"),
                 QStringLiteral("stream=codec_name,width,height,r_frame_rate,nb_read_frames:"
                                "format=format_name,duration"),
                 QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), path});
    if (!probe.waitForFinished(60000))
        return facts;
    facts.errors = QString::fromUtf8(probe.readAllStandardError());
    const QStringList lines = QString::fromUtf8(probe.readAllStandardOutput()).split('\n');
    for (const QString& line : lines) {
        const QString key = line.section('=', 0, 0);
        const QString value = line.section('=', 1);
        if (key == QLatin1String("codec_name"))
            facts.codec = value;
        else if (key == QLatin1String("width"))
            facts.width = value.toInt();
        else if (key == QLatin1String("height"))
            facts.height = value.toInt();
        else if (key == QLatin1String("r_frame_rate"))
            facts.frameRate = value;
        else if (key == QLatin1String("nb_read_frames"))
            facts.decodedFrames = value.toInt();
        else if (key == QLatin1String("format_name"))
            facts.container = value;
        else if (key == QLatin1String("duration"))
            facts.duration = value.toDouble();
    }
    facts.ok = probe.exitCode() == 0 && !facts.codec.isEmpty();
    return facts;
}

QList<cv::Mat> DecodeMovie(const QString& path) {
    QList<cv::Mat> frames;
    cv::VideoCapture reader(QFile::encodeName(path).toStdString(), cv::CAP_FFMPEG);
    cv::Mat frame;
    while (reader.read(frame))
        frames << frame.clone();
    return frames;
}

bool CStateRecorder::event(QEvent* e) {
    if (e->type() == static_cast<QEvent::Type>(WM_CAPTURE_STATE)) {
        const auto* state = static_cast<CCaptureStateEvent*>(e);
        states << qMakePair(state->WParam(), state->LParam());
        return true;
    }
    return QObject::event(e);
}

CCameraList::CCameraList(const QString& entries) {
    qputenv("VISTRELCV_CAMERAS", entries.toUtf8());
}

CCameraList::~CCameraList() {
    qunsetenv("VISTRELCV_CAMERAS");
}

cv::Mat WriteTestImage(const QString& path, cv::Size size) {
    cv::Mat image(size, CV_8UC3);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x)
            image.at<cv::Vec3b>(y, x) = cv::Vec3b(
                uchar(x * 255 / size.width), uchar(y * 255 / size.height), uchar((x * y) % 256));
    cv::rectangle(image, cv::Rect(0, 0, size.width / 4, size.height / 4), cv::Scalar(255, 255, 255),
                  cv::FILLED);
    cv::imwrite(QFile::encodeName(path).toStdString(), image);
    return image;
}

bool WriteTestVideo(const QString& path, cv::Size size, int frames, double fps) {
    cv::VideoWriter writer(QFile::encodeName(path).toStdString(), cv::CAP_FFMPEG,
                           cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, size);
    if (!writer.isOpened())
        return false;
    for (int i = 0; i < frames; ++i) {
        cv::Mat frame(size, CV_8UC3, cv::Scalar(40 * i % 256, 100, 200 - 10 * i));
        cv::rectangle(frame, cv::Rect(0, 0, size.width / 3, size.height / 3),
                      cv::Scalar(255, 255, 255), cv::FILLED);
        cv::putText(frame, std::to_string(i), cv::Point(size.width / 2, size.height / 2),
                    cv::FONT_HERSHEY_SIMPLEX, 1.0, cv::Scalar(0, 0, 0), 2);
        writer.write(frame);
    }
    return true;
}

} // namespace capturetest

#if defined(__SANITIZE_THREAD__)
// OpenCV's image codecs load GDAL, which takes two of its own mutexes in both orders on one
// thread while registering its drivers; ThreadSanitizer reports that as a potential deadlock.
// It is inside the library, on the test thread alone, and not ours to fix.
extern "C" const char* __tsan_default_suppressions() {
    return "deadlock:libgdal.so\n";
}
#endif
