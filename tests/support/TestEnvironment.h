// Every test process runs in a private home: HOME, the XDG folders and the runtime folder point
// into a temporary folder made at start and removed at exit.
#pragma once

#include <QString>

namespace testenv {

// The private home of this test process.
QString Home();
// A new, empty folder inside the private home.
QString NewFolder(const QString& name);
// Removes the settings file so a test starts from a fresh user.
void ClearSettings();
// The whole settings file as text (empty when there is none).
QString SettingsFileText();

} // namespace testenv
