// The program's message box: texts from the string table, the mode's buttons and icon.
#include "dialogs/VistrelMessageBox.h"

#include "platform/StringTable.h"
#include "ui_VistrelMessageBox.h"

#include <QStyle>

namespace {

constexpr int kIdsYes = 32788;
constexpr int kIdsNo = 32789;
constexpr int kIdsOK = 32790;
constexpr int kIconSize = 32;

} // namespace

CVistrelMessageBox::CVistrelMessageBox(const QString& text, int type, QWidget* parent)
    : CVistrelDialog(parent), m_strText(text), m_nType(type),
      m_ui(std::make_unique<Ui::VistrelMessageBox>()) {
    m_ui->setupUi(this);
    ApplyTemplate(kGothic9);
    m_staticText = m_ui->staticText_1027;
    m_btnOK = m_ui->btnOK_1;
    m_btnCancel = m_ui->btnCancel_2;
    m_staticIcon = m_ui->staticIcon_1030;
    OnInitDialog();
}

CVistrelMessageBox::CVistrelMessageBox(int stringId, const QString& fallback, int type,
                                       QWidget* parent)
    : CVistrelMessageBox(LoadStringOr(stringId, fallback), type, parent) {}

CVistrelMessageBox::~CVistrelMessageBox() = default;

void CVistrelMessageBox::OnInitDialog() {
    m_staticText->setText(m_strText);
    QStyle::StandardPixmap icon;
    // A button whose text the table lacks stays empty rather than guessing a language.
    if (m_nType == MB_YESNO) {
        m_btnOK->setText(LoadTableString(kIdsYes));
        m_btnCancel->setText(LoadTableString(kIdsNo));
        icon = QStyle::SP_MessageBoxQuestion;
    } else {
        m_btnOK->setText(LoadTableString(kIdsOK));
        m_btnCancel->hide();
        icon = QStyle::SP_MessageBoxWarning;
    }
    // The icon keeps its natural size, centred on the place the template gives it.
    const QPoint centre = m_staticIcon->geometry().center();
    m_staticIcon->setGeometry(
        QRect(0, 0, kIconSize, kIconSize).translated(centre - QPoint(15, 15)));
    m_staticIcon->setPixmap(style()->standardIcon(icon).pixmap(kIconSize, kIconSize));

    connect(m_btnOK, &QPushButton::clicked, this, [this] { done(IDOK); });
    connect(m_btnCancel, &QPushButton::clicked, this, [this] { done(IDCANCEL); });
    m_btnOK->setFocus();
}
