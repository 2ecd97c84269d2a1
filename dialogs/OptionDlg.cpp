// The save-settings dialog: template 145, its checks, questions and the folder chooser.
#include "dialogs/OptionDlg.h"

#include "dialogs/CaptureTarget.h"
#include "dialogs/OptionFields.h"
#include "dialogs/ProgramIcon.h"
#include "dialogs/VistrelMessageBox.h"
#include "output_files/FiletypeMgr.h"
#include "output_files/MediaKind.h"
#include "platform/StringTable.h"
#include "ui_OptionDlg.h"

#include <QDir>
#include <QFileDialog>

namespace {

constexpr int kIconReset = 144;
constexpr int kIconMovie = 146;
constexpr int kIconStill = 147;

constexpr int kIdsResetTip = 32778;
constexpr int kIdsBrowseTitle = 32783;
constexpr int kIdsNoFolder = 32784;
constexpr int kIdsSaveChanges = 32785;
constexpr int kIdsResetSerial = 32787;
constexpr int kIdsBadFilename = 32794;
constexpr int kIdsModeTip = 32795;
constexpr int kIdsDefaultMicrophone = 32809;

bool Ask(QWidget* parent, int id, const char* fallback) {
    CVistrelMessageBox box(id, QLatin1String(fallback), MB_YESNO, parent);
    return box.exec() == IDOK;
}

void Tell(QWidget* parent, int id, const char* fallback) {
    CVistrelMessageBox box(id, QLatin1String(fallback), MB_OK, parent);
    box.exec();
}

} // namespace

COptionDlg::COptionDlg(QWidget* parent)
    : CVistrelDialog(parent), m_ui(std::make_unique<Ui::OptionDlg>()) {
    m_ui->setupUi(this);
    ApplyTemplate(kShellDlg8);
    m_editFolder = m_ui->editFolder_1018;
    m_editFilename = m_ui->editFilename_1020;
    m_comboFiletype = m_ui->comboFiletype_1021;
    m_btnResetSerial = m_ui->btnResetSerial_1022;
    m_btnMode = m_ui->btnMode_1028;
    m_staticSerial = m_ui->staticSerial_1029;
    m_checkFullSize = m_ui->checkFullSize_1030;
    m_checkAudio = m_ui->checkAudio_1031;
    m_comboMicrophone = m_ui->comboMicrophone_1032;
    GiveLightFace(m_btnResetSerial);
    GiveLightFace(m_btnMode);

    connect(m_ui->btnOk_1, &QPushButton::clicked, this, &COptionDlg::accept);
    connect(m_ui->btnCancel_2, &QPushButton::clicked, this, &COptionDlg::reject);
    connect(m_btnResetSerial, &QPushButton::clicked, this, &COptionDlg::OnResetSerial);
    connect(m_ui->btnBrowse_1019, &QPushButton::clicked, this, &COptionDlg::BrowseFolder);
    connect(m_btnMode, &QPushButton::clicked, this, &COptionDlg::OnModeSwitch);
    connect(m_comboFiletype, &QComboBox::currentIndexChanged, this, &COptionDlg::EnableSound);
    connect(m_checkAudio, &QCheckBox::toggled, this, &COptionDlg::EnableSound);
}

COptionDlg::~COptionDlg() = default;

void COptionDlg::SetView(CCaptureTarget* view) {
    m_pView = view;
    OnInitDialog();
}

void COptionDlg::OnInitDialog() {
    if (!m_pView)
        return;
    m_nKind = IsMovieKind(m_pView->GetCamMode()) ? CAMMODE_MOV : CAMMODE_PICT;
    UpdateControls();
    PutIcon(m_btnResetSerial, kIconReset);
    m_btnResetSerial->setToolTip(LoadStringOr(kIdsResetTip, QStringLiteral("Reset serial")));
    m_btnMode->setToolTip(LoadStringOr(kIdsModeTip, QStringLiteral("Still / movie")));
    m_editFolder->setFocus();
}

void COptionDlg::UpdateControls() {
    if (!m_pView)
        return;
    m_nModeIcon = IsMovieKind(m_nKind) ? kIconMovie : kIconStill;
    PutIcon(m_btnMode, m_nModeIcon);
    m_staticSerial->setText(m_pView->GetSerialNumberText(m_nKind));
    m_pFiletypeMgr = m_pView->GetFiletypeMgr(m_nKind);
    m_comboFiletype->clear();
    for (int i = 0; m_pFiletypeMgr && i < m_pFiletypeMgr->GetCount(); ++i) {
        QString description;
        m_pFiletypeMgr->GetFiletype(i, &description, nullptr);
        m_comboFiletype->addItem(description);
    }
    const int chosen = m_pView->GetFiletypeIndex(m_nKind);
    m_comboFiletype->setCurrentIndex(chosen < m_comboFiletype->count() ? chosen : 0);
    m_editFolder->setText(m_pView->GetFoldername(m_nKind));
    m_editFilename->setText(m_pView->GetFilename(m_nKind));
    // The options under the file type belong to one kind each.
    const bool movie = IsMovieKind(m_nKind);
    m_checkFullSize->setVisible(!movie);
    m_checkFullSize->setChecked(m_pView->GetStillFullSize());
    m_checkAudio->setVisible(movie);
    m_ui->labelMicrophone->setVisible(movie);
    m_comboMicrophone->setVisible(movie);
    m_checkAudio->setChecked(m_pView->GetMovieAudio());
    if (movie)
        FillMicrophones();
    EnableSound();
}

