// Plays sound cues through libcanberra, which speaks to PulseAudio or PipeWire (or ALSA) and
// reports through a callback when a sound has finished, so the caller can wait for the end.
//
// The library is driven from a thread of the cue's own: a sound server that stops answering can
// hold a library call for ever, and the caller must still get back after the cue's length and a
// second. The state the callback writes into is shared by that thread and the caller, and the
// thread keeps it until the library's context is destroyed, after which no callback can come.
#include "platform/SoundCue.h"

#include "platform/BackgroundThreads.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <canberra.h>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// How long a caller may wait beyond the cue's own length: the sound server's start-up and
// latency. A cue still playing then is cancelled.
constexpr auto kCueSlack = std::chrono::seconds(1);
// The length assumed for a sound this code cannot read: a theme's event sound, or a file only
// the sound library understands. Event sounds last a second or so.
constexpr auto kUnreadCueLength = std::chrono::seconds(2);

// How often a waiting caller looks at a cue's state.
constexpr auto kPollInterval = std::chrono::milliseconds(5);

// Shared by the caller, the cue's thread and the library's callback.
struct CueState {
    std::atomic<bool> played{false};   // the library reported the sound's end (or its failure)
    std::atomic<bool> finished{false}; // the cue's thread is done with the library
};

// False when `deadline` came first. Sleeping in short steps keeps the wait on the monotonic clock
// and within what ThreadSanitizer follows (it does not follow timed waits on that clock); a cue
// lasts a second or two, so the steps cost nothing worth a condition variable.
bool WaitFor(const std::atomic<bool>& flag, Clock::time_point deadline) {
    while (!flag) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

void OnPlayed(ca_context*, uint32_t, int, void* userdata) {
    static_cast<CueState*>(userdata)->played = true;
}

// Plays one sound, a file (`property` CA_PROP_MEDIA_FILENAME) or a theme's event sound
// (CA_PROP_EVENT_ID), and waits for its end, cancelling it at `deadline`; false when it did not
// start.
bool PlaySound(ca_context* context, const char* property, const char* value, CueState& state,
               Clock::time_point deadline) {
    ca_proplist* props = nullptr;
    if (ca_proplist_create(&props) != CA_SUCCESS)
        return false;
    ca_proplist_sets(props, property, value);
    ca_proplist_sets(props, CA_PROP_MEDIA_ROLE, "event");
    if (std::strcmp(property, CA_PROP_MEDIA_FILENAME) == 0) // our own files are not kept
        ca_proplist_sets(props, CA_PROP_CANBERRA_CACHE_CONTROL, "never");
    state.played = false;
    const bool started = ca_context_play_full(context, 1, props, OnPlayed, &state) == CA_SUCCESS;
    if (started && !WaitFor(state.played, deadline))
        ca_context_cancel(context, 1);
    ca_proplist_destroy(props);
    return started;
}

// The cue's thread: the file at `path` (the theme's shutter or bell sound when it is empty or
// cannot be played), until its end or `deadline`.
void PlayCue(const std::shared_ptr<CueState>& state, const std::string& path,
             Clock::time_point deadline) {
    ca_context* context = nullptr;
    if (ca_context_create(&context) == CA_SUCCESS) {
        ca_context_change_props(context, CA_PROP_APPLICATION_NAME, "VistrelCV", nullptr);
        // Opening fails at once where no sound server or device exists; that is a silent cue.
        if (ca_context_open(context) == CA_SUCCESS) {
            if (path.empty() ||
                !PlaySound(context, CA_PROP_MEDIA_FILENAME, path.c_str(), *state, deadline)) {
                if (!PlaySound(context, CA_PROP_EVENT_ID, "camera-shutter", *state, deadline))
                    PlaySound(context, CA_PROP_EVENT_ID, "bell", *state, deadline);
            }
        }
        ca_context_destroy(context); // ends every callback still pending
    }
    state->finished = true;
}

// The playing time of the sound file at `path`, or kUnreadCueLength when it cannot be read.
Clock::duration CueLength(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = path.empty() ? nullptr : sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return kUnreadCueLength;
    sf_close(file);
    if (info.samplerate <= 0)
        return kUnreadCueLength;
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(double(info.frames) / info.samplerate));
}

// A sound server's socket or a sound card. Without either, trying to play only fills stderr with
// the sound library's complaints, so a cue then stays silent without asking it.
bool SoundOutputAvailable() {
    if (qEnvironmentVariableIsSet("PULSE_SERVER"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && (QFileInfo::exists(runtime + QLatin1String("/pulse/native")) ||
                               QFileInfo::exists(runtime + QLatin1String("/pipewire-0"))))
        return true;
    return !QDir(QStringLiteral("/dev/snd"))
                .entryList({QStringLiteral("pcmC*")}, QDir::System)
                .isEmpty();
}

} // namespace

QStringList SoundCueFolders() {
    QStringList folders;
    if (QCoreApplication::instance())
        folders << QCoreApplication::applicationDirPath();
    // The user's data folder first, then the installed ones ($XDG_DATA_DIRS).
    for (const QString& data :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        folders << data + QLatin1String("/vistrelcv/sounds");
    // Then the data folder of the prefix the program was installed into, which need not be on
    // $XDG_DATA_DIRS (a private prefix, /opt).
    if (QCoreApplication::instance())
        folders << QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                   QLatin1String("/" VISTRELCV_SOUNDS_FROM_BINDIR));
    folders.removeDuplicates();
    return folders;
}

QString FindSoundCue(const QString& fileName, const QStringList& folders) {
    for (const QString& folder : folders) {
        const QFileInfo candidate(folder + QLatin1Char('/') + fileName);
        if (candidate.isFile() && candidate.isReadable())
            return candidate.absoluteFilePath();
    }
    return {};
}

void PlaySoundCue(const QString& fileName) {
    if (!SoundOutputAvailable())
        return;
    const std::string path =
        QFile::encodeName(FindSoundCue(fileName, SoundCueFolders())).toStdString();
    const Clock::time_point deadline = Clock::now() + CueLength(path) + kCueSlack;
    auto state = std::make_shared<CueState>();
    try {
        std::thread([state, path, deadline] {
            const CBackgroundThread counted;
            PlayCue(state, path, deadline);
        }).detach();
    } catch (const std::system_error&) {
        return; // no thread to play on: a silent cue
    }
    WaitFor(state->finished, deadline);
}
