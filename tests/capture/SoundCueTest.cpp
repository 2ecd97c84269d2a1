// Sound cues: lookup, and playing through a private sound server whose output this test reads.
#include "platform/SoundCue.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
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

TEST(SoundCueTest, LookupTakesTheFirstFolderThatHasTheFile) {
    const QString a = testenv::NewFolder("snd-a"), b = testenv::NewFolder("snd-b"),
                  c = testenv::NewFolder("snd-c");
    ASSERT_TRUE(testenv::WriteFile(b + "/rec.wav", {}) && testenv::WriteFile(c + "/rec.wav", {}));
    QDir(a).mkdir("stop.wav"); // a folder by that name is not a sound
    EXPECT_EQ(FindSoundCue("rec.wav", {a, b, c}), b + "/rec.wav");
    EXPECT_EQ(FindSoundCue("stop.wav", {a, b, c}), QString());
    // The build puts the project's cues beside every program that may play them, which is
    // where the lookup starts.
    for (const char* cue : {"rec.wav", "stop.wav", "rel.wav"})
        EXPECT_EQ(FindSoundCue(cue, SoundCueFolders()),
                  QCoreApplication::applicationDirPath() + '/' + cue);
}

namespace {

// A PulseAudio daemon of this test's own with two outputs, each writing 16-bit mono at 44.1 kHz
// into a pipe this test holds open. "speaker" writes in real time into a pipe large enough for
// all a case plays (about 12 s), which the test reads after each case: what is in it was played.
// "stalled" writes into a pipe nobody reads, so a cue played there never ends.
class PrivateSoundServer {
public:
    PrivateSoundServer() : m_folder(testenv::NewFolder("pulse")) {
        // The stalled pipe gets the smallest buffer the kernel allows: no cue fits, so one
        // played there never ends, whatever the sink writes while it idles.
        if (!OpenPipe("speaker", 1 << 20, m_speaker) || !OpenPipe("stalled", 4096, m_stalled))
            return;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", m_folder);
        m_server.setProcessEnvironment(env);
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The daemon would outlive a test that crashes; the kernel ends it with the test.
        m_server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        const QString pipe = " format=s16le rate=44100 channels=1 file=" + m_folder;
        m_server.start("pulseaudio",
                       {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                        "--log-level=error", "-L",
                        "module-pipe-sink sink_name=speaker use_system_clock_for_timing=yes" +
                            pipe + "/speaker",
                        "-L", "module-pipe-sink sink_name=stalled" + pipe + "/stalled", "-L",
                        "module-native-protocol-unix"});
        const QString socket = m_folder + "/pulse/native";
        for (int i = 0; i < 200 && !QFileInfo::exists(socket); ++i)
            QThread::msleep(50);
        m_running = QFileInfo::exists(socket);
        qputenv("PULSE_SERVER", QFile::encodeName("unix:" + socket));
    }
    ~PrivateSoundServer() {
        qunsetenv("PULSE_SERVER");
        qunsetenv("PULSE_SINK");
        Freeze(false);
        m_server.kill();
        m_server.waitForFinished();
        for (const int fd : {m_speaker, m_stalled})
            if (fd >= 0)
                ::close(fd);
    }
    bool Running() const { return m_running; }
    void UseOutput(const char* sink) { qputenv("PULSE_SINK", sink); }
    void Freeze(bool frozen) {
        if (m_server.processId() > 0)
            ::kill(pid_t(m_server.processId()), frozen ? SIGSTOP : SIGCONT);
    }
    // Samples other than silence that reached the speaker since the last call.
    int64_t TakeSounding() {
        int64_t sounding = 0;
        int16_t samples[4096];
        for (ssize_t n; (n = ::read(m_speaker, samples, sizeof samples)) > 0;)
            for (ssize_t i = 0; i < n / 2; ++i)
                sounding += samples[i] != 0;
        return sounding;
    }

private:
    // Makes the pipe `name` in the server's folder, holding `bytes`, open for reading.
    bool OpenPipe(const char* name, int bytes, int& fd) {
        const QByteArray path = QFile::encodeName(m_folder + '/' + name);
        if (::mkfifo(path.constData(), 0600) != 0)
            return false;
        fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
        return fd >= 0 && ::fcntl(fd, F_SETPIPE_SZ, bytes) >= 0;
    }

    QString m_folder;
    QProcess m_server;
    int m_speaker = -1;
    int m_stalled = -1;
    bool m_running = false;
};

} // namespace

// A cue plays to its end through the sound server, and however the server behaves it holds the
// caller no longer than its own length and a second (the bound here adds time for a busy
// machine). rec.wav lasts 0.28 s.
TEST(SoundCueTest, PlaysToItsEndButNeverHoldsTheCallerLongerThanItsLengthAndASecond) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "the sound library's threads and shared-memory rings are not instrumented, so "
                    "ThreadSanitizer reports races inside it; AddressSanitizer covers this test";
#endif
    PrivateSoundServer server;
    ASSERT_TRUE(server.Running()) << "the private PulseAudio daemon did not start";
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
        server.UseOutput(c.output);
        server.Freeze(c.frozen);
        server.TakeSounding();
        const auto start = steady_clock::now();
        PlaySoundCue(c.cue);
        const auto took = steady_clock::now() - start;
        EXPECT_GE(took, c.atLeast);
        EXPECT_LT(took, limit + seconds(3));
        server.Freeze(false);
        QThread::msleep(200); // the speaker's last samples
        EXPECT_GE(server.TakeSounding(), c.sounding);
    }
}