void COptionDlg::FillMicrophones() {
    m_comboMicrophone->clear();
    m_comboMicrophone->addItem(LoadStringOr(kIdsDefaultMicrophone, QStringLiteral("Default")),
                               QString());
    for (const MicrophoneInfo& microphone : m_pView->Microphones())
        m_comboMicrophone->addItem(microphone.description, microphone.name);
    const QString stored = m_pView->GetMovieAudioSource();
    int index = m_comboMicrophone->findData(stored);
    if (index < 0) {
        m_comboMicrophone->addItem(stored, stored);
        index = m_comboMicrophone->count() - 1;
    }
    m_comboMicrophone->setCurrentIndex(index);
}

void COptionDlg::EnableSound() {
    uint32_t codec = 0;
    const bool carries = m_pFiletypeMgr && IsMovieKind(m_nKind) &&
                         m_pFiletypeMgr->GetFiletypeWithCodec(m_comboFiletype->currentIndex(),
                                                              nullptr, nullptr, codec) &&
                         codec == kCodecH264;
    m_checkAudio->setEnabled(carries);
    m_ui->labelMicrophone->setEnabled(carries && m_checkAudio->isChecked());
    m_comboMicrophone->setEnabled(carries && m_checkAudio->isChecked());
}

bool COptionDlg::SoundModified() const {
    return IsMovieKind(m_nKind) &&
           (m_checkAudio->isChecked() != m_pView->GetMovieAudio() ||
            m_comboMicrophone->currentData().toString() != m_pView->GetMovieAudioSource());
}

bool COptionDlg::SaveSettings() {
    if (!m_pView)
        return false;
    const QString name = m_editFilename->text();
    const QString folder = m_editFolder->text();
    QString extension;
    if (m_pFiletypeMgr)
        m_pFiletypeMgr->GetFiletype(qMax(0, m_comboFiletype->currentIndex()), nullptr, &extension);
    const FieldVerdict verdict = CheckFields(name, folder, extension);
    if (verdict == FieldVerdict::BadFilename) {
        Tell(this, kIdsBadFilename, "Specified filename is including wrong character(s).");
        return false;
    }
    m_pView->SetFilename(name, m_nKind);
    if (m_comboFiletype->currentIndex() >= 0)
        m_pView->SetFiletypeIndex(m_comboFiletype->currentIndex(), m_nKind);
    if (!IsMovieKind(m_nKind)) {
        m_pView->SetStillFullSize(m_checkFullSize->isChecked());
    } else {
        m_pView->SetMovieAudio(m_checkAudio->isChecked());
        m_pView->SetMovieAudioSource(m_comboMicrophone->currentData().toString());
    }
    if (verdict == FieldVerdict::BadFoldername) {
        Tell(this, kIdsNoFolder, "Not Exist specified folder.");
        return false;
    }
    m_pView->SetFoldername(folder, m_nKind);
    return true;
}

bool COptionDlg::IsModified() const {
    if (!m_pView)
        return false;
    return FieldsModified(m_editFolder->text(), m_pView->GetFoldername(m_nKind),
                          m_editFilename->text(), m_pView->GetFilename(m_nKind)) ||
           (m_comboFiletype->currentIndex() >= 0 &&
            m_comboFiletype->currentIndex() != m_pView->GetFiletypeIndex(m_nKind)) ||
           (!IsMovieKind(m_nKind) && m_checkFullSize->isChecked() != m_pView->GetStillFullSize()) ||
           SoundModified();
}

void COptionDlg::ConfirmSave() {
    if (IsModified() && Ask(this, kIdsSaveChanges, "Settings are changed. Do you save them?"))
        SaveSettings();
}

bool COptionDlg::BrowseFolder() {
    const QString title = LoadStringOr(kIdsBrowseTitle, QStringLiteral("Select Folder"));
    const QString start = m_pView ? m_pView->GetFoldername(m_nKind) : QString();
    const QString folder = QFileDialog::getExistingDirectory(this, title, start);
    if (folder.isEmpty())
        return false;
    m_editFolder->setText(QDir::toNativeSeparators(folder));
    return true;
}

void COptionDlg::OnResetSerial() {
    if (!m_pView || !Ask(this, kIdsResetSerial, "Reset serial number in filename."))
        return;
    m_pView->ResetSerialNumber(m_nKind);
    UpdateControls();
}

void COptionDlg::OnModeSwitch() {
    ConfirmSave();
    m_nKind = IsMovieKind(m_nKind) ? CAMMODE_PICT : CAMMODE_MOV;
    UpdateControls();
}

void COptionDlg::accept() {
    if (SaveSettings())
        done(IDOK);
}
