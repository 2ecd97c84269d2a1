// The V4L2 test device's folder of camera nodes, and the fixture of tests on its cameras.
#include "support/FakeV4l2.h"

#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdlib>

namespace {

bool Write(const QString& path, const QString& text) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.commit();
}

} // namespace

bool FakeV4l2::Create(const QString& root) {
    m_root = QDir(root).absolutePath();
    QDir(m_root).removeRecursively();
    const QByteArray path = QFile::encodeName(m_root);
    ::setenv("FAKEV4L2_ROOT", path.constData(), 1);
    ::setenv("VISTRELCV_DEVICE_ROOT", path.constData(), 1);
    return QDir().mkpath(m_root + QLatin1String("/v4l/by-id"));
}

bool FakeV4l2::AddCamera(int number, const QString& spec, const QString& byIdName) {
    if (!Write(Node(number), spec))
        return false;
    const QString link = m_root + QLatin1String("/v4l/by-id/") + byIdName;
    QFile::remove(link);
    return byIdName.isEmpty() || QFile::link(QStringLiteral("../../video%1").arg(number), link);
}

bool FakeV4l2::Unplug(int number) {
    QFile node(Node(number));
    if (!node.open(QIODevice::ReadOnly))
        return false;
    Camera& camera = m_unplugged[number];
    camera = {node.readAll(), {}};
    const QDir byId(m_root + QLatin1String("/v4l/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files))
        if (link.symLinkTarget() == Node(number) && QFile::remove(link.filePath()))
            camera.links << link.fileName();
    return node.remove();
}

bool FakeV4l2::Replug(int from, int to) {
    if (QFile::exists(Node(from)) && !Unplug(from))
        return false;
    const auto camera = m_unplugged.find(from);
    if (camera == m_unplugged.end() || !Write(Node(to), QString::fromUtf8(camera->second.spec)))
        return false;
    for (const QString& name : camera->second.links)
        if (!QFile::link(QStringLiteral("../../video%1").arg(to),
                         m_root + QLatin1String("/v4l/by-id/") + name))
            return false;
    return true;
}

QString FakeV4l2::Node(int number) const {
    return m_root + QStringLiteral("/video%1").arg(number);
}

void FakeV4l2Test::SetUp() {
    testenv::FreshSettings(0);
    qunsetenv("VISTRELCV_CAMERAS");
    ASSERT_TRUE(device.Create(testenv::Home() + "/dev"));
}

void FakeV4l2Test::TearDown() {
    controller.reset();
    qunsetenv("FAKEV4L2_ROOT");
    qunsetenv("VISTRELCV_DEVICE_ROOT");
}
