// Plays sound cues through libcanberra, which speaks to PulseAudio or PipeWire (or ALSA) and
// reports through a callback when a sound has finished, so the caller can wait for the end.
#include "platform/SoundCue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <canberra.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// A cue is a second or two; this only guards against a sound server that never calls back.
constexpr auto kLongestCue = std::chrono::seconds(15);

struct Completion {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
};

void OnFinished(ca_context*, uint32_t, int, void* userdata) {
    auto* completion = static_cast<Completion*>(userdata);
    std::lock_guard lock(completion->mutex);
    completion->done = true;
    completion->finished.notify_all();
}

// Starts one sound described by `props` and waits for its end; false when it did not start.
bool PlayAndWait(ca_context* context, ca_proplist* props) {
    Completion completion;
    if (ca_context_play_full(context, 1, props, OnFinished, &completion) != CA_SUCCESS)
        return false;
    std::unique_lock lock(completion.mutex);
    if (!completion.finished.wait_for(lock, kLongestCue, [&] { return completion.done; })) {
        lock.unlock();
        ca_context_cancel(context, 1); // the callback still comes, now with an error code
        lock.lock();
        completion.finished.wait_for(lock, std::chrono::seconds(1),
                                     [&] { return completion.done; });
    }
    return true;
}

bool PlayFile(ca_context* context, const QString& path) {
    ca_proplist* props = nullptr;
    if (ca_proplist_create(&props) != CA_SUCCESS)
        return false;
    ca_proplist_sets(props, CA_PROP_MEDIA_FILENAME, QFile::encodeName(path).constData());
    ca_proplist_sets(props, CA_PROP_MEDIA_ROLE, "event");
    ca_proplist_sets(props, CA_PROP_CANBERRA_CACHE_CONTROL, "never");
    const bool played = PlayAndWait(context, props);
    ca_proplist_destroy(props);
    return played;
}

bool PlayThemeSound(ca_context* context, const char* eventId) {
    ca_proplist* props = nullptr;
    if (ca_proplist_create(&props) != CA_SUCCESS)
        return false;
    ca_proplist_sets(props, CA_PROP_EVENT_ID, eventId);
    ca_proplist_sets(props, CA_PROP_MEDIA_ROLE, "event");
    const bool played = PlayAndWait(context, props);
    ca_proplist_destroy(props);
    return played;
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
    ca_context* context = nullptr;
    if (ca_context_create(&context) != CA_SUCCESS)
        return;
    ca_context_change_props(context, CA_PROP_APPLICATION_NAME, "VistrelCV", nullptr);
    // Opening fails at once where no sound server or device exists; that is a silent cue.
    if (ca_context_open(context) == CA_SUCCESS) {
        const QString path = FindSoundCue(fileName, SoundCueFolders());
        if (path.isEmpty() || !PlayFile(context, path)) {
            if (!PlayThemeSound(context, "camera-shutter"))
                PlayThemeSound(context, "bell");
        }
    }
    ca_context_destroy(context);
}
