// Stored control values, and writing them to a camera in an order it accepts.
#include "camera/CameraControls.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <limits>
#include <mutex>

namespace {

constexpr qsizetype kMaxKeyLength = 64;

bool ValidKey(const QString& key) {
    static const QRegularExpression pattern(QStringLiteral("^[a-z0-9_]+$"));
    return !key.isEmpty() && key.size() <= kMaxKeyLength && pattern.match(key).hasMatch();
}

// Logs `message` the first time it comes in this process: a camera opened again after every
// replug would repeat the same refusal.
void LogOnce(const QString& message) {
    static std::mutex mutex;
    static QSet<QString> logged;
    std::lock_guard lock(mutex);
    if (logged.size() < 1000 && !logged.contains(message)) {
        logged.insert(message);
        qWarning("%s", qUtf8Printable(message));
    }
}

const CameraControl* FindControl(const QList<CameraControl>& controls, const QString& key) {
    const auto found = std::find_if(controls.begin(), controls.end(),
                                    [&](const CameraControl& c) { return c.key == key; });
    return found == controls.end() ? nullptr : &*found;
}

} // namespace

QString CameraControlValuesText(const CameraControlValues& values) {
    QStringList entries;
    for (auto it = values.begin(); it != values.end(); ++it)
        entries << it.key() + QLatin1Char('=') + QString::number(it.value());
    return entries.join(QLatin1Char(';'));
}

CameraControlValues ParseCameraControlValues(const QString& text, int* rejected) {
    CameraControlValues values;
    int bad = 0;
    for (const QString& entry : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype eq = entry.indexOf(QLatin1Char('='));
        const QString key = entry.left(eq).trimmed();
        bool number = false;
        const qlonglong value = entry.mid(eq + 1).trimmed().toLongLong(&number);
        const bool fits = value >= std::numeric_limits<int32_t>::min() &&
                          value <= std::numeric_limits<int32_t>::max();
        if (eq < 0 || !ValidKey(key) || !number || !fits || values.contains(key))
            ++bad;
        else
            values.insert(key, value);
    }
    if (rejected)
        *rejected = bad;
    return values;
}

CameraControlValues ReadStoredControlValues(const QString& text) {
    int rejected = 0;
    CameraControlValues values = ParseCameraControlValues(text, &rejected);
    if (rejected > 0)
        qWarning("The stored camera controls hold %d entries that are no control values; they "
                 "are ignored",
                 rejected);
    return values;
}

QString ControlKeyOfName(const QString& name) {
    QString key;
    for (const QChar c : name.toLower()) {
        const bool word = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
        if (word)
            key += c;
        else if (!key.isEmpty() && !key.endsWith(QLatin1Char('_')))
            key += QLatin1Char('_');
    }
    while (key.endsWith(QLatin1Char('_')))
        key.chop(1);
    return key;
}

void ApplyCameraControls(CCameraControls& controls, const CameraControlValues& values) {
    if (values.isEmpty())
        return; // nothing chosen: the camera is left as it is
    QList<CameraControl> listed = controls.List();
    std::stable_partition(listed.begin(), listed.end(),
                          [](const CameraControl& c) { return c.automatic; });
    for (const CameraControl& control : listed) {
        if (!values.contains(control.key) || !control.Settable() ||
            control.kind == CameraControl::Kind::Button)
            continue;
        const int64_t wanted = values.value(control.key);
        const std::optional<int64_t> inForce = controls.Set(control, wanted);
        if (!inForce)
            LogOnce(QStringLiteral("The camera refused %1=%2; it is left out")
                        .arg(control.key)
                        .arg(wanted));
        else if (*inForce != wanted)
            LogOnce(QStringLiteral("The camera took %1=%2 as %3")
                        .arg(control.key)
                        .arg(wanted)
                        .arg(*inForce));
    }
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (!FindControl(listed, it.key()))
            LogOnce(QStringLiteral("The camera has no control %1; its value is left out")
                        .arg(it.key()));
    }
}

void ResetCameraControls(CCameraControls& controls) {
    QList<CameraControl> listed = controls.List();
    std::stable_partition(listed.begin(), listed.end(),
                          [](const CameraControl& c) { return !c.automatic; });
    for (const CameraControl& control : listed) {
        if (control.Settable() && control.kind != CameraControl::Kind::Button &&
            control.value != control.defaultValue)
            controls.Set(control, control.defaultValue); // a value its mode locks stays as it is
    }
}
