// The save-settings dialog's rules for what the user typed, apart from any window: which field
// is rejected, and whether the fields differ from what is stored.
#pragma once

#include <QString>

enum class FieldVerdict {
    Accepted,
    BadFilename,   // the base name fails the name check: nothing may be stored
    BadFoldername, // the folder is neither empty nor an existing, well-formed folder
};

// The first field that fails, the base name before the folder (the dialog stores a good base name
// before it looks at the folder). Empty fields pass: the live view puts the kind's defaults in
// their place. A base name also fails when, expanded now, the file names it gives with
// `extension` would be too long for the file system.
FieldVerdict CheckFields(const QString& name, const QString& folder, const QString& extension);

// Whether the fields differ from the stored values, each compared as a whole and without regard
// to letter case.
bool FieldsModified(const QString& folderField, const QString& storedFolder,
                    const QString& nameField, const QString& storedName);
