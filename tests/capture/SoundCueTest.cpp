// Sound cues played through a private sound server whose output this test reads.
#include "platform/SoundCue.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Makes the pipe at `path`, holding `bytes`, and opens it for reading without waiting.
int OpenPipe(const QString& path, int bytes) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::mkfifo(name.constData(), 0600) == 0
                       ? ::open(name.constData(), O_RDONLY | O_NONBLOCK)
                       : -1;
    return fd >= 0 && ::fcntl(fd, F_SETPIPE_SZ, bytes) >= 0 ? fd : -1;
}

// Samples other than silence waiting in the pipe `fd`, read out.
int64_t TakeSounding(int fd) {
    int64_t sounding = 0;
    int16_t samples[4096];
    for (ssize_t n; (n = ::read(fd, samples, sizeof samples)) > 0;)
        for (ssize_t i = 0; i < n / 2; ++i)
            sounding += samples[i] != 0;
    return sounding;
}

} // namespace

// A cue plays to its end through the sound server, and however the server behaves it holds the
// caller no longer than its own length and a second (the bound here adds time for a busy
// machine). rec.wav lasts 0.28 s.
// The server is a PulseAudio daemon of this test's own with two outputs, each writing 16-bit
// mono at 44.1 kHz into a pipe the test holds open. "speaker" writes in real time into a pipe
// large enough for all a case plays (about 12 s), read after each case: what is in it was
// played. "stalled" writes into a pipe nobody reads with the smallest buffer the kernel allows:
// no cue fits, so one played there never ends, whatever the sink writes while it idles.
TEST(SoundCueTest, PlaysToItsEndButNeverHoldsTheCallerLongerThanItsLengthAndASecond) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "the sound library's threads and shared-memory rings are not instrumented, so "
                    "ThreadSanitizer reports races inside it; AddressSanitizer covers this test";
#endif
    const QString folder = testenv::NewFolder("pulse");
    const int speaker = OpenPipe(folder + "/speaker", 1 << 20);
    const int stalled = OpenPipe(folder + "/stalled", 4096);
    ASSERT_TRUE(speaker >= 0 && stalled >= 0);
    QProcess server;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", folder);
    server.setProcessEnvironment(env);
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The daemon would outlive a test that crashes; the kernel ends it with the test.
    server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    const QString pipe = " format=s16le rate=44100 channels=1 file=" + folder;
    server.start(
        "pulseaudio",
        {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--log-level=error",
         "-L",
         "module-pipe-sink sink_name=speaker use_system_clock_for_timing=yes" + pipe + "/speaker",
         "-L", "module-pipe-sink sink_name=stalled" + pipe + "/stalled", "-L",
         "module-native-protocol-unix"});
    const QString socket = folder + "/pulse/native";
    for (int i = 0; i < 200 && !QFileInfo::exists(socket); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(QFileInfo::exists(socket)) << "the private PulseAudio daemon did not start";
    qputenv("PULSE_SERVER", QFile::encodeName("unix:" + socket));
    using namespace std::chrono;
    const auto length = milliseconds(280), limit = length + seconds(1);
    const struct {
        const char* what;
        const char* cue;
        const char* output;
        bool frozen;
        milliseconds atLeast;
        int64_t sounding; // at least this many samples heard
    } cases[] = {
        {"played to its end", "rec.wav", "speaker", false, length, 12348 / 2},
        {"missing: the theme's shutter instead", "none.wav", "speaker", false, {}, 1000},
        {"never ends: cancelled", "rec.wav", "stalled", false, limit - milliseconds(50), 0},
        {"server frozen", "rec.wav", "speaker", true, limit - milliseconds(50), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        qputenv("PULSE_SINK", c.output);
        if (c.frozen)
            ::kill(pid_t(server.processId()), SIGSTOP);
        TakeSounding(speaker);
        const auto start = steady_clock::now();
        PlaySoundCue(c.cue);
        const auto took = steady_clock::now() - start;
        EXPECT_GE(took, c.atLeast);
        EXPECT_LT(took, limit + seconds(3));
        ::kill(pid_t(server.processId()), SIGCONT);
        QThread::msleep(200); // the speaker's last samples
        EXPECT_GE(TakeSounding(speaker), c.sounding);
    }
    qunsetenv("PULSE_SERVER");
    qunsetenv("PULSE_SINK");
    server.kill();
    server.waitForFinished();
    ::close(speaker);
    ::close(stalled);
}
