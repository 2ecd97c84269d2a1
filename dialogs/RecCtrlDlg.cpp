// The capture panel: template 103, its state display, placement and commands.
#include "dialogs/RecCtrlDlg.h"

#include "dialogs/CaptureTarget.h"
#include "dialogs/OptionDlg.h"
#include "dialogs/PanelFollowEvent.h"
#include "dialogs/PanelPlacement.h"
#include "dialogs/ProgramIcon.h"
#include "dialogs/RecButtonState.h"
#include "output_files/MediaKind.h"
#include "platform/StringTable.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "ui_RecCtrlDlg.h"

#include <QKeyEvent>
#include <QScreen>

namespace {

constexpr int kIconSettings = 141;
constexpr int kIconClose = 142;
constexpr int kIconMovie = 138;
constexpr int kIconStill = 139;
constexpr int kIconRecMark = 140;
constexpr int kIdsMovie = 32779;
constexpr int kIdsStill = 32780;

bool IsSpaceKey(QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    return static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space;
}

} // namespace

CRecCtrlDlg::CRecCtrlDlg(QWidget* parent, CCaptureTarget* target)
    : CVistrelDialog(parent), m_pView(target), m_ui(std::make_unique<Ui::RecCtrlDlg>()) {
    // A tool window of the main window (through the view, its child): kept above it and
    // minimised with it by the window system.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    SetDraggable(false);
    m_ui->setupUi(this);
    ApplyTemplate(kGothic9);
    m_btnRec = m_ui->btnRec_1010;
    m_btnSettings = m_ui->btnSettings_1013;
    m_btnClose = m_ui->btnClose_1;
    m_btnMov = m_ui->btnMov_1014;
    m_btnPict = m_ui->btnPict_1015;
    m_staticRecMark = m_ui->staticRecMark_1016;

    connect(m_btnRec, &QPushButton::clicked, this, &CRecCtrlDlg::OnRec);
    connect(m_btnMov, &QRadioButton::clicked, this, &CRecCtrlDlg::OnModeSwitch);
    connect(m_btnPict, &QRadioButton::clicked, this, &CRecCtrlDlg::OnModeSwitch);
    connect(m_btnSettings, &QPushButton::clicked, this, &CRecCtrlDlg::OnSettings);
    connect(m_btnClose, &QPushButton::clicked, this, &CRecCtrlDlg::accept);
    // Space belongs to REC wherever the focus is in the panel, so the buttons must not see it.
    installEventFilter(this);
    for (QWidget* control : findChildren<QWidget*>())
        control->installEventFilter(this);
    OnInitDialog();
}

CRecCtrlDlg::~CRecCtrlDlg() = default;

void CRecCtrlDlg::OnInitDialog() {
    for (QPushButton* button : {m_btnRec, m_btnSettings, m_btnClose})
        GiveLightFace(button);
    PutIcon(m_btnSettings, kIconSettings);
    PutIcon(m_btnClose, kIconClose);
    PutIcon(m_btnMov, kIconMovie);
    PutIcon(m_btnPict, kIconStill);
    const int markSide = std::min(m_staticRecMark->width(), m_staticRecMark->height());
    m_staticRecMark->setPixmap(
        ProgramIcon(kIconRecMark).pixmap(QSize(markSide, markSide), devicePixelRatioF()));
    m_staticRecMark->hide();

    const int mode = m_pView ? m_pView->GetCamMode() : CAMMODE_PICT;
    SetCaptureState(mode, m_pView && m_pView->IsRecording() ? 1 : 0);
    (IsMovieKind(mode) ? m_btnMov : m_btnPict)->setChecked(true);

    m_btnPict->setToolTip(LoadStringOr(kIdsStill, QStringLiteral("Still")));
    m_btnMov->setToolTip(LoadStringOr(kIdsMovie, QStringLiteral("Movie")));
    OnPanelFollow();
    m_btnRec->setFocus();
}

