// Profile access on QSettings. A fresh QSettings object per call keeps no state between calls,
// so values written by another instance are seen by the next read.
#include "settings/AppProfile.h"

#include "platform/StringTable.h"
#include "settings/SettingsKeys.h"

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

// A damaged file does not stop a write: QSettings keeps what it could read, drops the rest and
// writes a sound file, reporting the damage it found as a format error.
bool Write(const QString& section, const QString& key, const QVariant& value) {
    QSettings settings = Profile();
    settings.setValue(Path(section, key), value);
    settings.sync();
    return settings.status() != QSettings::AccessError;
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
