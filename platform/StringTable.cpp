// Loads the Japanese string table from the resource bundled with the core library, and Qt's
// own Japanese catalogue.
#include "platform/StringTable.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

QString Unescape(QString text) {
    return text.replace(QLatin1String("\\n"), QLatin1String("\n"));
}

const QHash<QString, QString>& Table() {
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> entries;
        QFile file(QStringLiteral(":/res/strings_ja.txt"));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return entries;
        const QString all = QString::fromUtf8(file.readAll());
        for (const QString& line : all.split(QLatin1Char('\n'))) {
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            const qsizetype tab = line.indexOf(QLatin1Char('\t'));
            if (tab > 0)
                entries.insert(line.left(tab), Unescape(line.mid(tab + 1)));
        }
        return entries;
    }();
    return table;
}

} // namespace

QString LoadTableString(int id) {
    return Table().value(QString::number(id));
}

QString LoadStringOr(int id, const QString& fallback) {
    const QString text = LoadTableString(id);
    return text.isEmpty() ? fallback : text;
}

QString MenuText(int commandId) {
    return Table().value(QLatin1String("menu.") + QString::number(commandId));
}

QString FormatNumber(const QString& format, int number) {
    QString text = format;
    return text.replace(QLatin1String("%d"), QString::number(number));
}

bool InstallQtTranslations() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qt_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
