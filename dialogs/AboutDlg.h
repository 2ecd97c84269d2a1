// The about box (template 100): the program icon, "<description> v<version>" and the legal
// notice, read from the program's own version record so they always match the build.
#pragma once

#include "dialogs/VistrelDialog.h"

#include <QString>

#include <memory>

namespace Ui {
class AboutDlg;
}

// The resource path of the program icon.
inline constexpr char kProgramIconPath[] = ":/res/icons/app.svg";

// The value of field `name` ("FileDescription", "FileVersion", "LegalCopyright",
// "ProductName") of the program's version record; empty text when the record has no such field.
QString VersionRecordValue(const char* name);

class CAboutDlg : public CVistrelDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

private:
    void OnInitDialog();

    std::unique_ptr<Ui::AboutDlg> m_ui;
};
