// The program's string table: every user-visible text is looked up by its numeric id, and the
// English literal given by the caller stands in only when the table has no text for that id.
#pragma once

#include <QString>

// The table text of `id`, or empty text when the table has none.
QString LoadTableString(int id);

// The table text of `id`; `fallback` when the table yields an empty text.
QString LoadStringOr(int id, const QString& fallback);

// The text of a menu item, keyed by its command id (or 128 for the menu's title).
QString MenuText(int commandId);

// Formats a message that holds one "%d" with `number`, as the start-up messages do.
QString FormatNumber(const QString& format, int number);

// Qt's own texts (the folder chooser's buttons and labels, the standard menus of text fields)
// follow the program's language: installs Qt's Japanese catalogue into the application whatever
// the locale says. False when the catalogue is not installed (the texts then stay English).
bool InstallQtTranslations();
