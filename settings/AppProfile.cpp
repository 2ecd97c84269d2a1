// Profile access on QSettings. A fresh QSettings object per call keeps no state between calls,
// so values written by another instance are seen by the next read.
#include "settings/AppProfile.h"

#include "platform/StringTable.h"
#include "settings/SettingsKeys.h"

#include <QFile>
#include <QSettings>

#include <cstdint>

namespace {

QSettings Profile() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(kCompanyKey),
                     AppName());
}

QString Path(const QString& section, const QString& key) {
    return section + QLatin1Char('/') + key;
}

// A file the parser rejects would otherwise block every later write. Keep it beside the
// profile for the user to inspect and start over, so the next write succeeds.
void SetAsideUnreadableProfile(QSettings& settings) {
    if (settings.status() != QSettings::FormatError)
        return;
    const QString path = settings.fileName();
    const QString aside = path + QLatin1String(".unreadable");
    QFile::remove(aside);
    QFile::rename(path, aside);
}

bool Write(const QString& section, const QString& key, const QVariant& value) {
    {
        QSettings probe = Profile();
        SetAsideUnreadableProfile(probe);
    }
    QSettings settings = Profile();
    settings.setValue(Path(section, key), value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace

QString AppName() {
    return LoadStringOr(57344, QLatin1String(kAppNameFallback));
}

QString ProfileFilePath() {
    return Profile().fileName();
}

int GetProfileInt(const QString& section, const QString& key, int defaultValue) {
    const QVariant value = Profile().value(Path(section, key));
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
    const QVariant value = Profile().value(Path(section, key));
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
