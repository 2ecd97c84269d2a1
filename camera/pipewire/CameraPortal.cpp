// The camera portal over the session bus. AccessCamera answers through a Request object whose
// path is known before the call (from our bus name and a token of ours), so the answer is
// listened for before it is asked for.
#include "camera/pipewire/CameraPortal.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <QVariantMap>
#include <QtGlobal>

#include <fcntl.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <utility>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kCamera = QStringLiteral("org.freedesktop.portal.Camera");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
constexpr int kCallLimitMs = 5000;

// Waits for the Response signal of one request.
class CResponseWaiter : public QObject {
    Q_OBJECT
public:
    uint response = 2; // "ended in another way" until the portal says otherwise
    bool answered = false;
    QEventLoop loop;

public Q_SLOTS:
    void OnResponse(uint code, const QVariantMap&) {
        response = code;
        answered = true;
        loop.quit();
    }
};

QDBusMessage Call(const QDBusConnection& bus, const QString& interface, const QString& method,
                  const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, kCallLimitMs);
}

// Null when no portal with a camera interface answers.
std::optional<bool> IsCameraPresent(const QDBusConnection& bus) {
    const QDBusMessage reply =
        Call(bus, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
             {kCamera, QStringLiteral("IsCameraPresent")});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
}

// The path the portal gives the request made with `token`.
QString RequestPath(const QDBusConnection& bus, const QString& token) {
    QString sender = bus.baseService().mid(1); // ":1.42" -> "1_42"
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

bool AccessCamera(QDBusConnection& bus, std::chrono::milliseconds answerLimit) {
    // A token of its own for each request: a portal refuses a request path that is still in use.
    static std::atomic<int> requests{0};
    const QString token =
        QStringLiteral("vistrelcv%1_%2").arg(QCoreApplication::applicationPid()).arg(++requests);
    CResponseWaiter waiter;
    const char* slot = SLOT(OnResponse(uint, QVariantMap));
    QString path = RequestPath(bus, token);
    bus.connect(kService, path, kRequest, QStringLiteral("Response"), &waiter, slot);
    const QVariantMap options{{QStringLiteral("handle_token"), token}};
    const QDBusMessage reply = Call(bus, kCamera, QStringLiteral("AccessCamera"), {options});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    const QString handle = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
    if (handle != path) { // a portal that does not follow the token
        bus.disconnect(kService, path, kRequest, QStringLiteral("Response"), &waiter, slot);
        path = handle;
        bus.connect(kService, path, kRequest, QStringLiteral("Response"), &waiter, slot);
    }
    if (!waiter.answered) {
        QTimer::singleShot(answerLimit, &waiter.loop, &QEventLoop::quit);
        waiter.loop.exec();
    }
    bus.disconnect(kService, path, kRequest, QStringLiteral("Response"), &waiter, slot);
    return waiter.answered && waiter.response == 0;
}

int OpenPipeWireRemote(const QDBusConnection& bus) {
    const QDBusMessage reply =
        Call(bus, kCamera, QStringLiteral("OpenPipeWireRemote"), {QVariantMap()});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return -1;
    const auto fd = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
    return fd.isValid() ? fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 3) : -1;
}

} // namespace

bool ShouldUseCameraPortal() {
    return QFileInfo::exists(QStringLiteral("/.flatpak-info")) ||
           qEnvironmentVariable("VISTRELCV_USE_PORTAL") == QLatin1String("1");
}

CameraPortalAccess AskCameraPortal(std::chrono::milliseconds answerLimit) {
    using State = CameraPortalAccess::State;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return {};
    const std::optional<bool> present = IsCameraPresent(bus);
    if (!present) {
        qInfo("No camera portal answers; PipeWire and V4L2 are used directly.");
        return {};
    }
    if (!*present)
        return {State::NoCamera, -1};
    if (!AccessCamera(bus, answerLimit))
        return {State::Refused, -1};
    const int fd = OpenPipeWireRemote(bus);
    return fd >= 0 ? CameraPortalAccess{State::Granted, fd}
                   : CameraPortalAccess{State::Refused, -1};
}

namespace {

std::mutex g_portalMutex;
bool g_portalAsked = false;
CameraPortalAccess g_portalAccess; // its descriptor until the first connection takes it

} // namespace

CameraPortalAccess CameraPortal() {
    std::lock_guard lock(g_portalMutex);
    if (!g_portalAsked && ShouldUseCameraPortal())
        g_portalAccess = AskCameraPortal(kCameraPortalAnswerLimit);
    g_portalAsked = true;
    return g_portalAccess;
}

std::optional<int> CameraRemote() {
    using State = CameraPortalAccess::State;
    const State state = CameraPortal().state;
    if (state == State::Direct)
        return -1;
    if (state != State::Granted)
        return std::nullopt;
    std::lock_guard lock(g_portalMutex);
    if (g_portalAccess.remoteFd >= 0)
        return std::exchange(g_portalAccess.remoteFd, -1);
    // The connection the portal gave has died (PipeWire restarted): the portal gives a new one.
    // A user who allowed the camera is not asked again; the answer may still be a refusal, or
    // no portal, while the desktop restarts: nothing this time, and the next connect asks again.
    const CameraPortalAccess again = AskCameraPortal(kCameraPortalAnswerLimit);
    if (again.state == State::Granted)
        return again.remoteFd;
    return std::nullopt;
}

bool CameraAccessRefused() {
    return CameraPortal().state == CameraPortalAccess::State::Refused;
}

#include "CameraPortal.moc"
