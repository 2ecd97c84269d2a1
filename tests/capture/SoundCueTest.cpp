// Sound cues played through a private sound server.
#include "platform/SoundCue.h"
#include "CaptureTestSupport.h"
#include "platform/BackgroundThreads.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
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

} // namespace

// A cue plays to its end through the sound server, and however the server behaves it holds the
// caller no longer than its own length and a second (the bound here adds time for a busy
// machine). rec.wav lasts 0.28 s, the theme's shutter 0.87 s.
// The server is a PulseAudio daemon of this test's own with two outputs. "speaker" plays in real
// time into nothing. "stalled" writes 16-bit mono at 44.1 kHz into a pipe the test holds open but
// never reads, with the smallest buffer the kernel allows: no cue fits, so one played there never
// ends, whatever the sink writes while it idles.
TEST(SoundCueTest, PlaysToItsEndButNeverHoldsTheCallerLongerThanItsLengthAndASecond) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "the sound library's threads and shared-memory rings are not instrumented, so "
                    "ThreadSanitizer reports races inside it; AddressSanitizer covers this test";
#endif
    const QString folder = testenv::NewFolder("pulse");
    const int stalled = OpenPipe(folder + "/stalled", 4096);
    ASSERT_GE(stalled, 0);
    QProcess server;
    ASSERT_TRUE(capturetest::StartPulseAudio(
        server, folder,
        {"module-null-sink sink_name=speaker",
         "module-pipe-sink sink_name=stalled format=s16le rate=44100 channels=1 file=" + folder +
             "/stalled"}))
        << "the private PulseAudio daemon did not start";
    using namespace std::chrono;
    const auto length = milliseconds(280), limit = length + seconds(1);
    const struct {
        const char* what;
        const char* cue;
        const char* output;
        bool frozen;
        milliseconds atLeast;
    } cases[] = {
        {"played to its end", "rec.wav", "speaker", false, length},
        {"missing: the theme's shutter instead", "none.wav", "speaker", false, milliseconds(800)},
        {"never ends: cancelled", "rec.wav", "stalled", false, limit - milliseconds(50)},
        {"server frozen", "rec.wav", "speaker", true, limit - milliseconds(50)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        qputenv("PULSE_SINK", c.output);
        if (c.frozen)
            ::kill(pid_t(server.processId()), SIGSTOP);
        const auto start = steady_clock::now();
        PlaySoundCue(c.cue);
        const auto took = steady_clock::now() - start;
        EXPECT_GE(took, c.atLeast);
        EXPECT_LT(took, limit + seconds(3));
        // Left behind on a frozen server, and counted so the program's exit does not run under it.
        EXPECT_TRUE(!c.frozen || BackgroundThreadsRunning() > 0);
        ::kill(pid_t(server.processId()), SIGCONT);
    }
    qunsetenv("PULSE_SERVER");
    qunsetenv("PULSE_SINK");
    server.kill();
    server.waitForFinished();
    ::close(stalled);
}
