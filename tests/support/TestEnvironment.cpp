#include "support/TestEnvironment.h"

#include "settings/AppProfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace testenv {

QTemporaryDir& Root() {
    static QTemporaryDir root(QDir::tempPath() + QLatin1String("/vistrelcv-test-XXXXXX"));
    return root;
}

void Install() {
    const QString home = Root().path();
    const auto set = [&](const char* name, const QString& sub) {
        const QString path = sub.isEmpty() ? home : home + QLatin1Char('/') + sub;
        QDir().mkpath(path);
        ::setenv(name, QFile::encodeName(path).constData(), 1);
    };
    set("HOME", QString());
    set("XDG_CONFIG_HOME", QStringLiteral(".config"));
    set("XDG_DATA_HOME", QStringLiteral(".local/share"));
    set("XDG_CACHE_HOME", QStringLiteral(".cache"));
    set("XDG_RUNTIME_DIR", QStringLiteral("runtime"));
    QFile::setPermissions(home + QLatin1String("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ::unsetenv("VISTRELCV_CAMERAS");
}

QString Home() {
    return Root().path();
}

QString NewFolder(const QString& name) {
    const QString path = Home() + QLatin1String("/") + name;
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

void ClearSettings() {
    QFile::remove(ProfileFilePath());
}

QString SettingsFileText() {
    QFile file(ProfileFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace testenv