void CRecCtrlDlg::SetCaptureState(int mode, int activity) {
    UpdateRecButton(mode, activity);
    if (IsMovieKind(mode))
        ShowRecIndicator(activity);
}

void CRecCtrlDlg::UpdateRecButton(int mode, int activity) {
    const RecButtonState state = RecButtonStateFor(mode, activity);
    m_nRecIcon = state.recIcon;
    // The busy shutter is red to say "saving", also while REC is disabled.
    PutIcon(m_btnRec, state.recIcon, true);
    if (state.recEnabled)
        EnableRec(*state.recEnabled);
    EnableModeButtons(state.modeButtonsEnabled);
}

// Disabling the focused REC hands the focus to the next button (the close button), where the
// next Enter would hide the panel: REC takes it back when it is enabled again.
void CRecCtrlDlg::EnableRec(bool enable) {
    if (!enable && m_btnRec->isEnabled())
        m_bRecHadFocus = focusWidget() == m_btnRec;
    m_btnRec->setEnabled(enable);
    if (enable && m_bRecHadFocus) {
        m_bRecHadFocus = false;
        m_btnRec->setFocus();
    }
}

void CRecCtrlDlg::ShowRecIndicator(int activity) {
    m_staticRecMark->setVisible(activity > 0);
}

void CRecCtrlDlg::ShowPanel(bool show) {
    if (show)
        OnPanelFollow();
    setVisible(show);
    g_UserDefault.WriteInt(QLatin1String(kRecCtrlDlg.key), show ? 1 : 0);
}

void CRecCtrlDlg::EnableModeButtons(bool enable) {
    m_btnPict->setEnabled(enable);
    m_btnMov->setEnabled(enable);
}

QWidget* CRecCtrlDlg::MainWindow() const {
    return parentWidget() ? parentWidget()->window() : nullptr;
}

int CRecCtrlDlg::OnPanelFollow() {
    QWidget* main = MainWindow();
    if (!main || !main->screen())
        return -1;
    const QRect screen = main->screen()->virtualGeometry();
    PanelPlacementInput in{ToEdgeRect(frameGeometry()), ToEdgeRect(main->frameGeometry()),
                           screen.top(), screen.top() + screen.height()};
    const std::optional<QPoint> position = PanelPosition(in);
    if (!position)
        return -1;
    move(*position);
    return 0;
}

void CRecCtrlDlg::OnRec() {
    if (!m_pView)
        return;
    m_pView->Shoot(m_pView->IsRecording() ? SHOOT_STOP : SHOOT_TAKE);
}

void CRecCtrlDlg::OnModeSwitch() {
    if (m_btnPict->isChecked()) {
        SetCaptureState(CAMMODE_PICT, -1);
        if (m_pView)
            m_pView->SetCamMode(CAMMODE_PICT);
    } else if (m_btnMov->isChecked()) {
        SetCaptureState(CAMMODE_MOV, m_pView && m_pView->IsRecording() ? 1 : 0);
        if (m_pView)
            m_pView->SetCamMode(CAMMODE_MOV);
    }
}

void CRecCtrlDlg::OnSettings() {
    COptionDlg dialog(this);
    dialog.SetView(m_pView);
    dialog.exec();
}

void CRecCtrlDlg::accept() {
    ShowPanel(false);
}

void CRecCtrlDlg::reject() {
    ShowPanel(false);
}

bool CRecCtrlDlg::event(QEvent* event) {
    if (event->type() == static_cast<QEvent::Type>(WM_PANEL_FOLLOW)) {
        OnPanelFollow();
        return true;
    }
    return CVistrelDialog::event(event);
}

bool CRecCtrlDlg::eventFilter(QObject* watched, QEvent* event) {
    if (IsSpaceKey(event)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (event->type() == QEvent::KeyRelease && !key->isAutoRepeat())
            OnRec();
        return true;
    }
    return CVistrelDialog::eventFilter(watched, event);
}
