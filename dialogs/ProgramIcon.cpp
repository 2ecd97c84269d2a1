// Maps icon ids onto the bundled picture files.
#include "dialogs/ProgramIcon.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<int, const char*>, 12> kIconFiles{{
    {135, "135-stop.svg"},
    {136, "136-record.svg"},
    {138, "138-movie-outline.svg"},
    {139, "139-still-outline.svg"},
    {140, "140-rec-mark.svg"},
    {141, "141-wrench.svg"},
    {142, "142-close.svg"},
    {143, "143-shutter.svg"},
    {144, "144-reset.svg"},
    {145, "145-shutter-busy.svg"},
    {146, "146-movie.svg"},
    {147, "147-still.svg"},
}};

} // namespace

QString ProgramIconPath(int id) {
    for (const auto& [iconId, file] : kIconFiles) {
        if (iconId == id)
            return QLatin1String(":/icons/") + QLatin1String(file);
    }
    return {};
}

QIcon ProgramIcon(int id) {
    const QString path = ProgramIconPath(id);
    return path.isEmpty() ? QIcon() : QIcon(path);
}
