#include "app/CommandLineInfoEx.h"

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

EarlyAction EarlyActionFor(const QStringList& arguments) {
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h")))
        return EarlyAction::Help;
    if (arguments.contains(QLatin1String("--version")))
        return EarlyAction::Version;
    CCommandLineInfoEx commandLine;
    commandLine.Parse(arguments);
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
        "  --help     show this text and exit\n"
        "  --version  show the version and exit\n"
        "\n"
        "VISTRELCV_CAMERAS replaces the camera list: entries separated by \";\", each a device\n"
        "path, a video or image file, a stream URL, a GStreamer pipeline or testsrc[:WxH@FPS].\n");
}
