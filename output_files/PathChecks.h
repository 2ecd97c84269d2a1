// Default output folders per media kind, and the checks made on what the user types as an
// output folder or a base file name.
#pragma once

#include <QString>

// The user's Pictures / Videos folder as the desktop names it; else the current folder; else
// empty text. No trailing separator unless the platform gave one.
QString GetDefaultPictFolder();
QString GetDefaultMovFolder();
// The default folder of a media kind (CAMMODE_MOV for movies, anything else for stills).
QString GetDefaultFolder(int kind);

// Valid when the text does not end in a space or a period and names an existing directory.
bool IsValidFoldername(const QString& folder);
// Valid when at most 101 characters long and free of \ < > : " / | ? * and the period.
bool IsValidFilename(const QString& name);
// Whether a file named from the expanded base name, a five-digit serial number, "." and
// `extension` fits the file system's limit of 255 bytes per name (in the encoding file names
// take on disk, UTF-8 here): a long Japanese name can pass the 101-character rule and not fit.
bool FitsFileNameLimit(const QString& expandedName, const QString& extension);

// A fresh account may lack its Pictures or Videos folder: creates `folder` when it is the
// default folder of `kind` and does not exist yet. A folder the user chose is never created.
void CreateDefaultFolderIfMissing(const QString& folder, int kind);
