#include "app/CommandLineInfoEx.h"

#include "dialogs/AboutDlg.h"

#include <climits>

int DecimalPrefix(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    long long value = 0;
    for (; i < text.size() && text[i].isDigit() && text[i].unicode() < 128; ++i) {
        value = value * 10 + (text[i].unicode() - '0');
        if (value > INT_MAX) { // saturate like strtol does, instead of overflowing
            value = INT_MAX;
            break;
        }
    }
    return int(negative ? -value : value);
}

void CCommandLineInfoEx::Parse(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString argument = arguments[i];
        const bool isFlag =
            argument.startsWith(QLatin1Char('-')) || argument.startsWith(QLatin1Char('/'));
        if (isFlag)
            argument.remove(0, 1);
        ParseParam(argument, isFlag, i + 1 == arguments.size());
    }
}

void CCommandLineInfoEx::ParseParam(const QString& param, bool, bool) {
    m_arrCamera.append(DecimalPrefix(param));
}

namespace {

// Qt's own options, which QApplication takes out of the command line later: those followed by a
// value, then those that stand alone. Qt also accepts them with two dashes.
constexpr const char* kQtValueOptions[] = {"-platform",
                                           "-platformpluginpath",
                                           "-platformtheme",
                                           "-plugin",
                                           "-qwindowgeometry",
                                           "-geometry",
                                           "-qwindowtitle",
                                           "-title",
                                           "-qwindowicon",
                                           "-icon",
                                           "-session",
                                           "-style",
                                           "-stylesheet",
                                           "-display",
                                           "-name",
                                           "-qmljsdebugger"};
constexpr const char* kQtFlagOptions[] = {"-reverse", "-widgetcount", "-nograb", "-dograb",
                                          "-sync"};

bool IsOneOf(const QString& argument, const auto& options) {
    const QString option = argument.startsWith(QLatin1String("--")) ? argument.mid(1) : argument;
    for (const char* known : options) {
        if (option == QLatin1String(known))
            return true;
    }
    return false;
}

bool HasDigits(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        ++i;
    return i < text.size() && text[i].isDigit() && text[i].unicode() < 128;
}

} // namespace

QStringList WithoutQtOptions(const QStringList& arguments) {
    QStringList rest;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (IsOneOf(arguments[i], kQtValueOptions))
            ++i;
        else if (!IsOneOf(arguments[i], kQtFlagOptions))
            rest << arguments[i];
    }
    return rest;
}

QString UnknownOption(const QStringList& arguments) {
    for (const QString& argument : WithoutQtOptions(arguments)) {
        if (argument.startsWith(QLatin1Char('-')) && !HasDigits(argument.mid(1)))
            return argument;
    }
    return QString();
}

EarlyAction EarlyActionFor(const QStringList& arguments) {
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h")))
        return EarlyAction::Help;
    if (arguments.contains(QLatin1String("--version")))
        return EarlyAction::Version;
    if (!UnknownOption(arguments).isEmpty())
        return EarlyAction::UnknownOption;
    CCommandLineInfoEx commandLine;
    commandLine.Parse(WithoutQtOptions(arguments));
    if (!commandLine.m_arrCamera.isEmpty() && commandLine.m_arrCamera.first() > kMaxCameraNumber)
        return EarlyAction::BadCamera;
    return EarlyAction::Run;
}

QString UsageText() {
    return QStringLiteral(
        "Usage: vistrelcv [CAMERA]\n"
        "Shows and records camera CAMERA (1, 2, ...). Without a number the camera chooser or the\n"
        "automatic search picks one. Each camera runs in its own instance.\n"
        "\n"
        "  -h, --help  show this text and exit\n"
        "  --version   show the version and licence and exit\n"
        "\n"
        "VISTRELCV_CAMERAS replaces the camera list: entries separated by \";\", each a device\n"
        "path, a video or image file, a stream URL, a GStreamer pipeline or testsrc[:WxH@FPS].\n");
}

QString VersionText() {
    return QStringLiteral("VistrelCV " VISTRELCV_VERSION "\n") +
           VersionRecordValue("LegalCopyright") +
           QStringLiteral("\n"
                          "License GPLv3+: GNU GPL version 3 or later "
                          "<https://gnu.org/licenses/gpl.html>.\n"
                          "This is free software: you are free to change and redistribute it.\n"
                          "There is NO WARRANTY, to the extent permitted by law.\n");
}
