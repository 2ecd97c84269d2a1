// Every setting the program keeps: its key, where it lives, and its default. Readers take the
// default from here; defaults that depend on the running program (picture size, user folders)
// are supplied by their readers and marked as such.
#pragma once

// Company and application keys of the per-user profile.
inline constexpr char kCompanyKey[] = "Quenbor";
inline constexpr char kAppNameFallback[] = "VistrelCV";

// Section base name; per-camera sections are "UserDefault0", "UserDefault1", ...
inline constexpr char kSectionBase[] = "UserDefault";
// The shared section (no number) holds "SelCamAtLaunch" only.
inline constexpr char kSharedSection[] = "UserDefault";

struct SettingKey {
    const char* key;
    bool shared;             // true: lives in the shared section, not per camera
    bool isText;             // text value (otherwise a signed 32-bit integer)
    int intDefault;          // default of an integer setting
    const char* textDefault; // default of a text setting; nullptr when the reader supplies it
};

inline constexpr SettingKey kSelCamAtLaunch{"SelCamAtLaunch", true, false, 0, nullptr};
inline constexpr SettingKey kAlphaValue{"AlphaValue", false, false, 255, nullptr};
inline constexpr SettingKey kMirrorImage{"MirrorImage", false, false, 0, nullptr};
inline constexpr SettingKey kPerform{"Perform", false, false, 330, nullptr};
// The most the preferences can set "Perform" to; readers clamp a stored value to 0 .. this.
inline constexpr int kPerformMax = 1045;
inline constexpr SettingKey kCamMode{"CamMode", false, false, 0, nullptr};
inline constexpr SettingKey kRecCtrlDlg{"RecCtrlDlg", false, false, 0, nullptr};
inline constexpr SettingKey kStayOnTop{"StayOnTop", false, false, 0, nullptr};
inline constexpr SettingKey kWndX{"WndX", false, false, 101, nullptr};
inline constexpr SettingKey kWndY{"WndY", false, false, 101, nullptr};
// Default: the picture size from the application object.
inline constexpr SettingKey kWndWidth{"WndWidth", false, false, 0, nullptr};
inline constexpr SettingKey kWndHeight{"WndHeight", false, false, 0, nullptr};
inline constexpr SettingKey kPictNum{"PictNum", false, false, 1, nullptr};
inline constexpr SettingKey kMovNum{"MovNum", false, false, 1, nullptr};
inline constexpr SettingKey kPictFilename{"PictFilename", false, true, 0, "pict"};
inline constexpr SettingKey kMovFilename{"MovFilename", false, true, 0, "mov"};
// Default: the user's pictures / videos folder.
inline constexpr SettingKey kPictFoldername{"PictFoldername", false, true, 0, nullptr};
inline constexpr SettingKey kMovFoldername{"MovFoldername", false, true, 0, nullptr};
// Which camera this section belongs to (its identity), written when the camera first opens.
inline constexpr SettingKey kCameraId{"CameraId", false, true, 0, ""};
// The capture size the user chose, "WIDTHxHEIGHT"; empty for the camera's best mode.
inline constexpr SettingKey kCaptureSize{"CaptureSize", false, true, 0, ""};
// The file type of each kind, as its extension; one the program does not offer reads as the first.
inline constexpr SettingKey kPictFiletype{"PictFiletype", false, true, 0, "jpg"};
inline constexpr SettingKey kMovFiletype{"MovFiletype", false, true, 0, "mpg"};
// 1: a still is the camera's own frame at its size, not the picture shown.
inline constexpr SettingKey kPictFullSize{"PictFullSize", false, false, 0, nullptr};
// The camera controls the user set, "key=value" entries joined by ";"
// ("brightness=140;exposure_time_absolute=300"); empty: the camera's own values.
// 1: an MP4 movie carries the microphone's sound (MPEG-1 movies are always silent).
inline constexpr SettingKey kMovAudio{"MovAudio", false, false, 0, nullptr};
// The sound server's stable name of the microphone; empty for the desktop's default one.
inline constexpr SettingKey kMovAudioSource{"MovAudioSource", false, true, 0, ""};
inline constexpr SettingKey kControls{"Controls", false, true, 0, ""};

inline constexpr SettingKey kAllSettings[] = {
    kSelCamAtLaunch, kAlphaValue,   kMirrorImage,  kPerform,     kCamMode,
    kRecCtrlDlg,     kWndX,         kWndY,         kWndWidth,    kWndHeight,
    kPictNum,        kMovNum,       kPictFilename, kMovFilename, kPictFoldername,
    kMovFoldername,  kStayOnTop,    kCameraId,     kCaptureSize, kPictFiletype,
    kMovFiletype,    kPictFullSize, kControls,     kMovAudio,    kMovAudioSource,
};
