// The camera chooser: its list, and what OK and Cancel leave for start-up.
#include "dialogs/SelCamDlg.h"

#include "platform/StringTable.h"
#include "settings/AppProfile.h"
#include "settings/SettingsKeys.h"
#include "ui_SelCamDlg.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPushButton>

namespace {

constexpr int kIdsAuto = 32776;

} // namespace

QList<CameraChoice> CameraChoices(const QString& autoText, const QList<CameraInfo>& cameras) {
    QList<CameraChoice> choices{{autoText, -1}};
    for (int n = 1; n <= kChooserCameraCount; ++n) {
        QString text = QString::number(n);
        if (n - 1 < cameras.size()) {
            const QString name = cameras.at(n - 1).name.simplified();
            if (!name.isEmpty())
                text += QStringLiteral(": ") + name;
        }
        choices.append({text, n - 1});
    }
    return choices;
}

CSelCamDlg::CSelCamDlg(QWidget* parent)
    : CSelCamDlg(ListCameras(GetEveryCameraString(QLatin1String(kCameraId.key))), parent) {}

CSelCamDlg::CSelCamDlg(const QList<CameraInfo>& cameras, QWidget* parent)
    : CVistrelDialog(parent), m_ui(std::make_unique<Ui::SelCamDlg>()) {
    m_ui->setupUi(this);
    ApplyTemplate(kShellDlg8);
    m_comboCamera = m_ui->comboCamera_1002;
    m_staticTitle = m_ui->staticTitle_1004;
    connect(m_ui->btnOK_1, &QPushButton::clicked, this, &CSelCamDlg::accept);
    OnInitDialog(cameras);
}

CSelCamDlg::~CSelCamDlg() = default;

std::optional<int> CSelCamDlg::Choose(QWidget* parent) {
    CSelCamDlg dialog(parent);
    if (dialog.exec() != IDOK)
        return std::nullopt;
    return dialog.Selected();
}

void CSelCamDlg::OnInitDialog(const QList<CameraInfo>& cameras) {
    const QString autoText = LoadStringOr(kIdsAuto, QStringLiteral("Auto"));
    for (const CameraChoice& choice : CameraChoices(autoText, cameras))
        m_comboCamera->addItem(choice.text, choice.value);
    m_comboCamera->setCurrentIndex(0);
    // The closed box is narrow; its open list is as wide as the longest camera name.
    QAbstractItemView* list = m_comboCamera->view();
    list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth());
    m_ui->btnOK_1->setFocus();
}

void CSelCamDlg::accept() {
    // No selection reads as "Auto", as the list's own "no item" value does.
    const QVariant value = m_comboCamera->currentData();
    m_nSelected = value.isValid() ? value.toInt() : -1;
    done(IDOK);
}

void CSelCamDlg::reject() {
    m_nSelected = -1;
    done(IDCANCEL);
}
