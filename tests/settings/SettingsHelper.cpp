// A second process for the settings tests.
//   settings_helper lock <index>          takes the camera lock, writes "PictNum" = 42 and prints
//                                         "locked" (or prints "refused" and exits 1), then holds
//                                         the lock until killed
//   settings_helper write <index> <count> writes <count> integers "Value<i>" = i into the
//                                         camera's section, reading each back
//   settings_helper digit <index> <count> the same with "Digit" = 0..8 over and over, the last
//                                         one 9: every version of the file has the same size
// Both exit 1 when a write fails or a value read back is not the one written.
#include "settings/UserDefault.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

bool WriteAndReadBack(const QString& key, int value) {
    if (g_UserDefault.WriteInt(key, value) && g_UserDefault.GetInt(key, -1) == value)
        return true;
    std::fprintf(stderr, "%s = %d was not kept\n", qPrintable(key), value);
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    g_UserDefault.SetSection(QStringLiteral("UserDefault"));
    g_UserDefault.SetIndex(std::atoi(argv[2]));
    if (std::strcmp(argv[1], "lock") == 0) {
        const bool locked = g_UserDefault.LockInstance();
        if (locked)
            g_UserDefault.WriteInt(QStringLiteral("PictNum"), 42);
        std::printf("%s\n", locked ? "locked" : "refused");
        std::fflush(stdout);
        while (locked)
            ::pause();
        return 1;
    }
    const bool digit = std::strcmp(argv[1], "digit") == 0;
    const int count = argc == 4 ? std::atoi(argv[3]) : 0;
    if (!digit && std::strcmp(argv[1], "write") != 0)
        return 2;
    bool kept = true;
    for (int i = 0; i < count; ++i)
        kept = WriteAndReadBack(digit ? QStringLiteral("Digit") : QStringLiteral("Value%1").arg(i),
                                digit ? (i + 1 == count ? 9 : i % 9) : i) &&
               kept;
    return kept ? 0 : 1;
}
