// The controls window: rows built from the camera's controls, kept in step with the camera.
#include "dialogs/CameraControlsDlg.h"

#include "camera/CameraControlBoard.h"
#include "dialogs/ProgramIcon.h"
#include "platform/StringTable.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>

namespace {

constexpr int IDS_CONTROLS_TITLE = 32851;
constexpr int IDS_CONTROLS_DEFAULTS = 32852;
constexpr int kIconClose = 142;
constexpr int kFollowMs = 100;
constexpr int kSaveMs = 300;

// The common controls' names, string 32853 onwards.
const char* const kCommonKeys[] = {
    "brightness",
    "contrast",
    "saturation",
    "hue",
    "gamma",
    "sharpness",
    "backlight_compensation",
    "gain",
    "white_balance_automatic",
    "white_balance_temperature",
    "auto_exposure",
    "exposure_time_absolute",
    "exposure_dynamic_framerate",
    "focus_automatic_continuous",
    "focus_absolute",
    "power_line_frequency",
    "zoom_absolute",
    "pan_absolute",
    "tilt_absolute",
};
constexpr int IDS_FIRST_CONTROL_NAME = 32853;

bool SameControls(const QList<CameraControl>& a, const QList<CameraControl>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.key == y.key && x.kind == y.kind && x.minimum == y.minimum &&
               x.maximum == y.maximum && x.items.size() == y.items.size();
    });
}

// A slider's position as a value the driver takes: on its step from the minimum.
int64_t OnStep(const CameraControl& control, int64_t value) {
    const int64_t steps = (value - control.minimum + control.step / 2) / control.step;
    return std::clamp(control.minimum + steps * control.step, control.minimum, control.maximum);
}

} // namespace

QString CameraControlLabel(const CameraControl& control) {
    for (int i = 0; i < int(std::size(kCommonKeys)); ++i) {
        if (control.key == QLatin1String(kCommonKeys[i]))
            return LoadStringOr(IDS_FIRST_CONTROL_NAME + i, control.name);
    }
    return control.name;
}

CCameraControlsDlg::CCameraControlsDlg(QWidget* parent, std::shared_ptr<CCameraControlBoard> board)
    : CVistrelDialog(parent), m_pBoard(std::move(board)) {
    setProperty(kLivePictureProperty, true);
    const QString title = LoadStringOr(IDS_CONTROLS_TITLE, QStringLiteral("Camera controls"));
    setWindowTitle(title);
    setFont(TemplateFont(kGothic9));
    auto* layout = new QGridLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(16, 12, 16, 12);
    auto* heading = new QLabel(title, this);
    heading->setTextFormat(Qt::PlainText);
    auto* close = new QPushButton(this);
    close->setObjectName(QStringLiteral("btnClose"));
    PutIcon(close, kIconClose);
    close->setFlat(true);
    layout->addWidget(heading, 0, 0);
    layout->addWidget(close, 0, 1, Qt::AlignRight);
    auto* rows = new QWidget(this);
    m_grid = new QGridLayout(rows);
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setColumnMinimumWidth(1, 200);
    layout->addWidget(rows, 1, 0, 1, 2);
    m_btnDefaults =
        new QPushButton(LoadStringOr(IDS_CONTROLS_DEFAULTS, QStringLiteral("&Defaults")), this);
    m_btnDefaults->setObjectName(QStringLiteral("btnDefaults"));
    layout->addWidget(m_btnDefaults, 2, 0, 1, 2, Qt::AlignRight);
    connect(close, &QPushButton::clicked, this, &CCameraControlsDlg::accept);
    connect(m_btnDefaults, &QPushButton::clicked, this, &CCameraControlsDlg::OnDefaults);
    connect(&m_follow, &QTimer::timeout, this, &CCameraControlsDlg::Follow);
    m_save.setSingleShot(true);
    connect(&m_save, &QTimer::timeout, this, &CCameraControlsDlg::SaveStored);
    m_stored = m_pBoard->Stored();
    Follow();
}

CCameraControlsDlg::~CCameraControlsDlg() {
    m_pBoard->Watch(false);
    if (m_save.isActive())
        SaveStored();
}

void CCameraControlsDlg::showEvent(QShowEvent* event) {
    CVistrelDialog::showEvent(event);
    m_pBoard->Watch(true);
    m_follow.start(kFollowMs);
}

void CCameraControlsDlg::hideEvent(QHideEvent* event) {
    CVistrelDialog::hideEvent(event);
    m_pBoard->Watch(false);
    m_follow.stop();
    if (m_save.isActive())
        SaveStored();
}

