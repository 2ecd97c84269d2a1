#include "support/TestEnvironment.h"

#include "output_files/FiletypeMgr.h"
#include "settings/AppProfile.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace testenv {

void Install() {
    const char* const folders[][2] = {{"HOME", ""},
                                      {"XDG_CONFIG_HOME", "/.config"},
                                      {"XDG_DATA_HOME", "/.local/share"},
                                      {"XDG_CACHE_HOME", "/.cache"},
                                      {"XDG_RUNTIME_DIR", "/runtime"}};
    for (const auto& [name, sub] : folders) {
        const QString path = Home() + QLatin1String(sub);
        QDir().mkpath(path);
        ::setenv(name, QFile::encodeName(path).constData(), 1);
    }
    QFile::setPermissions(Home() + QLatin1String("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ::unsetenv("VISTRELCV_CAMERAS");
}

QString Home() {
    static QTemporaryDir root(QDir::tempPath() + QLatin1String("/vistrelcv-test-XXXXXX"));
    return root.path();
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

void FreshSettings(int index) {
    ClearSettings();
    g_UserDefault.SetSection(QLatin1String(kSectionBase));
    g_UserDefault.SetIndex(index);
    FillFiletypeTables();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace testenv
