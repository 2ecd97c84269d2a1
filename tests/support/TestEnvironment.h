// Every test process runs in a private home: HOME, the XDG folders and the runtime folder point
// into a temporary folder made at start and removed at exit. Also the set-up most tests share.
#pragma once

#include <QByteArray>
#include <QString>

namespace testenv {

// Points HOME and the XDG folders into the private home; main() calls it first.
void Install();
// The private home of this test process.
QString Home();
// A new, empty folder inside the private home.
QString NewFolder(const QString& name);
// Removes the settings file so a test starts from a fresh user.
void ClearSettings();
// A fresh settings file, g_UserDefault on camera `index`, the file-type tables filled.
void FreshSettings(int index = 0);
// Writes `bytes` to `path`; false when it cannot.
bool WriteFile(const QString& path, const QByteArray& bytes);
// The whole file (empty when it cannot be read).
QByteArray ReadFile(const QString& path);
} // namespace testenv
