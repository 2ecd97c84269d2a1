// Profile access on QSettings. A fresh QSettings object per call keeps no state between calls,
// and each access holds the profile guard, so values written by another instance are seen by
// the next read and never put back by a later write.
#include "settings/AppProfile.h"

#include "platform/StringTable.h"
#include "settings/ProfileFileGuard.h"
#include "settings/SettingsKeys.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cstdint>
#include <mutex>

namespace {

QSettings Profile() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(kCompanyKey),
                     AppName());
}

// The file QSettings reads for the profile on a system without a registry; known before any
// QSettings object exists, so that the guard is held while one reads the file.
QString ProfileFileOnDisk() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + QLatin1String(kCompanyKey) + QLatin1Char('/') + AppName() +
           QLatin1String(".conf");
}

// Only a regular file (or none yet) is read and written. A named pipe would block the first
// read for good, and a link to a device would be replaced by a regular file on the first write
// (or have the device written to): such a profile counts as unreadable, said once per run.
bool ProfileIsUsable() {
    const QString path = ProfileFileOnDisk();
    const QFileInfo info(path); // follows links; a dangling one does not exist
    if (!info.exists() || info.isFile())
        return true;
    static std::once_flag warned;
    std::call_once(warned, [&] {
        qWarning("VistrelCV: %s is not a regular file; the settings are neither read nor saved.",
                 qUtf8Printable(path));
    });
    return false;
}

template <typename Use> auto WithProfile(CProfileFileGuard::Access access, Use use) {
    CProfileFileGuard guard(ProfileFileOnDisk(), access);
    QSettings settings = Profile();
    return use(settings);
}

QString Path(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}

QVariant Read(const QString& section, const QString& key) {
    if (!ProfileIsUsable())
        return {};
    return WithProfile(CProfileFileGuard::Access::Read,
                       [&](QSettings& settings) { return settings.value(Path(section, key)); });
}

// A damaged file does not stop a write: QSettings keeps what it could read, drops the rest and
// writes a sound file, reporting the damage it found as a format error.
bool Write(const QString& section, const QString& key, const QVariant& value) {
    if (!ProfileIsUsable())
        return false;
    return WithProfile(CProfileFileGuard::Access::Write, [&](QSettings& settings) {
        settings.setValue(Path(section, key), value);
        settings.sync();
        return settings.status() != QSettings::AccessError;
    });
}

} // namespace

QString AppName() {
    return LoadStringOr(57344, QLatin1String(kAppNameFallback));
}

QString ProfileFilePath() {
    return WithProfile(CProfileFileGuard::Access::Read,
                       [](QSettings& settings) { return settings.fileName(); });
}

int GetProfileInt(const QString& section, const QString& key, int defaultValue) {
    const QVariant value = Read(section, key);
    if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::Int &&
        value.typeId() != QMetaType::LongLong)
        return defaultValue;
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok);
    if (!ok || number < INT32_MIN || number > UINT32_MAX)
        return defaultValue;
    // Stored as a 32-bit word and read back signed, as the registry's DWORD values are.
    return static_cast<int32_t>(static_cast<uint32_t>(number));
}

QString GetProfileString(const QString& section, const QString& key, const QString& defaultValue) {
    const QVariant value = Read(section, key);
    if (value.typeId() != QMetaType::QString)
        return defaultValue;
    return value.toString();
}

bool WriteProfileInt(const QString& section, const QString& key, int value) {
    return Write(section, key, value);
}

bool WriteProfileString(const QString& section, const QString& key, const QString& value) {
    return Write(section, key, value);
}

QMap<int, QString> GetEveryCameraString(const QString& key) {
    if (!ProfileIsUsable())
        return {};
    return WithProfile(CProfileFileGuard::Access::Read, [&](QSettings& settings) {
        QMap<int, QString> values;
        const QLatin1String base(kSectionBase);
        for (const QString& group : settings.childGroups()) {
            bool numeric = false;
            const int index = group.mid(base.size()).toInt(&numeric);
            if (!group.startsWith(base) || !numeric || index < 0)
                continue;
            const QVariant value = settings.value(Path(group, key));
            if (value.typeId() == QMetaType::QString && !value.toString().isEmpty())
                values.insert(index, value.toString());
        }
        return values;
    });
}
