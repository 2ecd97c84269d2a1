// The preferences dialog: reads the settings afresh on every opening and stores them on OK.
#include "dialogs/PrefDlg.h"

#include "settings/AppProfile.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "ui_PrefDlg.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSlider>

#include <algorithm>

namespace {

// The main window's first-run position, where the restore button puts it back.
constexpr QPoint kDefaultFramePos(101, 101);

} // namespace

int AlphaPosition(int stored) {
    return std::clamp(stored, kAlphaMin, kAlphaMax);
}

int InvertPerform(int value) {
    return std::max(kPerformMax - std::max(value, 0), 0);
}

CPrefDlg::CPrefDlg(QWidget* mainWindow, QSize pictureSize)
    : CVistrelDialog(nullptr), m_pMainWindow(mainWindow), m_sizePicture(pictureSize),
      m_ui(std::make_unique<Ui::PrefDlg>()) {
    m_ui->setupUi(this);
    ApplyTemplate(kShellDlg8);
    m_checkSelCam = m_ui->checkSelCam_1007;
    m_checkMirror = m_ui->checkMirror_1005;
    m_sliderAlpha = m_ui->sliderAlpha_1003;
    m_btnOrgSize = m_ui->btnOrgSize_1010;
    m_sliderPerform = m_ui->sliderPerform_1004;
    connect(m_ui->btnOK_1, &QPushButton::clicked, this, &CPrefDlg::accept);
    connect(m_ui->btnCancel_2, &QPushButton::clicked, this, &CPrefDlg::reject);
    connect(m_btnOrgSize, &QPushButton::clicked, this, &CPrefDlg::OnOrgSize);
    OnInitDialog();
}

CPrefDlg::~CPrefDlg() = default;

void CPrefDlg::OnInitDialog() {
    m_sliderAlpha->setRange(kAlphaMin, kAlphaMax);
    m_sliderAlpha->setValue(
        AlphaPosition(g_UserDefault.GetInt(kAlphaValue.key, kAlphaValue.intDefault)));
    m_checkMirror->setChecked(g_UserDefault.GetInt(kMirrorImage.key, kMirrorImage.intDefault) != 0);
    m_sliderPerform->setRange(0, kPerformMax);
    m_sliderPerform->setValue(
        InvertPerform(g_UserDefault.GetInt(kPerform.key, kPerform.intDefault)));
    m_checkSelCam->setChecked(GetProfileInt(QString::fromLatin1(kSharedSection),
                                            QString::fromLatin1(kSelCamAtLaunch.key),
                                            kSelCamAtLaunch.intDefault) != 0);
    // At start-up, when no camera opened, there is no main window to restore.
    m_btnOrgSize->setEnabled(m_pMainWindow != nullptr);
    m_ui->btnOK_1->setFocus();
}

void CPrefDlg::accept() {
    g_UserDefault.WriteInt(kAlphaValue.key, m_sliderAlpha->value());
    g_UserDefault.WriteInt(kPerform.key, InvertPerform(m_sliderPerform->value()));
    g_UserDefault.WriteInt(kMirrorImage.key, m_checkMirror->isChecked() ? 1 : 0);
    WriteProfileInt(QString::fromLatin1(kSharedSection), QString::fromLatin1(kSelCamAtLaunch.key),
                    m_checkSelCam->isChecked() ? 1 : 0);
    done(IDOK);
}

void CPrefDlg::OnOrgSize() {
    if (m_pMainWindow)
        m_pMainWindow->setGeometry(QRect(kDefaultFramePos, m_sizePicture));
}
