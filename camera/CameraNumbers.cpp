// Which attached camera each camera number opens.
#include "camera/CameraNumbers.h"

#include <QMap>

QList<CameraInfo> AssignCameraNumbers(const QList<CameraInfo>& attached,
                                      const StoredCameraIds& stored,
                                      const StoredCameraMatcher& match) {
    QMap<int, int> cameraOf; // camera index -> attached index
    QList<bool> claimed(attached.size(), false);
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        const int camera = match(it.value());
        if (camera >= 0 && !claimed[camera] && it.key() >= 0 && it.key() < kMaxCameraIndex) {
            cameraOf.insert(it.key(), camera);
            claimed[camera] = true;
        }
    }
    // A number that remembers a camera is that camera's alone, there or not: the others take the
    // lowest numbers that remember none.
    int next = 0;
    for (int index = 0; next < attached.size(); ++index) {
        if (cameraOf.contains(index) || !stored.value(index).isEmpty())
            continue;
        while (next < attached.size() && claimed[next])
            ++next;
        if (next < attached.size())
            cameraOf.insert(index, next++);
    }
    QList<CameraInfo> cameras;
    const int count = cameraOf.isEmpty() ? 0 : cameraOf.lastKey() + 1;
    for (int index = 0; index < count; ++index)
        cameras << (cameraOf.contains(index) ? attached[cameraOf[index]] : CameraInfo{});
    return cameras;
}
