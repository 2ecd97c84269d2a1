// A second process for the settings tests.
//   settings_helper lock <index>          takes the camera lock, prints "locked" or "refused",
//                                         then holds it until killed (or exits when refused)
//   settings_helper write <index> <count> writes <count> integers "Value<i>" = i into the
//                                         camera's section, then exits
//   settings_helper crash <index> <value> writes "PictNum" = value, then dies by SIGKILL
#include "settings/UserDefault.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3)
        return 2;
    const char* mode = argv[1];
    g_UserDefault.SetSection(QStringLiteral("UserDefault"));
    g_UserDefault.SetIndex(std::atoi(argv[2]));
    if (std::strcmp(mode, "lock") == 0) {
        const bool locked = g_UserDefault.LockInstance();
        std::printf("%s\n", locked ? "locked" : "refused");
        std::fflush(stdout);
        if (!locked)
            return 1;
        for (;;)
            ::pause();
    }
    if (std::strcmp(mode, "write") == 0 && argc == 4) {
        const int count = std::atoi(argv[3]);
        for (int i = 0; i < count; ++i)
            g_UserDefault.WriteInt(QStringLiteral("Value%1").arg(i), i);
        return 0;
    }
    if (std::strcmp(mode, "crash") == 0 && argc == 4) {
        g_UserDefault.WriteInt(QStringLiteral("PictNum"), std::atoi(argv[3]));
        ::kill(::getpid(), SIGKILL);
    }
    return 2;
}
