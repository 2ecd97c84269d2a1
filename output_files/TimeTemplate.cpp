#include "output_files/TimeTemplate.h"

#include <clocale>
#include <cwchar>
#include <locale.h>

namespace {

constexpr size_t kBufferChars = 128; // including the terminator

// A thread-local Japanese locale for the formatting, or the current one where none exists.
locale_t JapaneseLocale() {
    static const locale_t locale = [] {
        for (const char* name : {"ja_JP.UTF-8", "ja_JP.utf8", "ja_JP.eucJP", "ja_JP"}) {
            if (locale_t found = newlocale(LC_ALL_MASK, name, nullptr))
                return found;
        }
        return locale_t(nullptr);
    }();
    return locale;
}

} // namespace

QString ExpandTimeTemplate(const QString& templ, const std::tm& when) {
    if (templ.isEmpty())
        return {};
    const std::wstring format = templ.toStdWString();
    wchar_t buffer[kBufferChars];
    const locale_t japanese = JapaneseLocale();
    const locale_t previous = japanese ? uselocale(japanese) : nullptr;
    const size_t written = wcsftime(buffer, kBufferChars, format.c_str(), &when);
    if (japanese)
        uselocale(previous);
    if (written == 0)
        return {};
    QString expanded = QString::fromWCharArray(buffer, qsizetype(written));
    for (QChar& c : expanded) {
        // %n and %t bring in a newline and a tab, which no file name should carry.
        if (c == QLatin1Char('/') || c.category() == QChar::Other_Control)
            c = QLatin1Char('-');
    }
    return expanded;
}

QString ExpandTimeTemplateNow(const QString& templ) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local))
        return {};
    return ExpandTimeTemplate(templ, local);
}
