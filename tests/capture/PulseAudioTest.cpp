// The movie's sound on a plain PulseAudio desktop: a private PulseAudio daemon whose microphone
// clicks when the test camera flashes.
#include "CaptureTestSupport.h"
#include "SoundSync.h"

#include "capture/Shutter.h"
#include "output_files/ImgFileMgr.h"
#include "output_files/MediaKind.h"
#include "platform/Microphone.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace capturetest;
using namespace std::chrono_literals;

namespace {

// A card's microphone as PulseAudio's ALSA source sees it: each 20 ms period of 48 kHz float
// samples arrives once the card has captured it. Here they are written, as each period ends, into
// the pipe a module-pipe-source reads; silent but for a 1 ms click at each whole second of the
// steady clock (when the test camera flashes). `first` is when the first period ends: a card
// that takes a while to wake (a suspended one, a Bluetooth headset) sends nothing before it. A
// period the pipe has no room for is lost, as a card overruns when its sound is not read.
class ClickingPipe {
public:
    ClickingPipe(const QString& path, std::chrono::steady_clock::time_point first)
        : m_thread([this, path, first](std::stop_token stop) { Run(path, first, stop); }) {}

private:
    static constexpr int kRate = 48000, kPeriod = kRate / 50;

    static void Run(const QString& path, std::chrono::steady_clock::time_point first,
                    std::stop_token stop) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0) << path.toStdString();
        const auto start = std::chrono::ceil<std::chrono::milliseconds>(first.time_since_epoch());
        std::vector<float> period(kPeriod);
        for (int64_t n = start.count() * kRate / 1000 / kPeriod; !stop.stop_requested(); ++n) {
            std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
                std::chrono::milliseconds((n + 1) * kPeriod * 1000 / kRate)));
            for (int i = 0; i < kPeriod; ++i)
                period[size_t(i)] = (n * kPeriod + i) % kRate < kRate / 1000 ? 0.9f : 0.0f;
            // A period is less than the pipe's atomic size: written whole or not at all.
            if (::write(fd, period.data(), period.size() * sizeof(float)) < 0 && errno != EAGAIN)
                break;
        }
        ::close(fd);
    }

    std::jthread m_thread;
};

} // namespace

// A plain PulseAudio desktop's microphone is listed and recorded into the MP4, each click within
// a frame period of its flash, also when its first sound comes 2 s after the recording opened it.
// Each recording has a daemon of its own, so each starts on a card that has just woken.
TEST_F(CaptureTest, PlainPulseAudioMicrophoneKeepsToThePicture) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "the sound library's threads are not instrumented, so ThreadSanitizer reports "
                    "races inside it; AddressSanitizer covers this test";
#endif
    Open("testsrc:640x480@30,flash");
    g_UserDefault.WriteString(kMovFiletype.key, "mp4");
    g_UserDefault.WriteInt(kMovAudio.key, 1);
    const QString folder = testenv::NewFolder("movies");
    for (const auto wakes : {0s, 2s}) {
        SCOPED_TRACE("first sound after " + std::to_string(wakes.count()) + " s");
        const QString runtime = testenv::NewFolder(QString("pulse%1").arg(wakes.count()));
        QProcess server;
        ASSERT_TRUE(StartPulseAudio(server, runtime,
                                    {"module-pipe-source source_name=card format=float32le "
                                     "rate=48000 channels=1 "
                                     "source_properties=device.description=Card file=" +
                                     runtime + "/card"}))
            << "the private PulseAudio daemon did not start";
        const auto stop = qScopeGuard([&server] {
            qunsetenv("PULSE_SERVER");
            server.kill();
            server.waitForFinished();
        });
        const QList<MicrophoneInfo> microphones = CMicrophone::List(10s);
        ASSERT_EQ(microphones.size(), 1);
        EXPECT_EQ(microphones[0].name, "card");
        EXPECT_EQ(microphones[0].description, "Card");

        const ClickingPipe card(runtime + "/card", std::chrono::steady_clock::now() + wakes);
        const auto movies = LoadImgFileMgr(CAMMODE_MOV, folder);
        const QString movie =
            folder + QString("/mov%1.mp4").arg(movies->SerialNumber(), 5, 10, QLatin1Char('0'));
        ASSERT_EQ(StartMovie(*movies, *controller), 0);
        std::this_thread::sleep_for(wakes + 6s);
        EXPECT_FALSE(controller->RecordingWithoutSound());
        controller->RecordMovie(false, QString(), 0);
        EXPECT_EQ(ProbeMovie(movie).audio, "aac/48000");
        const ClicksAndFlashes found = MatchClicksToFlashes(movie);
        EXPECT_GE(found.clicks.size(), 4);
        for (const double offset : found.offsets)
            EXPECT_NEAR(offset, 0, 1.0 / 30);
    }
}
