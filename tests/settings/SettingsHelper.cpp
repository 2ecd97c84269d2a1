// A second process for the settings tests.
//   settings_helper lock <index>          takes the camera lock, writes "PictNum" = 42 and prints
//                                         "locked" (or prints "refused" and exits 1), then holds
//                                         the lock until killed
//   settings_helper write <index> <count> writes <count> integers "Value<i>" = i into the
//                                         camera's section, then exits
#include "settings/UserDefault.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

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
    if (std::strcmp(argv[1], "write") == 0 && argc == 4) {
        for (int i = 0; i < std::atoi(argv[3]); ++i)
            g_UserDefault.WriteInt(QStringLiteral("Value%1").arg(i), i);
        return 0;
    }
    return 2;
}
