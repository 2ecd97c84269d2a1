// Reading camera list entries.
#include "camera/CameraEntry.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace {

bool IsImageFile(const QString& path) {
    static const QStringList kImageSuffixes = {QStringLiteral("jpg"),  QStringLiteral("jpeg"),
                                               QStringLiteral("png"),  QStringLiteral("bmp"),
                                               QStringLiteral("tif"),  QStringLiteral("tiff"),
                                               QStringLiteral("webp"), QStringLiteral("ppm"),
                                               QStringLiteral("pgm"),  QStringLiteral("pnm")};
    return kImageSuffixes.contains(QFileInfo(path).suffix().toLower());
}

// One ",name=value" option of the test source; false when it is not one.
bool ParseTestOption(const QString& option, CameraEntry& entry) {
    static const QRegularExpression kOption(QStringLiteral(
        R"(^(stop|hang)=(\d{1,5}(?:\.\d+)?)$|^stall=(\d{1,5}(?:\.\d+)?)\+(\d{1,5}(?:\.\d+)?)$)"));
    if (option == QLatin1String("flash")) {
        entry.flash = true;
        return true;
    }
    const QRegularExpressionMatch match = kOption.match(option);
    if (!match.hasMatch())
        return false;
    if (match.captured(1) == QLatin1String("stop"))
        entry.stopAfter = match.captured(2).toDouble();
    else if (match.captured(1) == QLatin1String("hang"))
        entry.hangAfter = match.captured(2).toDouble();
    else {
        entry.stallAfter = match.captured(3).toDouble();
        entry.stallFor = match.captured(4).toDouble();
    }
    return true;
}

CameraEntry ParseTestPattern(const QString& text) {
    CameraEntry entry;
    entry.location = text;
    QStringList parts = text.split(QLatin1Char(','));
    const QString base = parts.takeFirst();
    for (const QString& option : parts) {
        if (!ParseTestOption(option, entry)) {
            entry.valid = false;
            return entry;
        }
    }
    if (base == QLatin1String("testsrc"))
        return entry;
    static const QRegularExpression kSpec(
        QStringLiteral(R"(^testsrc:(\d{1,5})x(\d{1,5})(?:@(\d{1,3}(?:\.\d+)?))?$)"));
    const QRegularExpressionMatch match = kSpec.match(base);
    entry.valid = match.hasMatch();
    if (!entry.valid)
        return entry;
    entry.width = match.captured(1).toInt();
    entry.height = match.captured(2).toInt();
    if (match.hasCaptured(3))
        entry.fps = match.captured(3).toDouble();
    entry.valid = entry.width >= 16 && entry.height >= 16 && entry.width <= 7680 &&
                  entry.height <= 4320 && entry.fps >= 1.0 && entry.fps <= 240.0;
    return entry;
}

} // namespace

CameraEntry ParseCameraEntry(const QString& text) {
    if (text == QLatin1String("testsrc") || text.startsWith(QLatin1String("testsrc:")) ||
        text.startsWith(QLatin1String("testsrc,")))
        return ParseTestPattern(text);
    CameraEntry entry;
    entry.location = text;
    if (text.contains(QLatin1Char('!')))
        entry.kind = CameraEntry::Kind::Pipeline;
    else if (text.contains(QLatin1String("://")))
        entry.kind = CameraEntry::Kind::Stream;
    else if (text.startsWith(QLatin1String("/dev/")))
        entry.kind = CameraEntry::Kind::Device;
    else if (IsImageFile(text))
        entry.kind = CameraEntry::Kind::ImageFile;
    else
        entry.kind = CameraEntry::Kind::VideoFile;
    return entry;
}

QList<QString> SplitCameraList(const QString& text) {
    QList<QString> entries;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        const QString entry = part.trimmed();
        if (!entry.isEmpty())
            entries << entry;
    }
    return entries;
}
