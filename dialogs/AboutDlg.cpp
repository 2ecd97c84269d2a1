// The about box: the program icon and the texts of the version record.
#include "dialogs/AboutDlg.h"

#include "res/version_record.h"
#include "ui_AboutDlg.h"

#include <QIcon>
#include <QPushButton>

#include <cstring>

namespace {

constexpr int kIconSize = 32;

} // namespace

QString VersionRecordValue(const char* name) {
    for (const VersionRecordField& field : kVersionRecord) {
        if (std::strcmp(field.name, name) == 0)
            return QString::fromUtf8(field.value);
    }
    return {};
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : CVistrelDialog(parent), m_ui(std::make_unique<Ui::AboutDlg>()) {
    m_ui->setupUi(this);
    ApplyTemplate(kGothic9);
    connect(m_ui->btnOK_1, &QPushButton::clicked, this, [this] { done(IDOK); });
    OnInitDialog();
}

CAboutDlg::~CAboutDlg() = default;

void CAboutDlg::OnInitDialog() {
    const QIcon icon(QString::fromLatin1(kProgramIconPath));
    SetIconCentred(m_ui->staticIcon_128,
                   icon.pixmap(QSize(kIconSize, kIconSize), devicePixelRatioF()));

    // A record without one of its texts leaves the template's text in place.
    const QString description = VersionRecordValue("FileDescription");
    const QString version = VersionRecordValue("FileVersion");
    if (!description.isEmpty() && !version.isEmpty())
        m_ui->staticVersion_1007->setText(description + QStringLiteral(" v") + version);
    const QString legal = VersionRecordValue("LegalCopyright");
    if (!legal.isEmpty())
        m_ui->staticCopyright_1008->setText(legal);
    m_ui->btnOK_1->setFocus();
}
