// The save-settings dialog's field rules.
#include "dialogs/OptionFields.h"

#include "output_files/PathChecks.h"
#include "output_files/TimeTemplate.h"

FieldVerdict CheckFields(const QString& name, const QString& folder, const QString& extension) {
    if (!IsValidFilename(name) || !FitsFileNameLimit(ExpandTimeTemplateNow(name), extension))
        return FieldVerdict::BadFilename;
    if (!folder.isEmpty() && !IsValidFoldername(folder))
        return FieldVerdict::BadFoldername;
    return FieldVerdict::Accepted;
}

bool FieldsModified(const QString& folderField, const QString& storedFolder,
                    const QString& nameField, const QString& storedName) {
    return folderField.compare(storedFolder, Qt::CaseInsensitive) != 0 ||
           nameField.compare(storedName, Qt::CaseInsensitive) != 0;
}
