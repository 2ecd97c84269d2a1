// The program's message box: texts from the string table, the mode's buttons and icon.
#include "dialogs/VistrelMessageBox.h"

#include "platform/StringTable.h"
#include "ui_VistrelMessageBox.h"

#include <QPushButton>
#include <QStyle>

namespace {

constexpr int kIdsYes = 32788;
constexpr int kIdsNo = 32789;
constexpr int kIdsOK = 32790;
constexpr int kIconSize = 32;
// The widest the text area grows, in dialog units (the template's is 96): lines stay readable.
constexpr int kMaxTextWidthDlu = 240;

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
    setWindowTitle(m_strText); // never shown (no frame); lets desktop tools find a box by its text
    FitTextArea();
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

// The template's text area holds two short lines; most messages need more. The area widens to
// the message's longest line (up to the limit), then grows down to the wrapped text's height;
// the box grows by as much, so the buttons keep their places at its bottom and right.
void CVistrelMessageBox::FitTextArea() {
    const QRect area = m_staticText->geometry();
    const int widest =
        qMax(area.width(), DluToPixels(QSize(kMaxTextWidthDlu, 0), kGothic9).width());
    const QRect natural = m_staticText->fontMetrics().boundingRect(QRect(0, 0, widest, 1 << 20),
                                                                   Qt::TextWordWrap, m_strText);
    const int width = qBound(area.width(), natural.width() + 1, widest);
    const int height = qMax(area.height(), m_staticText->heightForWidth(width));
    const QSize grow(width - area.width(), height - area.height());
    if (grow.isNull())
        return;
    m_staticText->setGeometry(QRect(area.topLeft(), QSize(width, height)));
    for (QPushButton* button : {m_btnOK, m_btnCancel})
        button->move(button->pos() + QPoint(grow.width(), grow.height()));
    setFixedSize(size() + grow);
}