void CCameraControlsDlg::Follow() {
    const uint64_t generation = m_pBoard->Generation();
    if (generation == m_nGeneration)
        return;
    m_nGeneration = generation;
    const QList<CameraControl> controls = m_pBoard->Controls();
    QList<CameraControl> shown;
    for (const Row& row : m_rows)
        shown << row.control;
    if (!SameControls(controls, shown))
        Rebuild(controls);
    const bool open = m_pBoard->CameraOpen();
    for (int i = 0; i < m_rows.size(); ++i)
        ShowState(m_rows[i], controls[i], open);
    m_btnDefaults->setEnabled(open && !controls.isEmpty());
}

void CCameraControlsDlg::Rebuild(const QList<CameraControl>& controls) {
    while (QLayoutItem* item = m_grid->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_rows.clear();
    for (const CameraControl& control : controls)
        AddRow(control);
    ApplyDialogColours(this);
}

void CCameraControlsDlg::AddRow(const CameraControl& control) {
    Row row{control, nullptr, nullptr};
    const int line = int(m_rows.size());
    QWidget* rows = m_grid->parentWidget();
    const QString label = CameraControlLabel(control);
    switch (control.kind) {
    case CameraControl::Kind::Integer: {
        auto* slider = new QSlider(Qt::Horizontal, rows);
        slider->setRange(int(control.minimum), int(control.maximum));
        slider->setSingleStep(int(control.step));
        slider->setPageStep(
            int(std::max<int64_t>(control.step, (control.maximum - control.minimum) / 10)));
        row.value = new QLabel(rows);
        row.value->setMinimumWidth(
            row.value->fontMetrics().horizontalAdvance(QStringLiteral("-00000")));
        QLabel* number = row.value;
        connect(slider, &QSlider::valueChanged, this, [this, control, number](int value) {
            number->setNum(int(OnStep(control, value)));
            UserSet(control, OnStep(control, value));
        });
        row.editor = slider;
        break;
    }
    case CameraControl::Kind::Boolean: {
        auto* box = new QCheckBox(rows);
        connect(box, &QCheckBox::toggled, this,
                [this, control](bool on) { UserSet(control, on ? 1 : 0); });
        row.editor = box;
        break;
    }
    case CameraControl::Kind::Menu:
    case CameraControl::Kind::IntegerMenu: {
        auto* list = new QComboBox(rows);
        for (const CameraControl::Item& item : control.items)
            list->addItem(item.label, QVariant::fromValue<qlonglong>(item.index));
        connect(list, &QComboBox::activated, this, [this, control, list](int index) {
            UserSet(control, list->itemData(index).toLongLong());
        });
        row.editor = list;
        break;
    }
    case CameraControl::Kind::Button: {
        auto* button = new QPushButton(label, rows);
        // A button acts once; it has no value to keep.
        connect(button, &QPushButton::clicked, this,
                [this, control] { m_pBoard->Request(control.key, 1); });
        row.editor = button;
        break;
    }
    }
    row.editor->setObjectName(control.key);
    if (control.kind != CameraControl::Kind::Button) {
        auto* title = new QLabel(label, rows);
        title->setTextFormat(Qt::PlainText);
        m_grid->addWidget(title, line, 0);
    }
    m_grid->addWidget(row.editor, line, 1);
    if (row.value)
        m_grid->addWidget(row.value, line, 2);
    m_rows << row;
}

void CCameraControlsDlg::ShowState(Row& row, const CameraControl& control, bool open) {
    row.control = control;
    row.editor->setEnabled(open && control.Settable() && !control.inactive);
    const QSignalBlocker quiet(row.editor);
    if (auto* slider = qobject_cast<QSlider*>(row.editor)) {
        if (!slider->isSliderDown()) // the user's drag is not pulled back by older news
            slider->setValue(int(control.value));
        row.value->setNum(slider->value());
    } else if (auto* box = qobject_cast<QCheckBox*>(row.editor)) {
        box->setChecked(control.value != 0);
    } else if (auto* list = qobject_cast<QComboBox*>(row.editor)) {
        list->setCurrentIndex(list->findData(QVariant::fromValue<qlonglong>(control.value)));
    }
}

void CCameraControlsDlg::UserSet(const CameraControl& control, int64_t value) {
    m_pBoard->Request(control.key, value);
    m_stored.insert(control.key, value);
    m_pBoard->SetStored(m_stored);
    m_save.start(kSaveMs);
}

void CCameraControlsDlg::OnDefaults() {
    m_pBoard->RequestDefaults();
    m_stored.clear();
    m_pBoard->SetStored(m_stored);
    SaveStored();
}

void CCameraControlsDlg::SaveStored() {
    m_save.stop();
    g_UserDefault.WriteString(QLatin1String(kControls.key), CameraControlValuesText(m_stored));
}
