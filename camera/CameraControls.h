// A camera's own controls (brightness, exposure, focus, white balance...) as the camera offers
// them, the values the user chose for them as stored text, and the rules of writing them: the
// automatic modes first, since the values that depend on them cannot be set until the mode
// allows it. A source that has controls hands them out through CCameraSource::Controls(); they
// are used on the camera reader's thread only.
#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include <cstdint>
#include <optional>

struct CameraControl {
    enum class Kind { Integer, Boolean, Menu, IntegerMenu, Button };
    struct Item {
        int64_t index = 0; // the value that selects it
        QString label;     // the driver's text, or the number of an integer menu
    };
    uint32_t id = 0; // the camera's own number for it
    QString key;     // what the value is stored under: "brightness", "exposure_time_absolute"
    QString name;    // the driver's name for it
    Kind kind = Kind::Integer;
    int64_t minimum = 0, maximum = 0, step = 1, defaultValue = 0, value = 0;
    QList<Item> items;      // menus: only the items the driver answers for
    bool automatic = false; // an automatic mode other controls depend on: written first
    bool inactive = false;  // has no effect now (its automatic mode is on)
    bool readOnly = false;
    bool grabbed = false; // held by a stream that is running
    bool Settable() const { return !readOnly && !grabbed; }
};

// The values the user chose, by control key.
using CameraControlValues = QMap<QString, int64_t>;

// "brightness=140;exposure_time_absolute=300", keys in order.
QString CameraControlValuesText(const CameraControlValues& values);
// The values of stored text. Entries that are no "key=integer" (key of lower-case letters, digits
// and "_", at most 64 of them; a 32-bit value) are left out and counted in `*rejected`; of a
// key given twice the first counts.
CameraControlValues ParseCameraControlValues(const QString& text, int* rejected = nullptr);
// The same for the stored setting: what is left out is reported in one warning.
CameraControlValues ReadStoredControlValues(const QString& text);
// A driver's control name as a key: lower case, each run of other characters than letters and
// digits one "_", none at the ends ("Exposure Time, Absolute" gives "exposure_time_absolute").
QString ControlKeyOfName(const QString& name);

class CCameraControls {
public:
    virtual ~CCameraControls() = default;
    // The controls now, with their values and state.
    virtual QList<CameraControl> List() = 0;
    // Writes `value` to the control and reads it back: the value in force, or nothing when the
    // camera refused it. A button is pressed whatever the value.
    virtual std::optional<int64_t> Set(const CameraControl& control, int64_t value) = 0;
    // True when a control changed on the camera since the last call (another program, or the
    // camera itself).
    virtual bool TakeChanges() = 0;
};

// Writes `values` in dependency order (automatic modes, then the rest), each read back. Values
// of controls the camera lacks or cannot take now are left out; a refused or altered value is
// logged once per process.
void ApplyCameraControls(CCameraControls& controls, const CameraControlValues& values);
// Sets every settable control to the driver's default: the values first, then the automatic
// modes, so values that need a manual mode still take theirs.
void ResetCameraControls(CCameraControls& controls);
