// The command line: every argument after the program name is read as a decimal number (one
// leading "-" or "/" removed; no digits read as 0). The first is the 1-based camera number.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class CCommandLineInfoEx {
public:
    // Parses `arguments` without the program name.
    void Parse(const QStringList& arguments);
    // The per-argument hook: the argument as a number, appended whether or not it was a flag.
    void ParseParam(const QString& param, bool isFlag, bool isLast);

    QList<int> m_arrCamera;
};

// The usual decimal rule: leading blanks, an optional sign, the leading digits; 0 without any.
int DecimalPrefix(const QString& text);

// The largest camera number: its start-up message numbers (2000 + number) must stay numbers.
inline constexpr int kMaxCameraNumber = 2147483647 - 2000;

// The arguments without Qt's own options (-platform NAME, -style NAME, -display NAME, -reverse,
// ...), which QApplication takes out of the command line itself.
QStringList WithoutQtOptions(const QStringList& arguments);

// What the program does with its arguments before anything else. A camera number above
// kMaxCameraNumber is refused with the usage text (BadCamera) instead of wrapping around, and so
// is an option the program does not know (UnknownOption): an argument that starts with "-" and
// has no number after that dash, such as "--bogus" or "-v" ("-2" is camera 2), and is not one of
// Qt's.
enum class EarlyAction { Run, Help, Version, BadCamera, UnknownOption };
EarlyAction EarlyActionFor(const QStringList& arguments);
// The first argument that EarlyActionFor takes for an unknown option; empty when there is none.
QString UnknownOption(const QStringList& arguments);
QString UsageText();
// What --version prints: the version, the copyright and the licence, as GNU programs do.
QString VersionText();
