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

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

TEST(SoundCueTest, LookupTakesTheFirstFolderThatHasTheFile) {
    const QString a = testenv::NewFolder("snd-a"), b = testenv::NewFolder("snd-b"),
                  c = testenv::NewFolder("snd-c");
    ASSERT_TRUE(testenv::WriteFile(b + "/rec.wav", {}) && testenv::WriteFile(c + "/rec.wav", {}));
    QDir(a).mkdir("stop.wav"); // a folder by that name is not a sound
    EXPECT_EQ(FindSoundCue("rec.wav", {a, b, c}), b + "/rec.wav");
    EXPECT_EQ(FindSoundCue("stop.wav", {a, b, c}), QString());

    // The executable's folder first, then the user's data folder; the build puts the project's
    // cues beside every program that may play them.
    const QStringList folders = SoundCueFolders();
    const QString exeDir = QCoreApplication::applicationDirPath();
    ASSERT_GE(folders.size(), 2);
    EXPECT_EQ(folders.first(), exeDir);
    EXPECT_EQ(folders.at(1), testenv::Home() + "/.local/share/vistrelcv/sounds");
    // Last, the data folder of the prefix the program runs from, so an install anywhere finds
    // its own cues.
    EXPECT_EQ(folders.last(), QDir::cleanPath(exeDir + "/../share/vistrelcv/sounds"));
    for (const char* cue : {"rec.wav", "stop.wav", "rel.wav"})
        EXPECT_EQ(FindSoundCue(cue, folders), exeDir + '/' + cue);
}

namespace {

// A PulseAudio daemon of this test's own with two outputs: "speaker" writes 16-bit mono at
// 44.1 kHz in real time into a pipe this test reads, so what reaches it was played; "stalled"
// writes into a pipe nobody reads, so a cue played there never ends.
class PrivateSoundServer {
public:
    PrivateSoundServer() : m_folder(testenv::NewFolder("pulse")) {
        const QByteArray speaker = QFile::encodeName(m_folder + "/speaker");
        if (::mkfifo(speaker.constData(), 0600) != 0)
            return;
        m_speaker = ::open(speaker.constData(), O_RDONLY | O_NONBLOCK);
        // Held open, never read, and given the smallest buffer the kernel allows: no cue fits,
        // so one played there never ends, whatever the sink writes while it idles.
        const QByteArray stalled = QFile::encodeName(m_folder + "/stalled");
        if (::mkfifo(stalled.constData(), 0600) != 0)
            return;
        m_stalled = ::open(stalled.constData(), O_RDONLY | O_NONBLOCK);
        if (m_stalled < 0 || ::fcntl(m_stalled, F_SETPIPE_SZ, 4096) < 0)
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
        if (!QFileInfo::exists(socket))
            return;
        qputenv("PULSE_SERVER", QFile::encodeName("unix:" + socket));
        m_reader = std::thread([this] { ReadSpeaker(); });
    }
    ~PrivateSoundServer() {
        qunsetenv("PULSE_SERVER");
        qunsetenv("PULSE_SINK");
        m_stop = true;
        if (m_reader.joinable())
            m_reader.join();
        Freeze(false);
        m_server.kill();
        m_server.waitForFinished();
        for (const int fd : {m_speaker, m_stalled})
            if (fd >= 0)
                ::close(fd);
    }
    bool Running() const { return m_reader.joinable(); }
    void UseOutput(const char* sink) { qputenv("PULSE_SINK", sink); }
    void Freeze(bool frozen) {
        if (m_server.processId() > 0)
            ::kill(pid_t(m_server.processId()), frozen ? SIGSTOP : SIGCONT);
    }
    // Samples other than silence that reached the speaker since the last call.
    int64_t TakeSounding() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_sounding, 0);
    }

private:
    void ReadSpeaker() {
        std::vector<int16_t> samples(4096);
        pollfd fd{m_speaker, POLLIN, 0};
        while (!m_stop) {
            if (::poll(&fd, 1, 50) <= 0)
                continue;
            const ssize_t n = ::read(m_speaker, samples.data(), samples.size() * 2);
            std::lock_guard lock(m_mutex);
            for (ssize_t i = 0; i < n / 2; ++i)
                m_sounding += samples[size_t(i)] != 0;
        }
    }

    QString m_folder;
    QProcess m_server;
    int m_speaker = -1;
    int m_stalled = -1;
    std::thread m_reader;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    int64_t m_sounding = 0;
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
