// One round trip through PipeWire's registry: every global is announced, the video sources are
// bound to read their full properties, and two syncs tell when all of it has arrived.
#include "capture/PipeWireCameras.h"

#include "capture/CameraPortal.h"

#include <pipewire/pipewire.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <list>
#include <memory>

namespace {

struct BoundNode {
    pw_proxy* proxy = nullptr;
    spa_hook listener{};
    PipeWireCamera camera;
};

struct Listing {
    pw_main_loop* loop = nullptr;
    pw_core* core = nullptr;
    spa_hook coreListener{};
    spa_hook registryListener{};
    pw_registry* registry = nullptr;
    std::list<BoundNode> nodes; // stable addresses for the listeners
    int pendingSync = -1;
    bool secondSync = false;
};

QString Prop(const spa_dict* props, const char* key) {
    const char* value = props ? spa_dict_lookup(props, key) : nullptr;
    return value ? QString::fromUtf8(value) : QString();
}

void OnNodeInfo(void* data, const pw_node_info* info) {
    auto* node = static_cast<BoundNode*>(data);
    PipeWireCamera& camera = node->camera;
    camera.nodeName = Prop(info->props, PW_KEY_NODE_NAME);
    camera.description = Prop(info->props, PW_KEY_NODE_DESCRIPTION);
    camera.objectPath = Prop(info->props, PW_KEY_OBJECT_PATH);
    camera.serial = Prop(info->props, PW_KEY_OBJECT_SERIAL);
    camera.v4l2Path = Prop(info->props, "api.v4l2.path");
    if (camera.v4l2Path.isEmpty() && camera.objectPath.startsWith(QLatin1String("v4l2:")))
        camera.v4l2Path = camera.objectPath.mid(5);
}

const pw_node_events kNodeEvents = [] {
    pw_node_events events{};
    events.version = PW_VERSION_NODE_EVENTS;
    events.info = OnNodeInfo;
    return events;
}();

void OnGlobal(void* data, uint32_t id, uint32_t, const char* type, uint32_t,
              const spa_dict* props) {
    auto* listing = static_cast<Listing*>(data);
    if (std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0 ||
        Prop(props, PW_KEY_MEDIA_CLASS) != QLatin1String("Video/Source"))
        return;
    void* proxy = pw_registry_bind(listing->registry, id, type, PW_VERSION_NODE, 0);
    if (!proxy)
        return;
    BoundNode& node = listing->nodes.emplace_back();
    node.proxy = static_cast<pw_proxy*>(proxy);
    node.camera.id = id;
    // What the registry already says, in case the node goes before its details arrive.
    node.camera.nodeName = Prop(props, PW_KEY_NODE_NAME);
    node.camera.description = Prop(props, PW_KEY_NODE_DESCRIPTION);
    pw_node_add_listener(static_cast<pw_node*>(proxy), &node.listener, &kNodeEvents, &node);
}

const pw_registry_events kRegistryEvents = [] {
    pw_registry_events events{};
    events.version = PW_VERSION_REGISTRY_EVENTS;
    events.global = OnGlobal;
    return events;
}();

void OnCoreDone(void* data, uint32_t id, int seq) {
    auto* listing = static_cast<Listing*>(data);
    if (id != PW_ID_CORE || seq != listing->pendingSync)
        return;
    if (listing->secondSync) {
        pw_main_loop_quit(listing->loop);
        return;
    }
    // Every global is in; the details of the nodes bound meanwhile come before the next answer.
    listing->secondSync = true;
    listing->pendingSync = pw_core_sync(listing->core, PW_ID_CORE, 0);
}

void OnCoreError(void* data, uint32_t id, int, int, const char*) {
    if (id == PW_ID_CORE)
        pw_main_loop_quit(static_cast<Listing*>(data)->loop);
}

const pw_core_events kCoreEvents = [] {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.done = OnCoreDone;
    events.error = OnCoreError;
    return events;
}();

void OnTimeout(void* data, uint64_t) {
    pw_main_loop_quit(static_cast<Listing*>(data)->loop);
}

void RunListing(Listing& listing, pw_context* context, int remoteFd) {
    if (remoteFd >= 0) {
        // The context owns the descriptor it is given; the caller keeps its own.
        const int fd = fcntl(remoteFd, F_DUPFD_CLOEXEC, 3);
        listing.core = fd >= 0 ? pw_context_connect_fd(context, fd, nullptr, 0) : nullptr;
    } else {
        listing.core = pw_context_connect(context, nullptr, 0);
    }
    if (!listing.core)
        return; // no daemon
    pw_core_add_listener(listing.core, &listing.coreListener, &kCoreEvents, &listing);
    listing.registry = pw_core_get_registry(listing.core, PW_VERSION_REGISTRY, 0);
    pw_registry_add_listener(listing.registry, &listing.registryListener, &kRegistryEvents,
                             &listing);
    listing.pendingSync = pw_core_sync(listing.core, PW_ID_CORE, 0);

    pw_loop* loop = pw_main_loop_get_loop(listing.loop);
    spa_source* timer = pw_loop_add_timer(loop, OnTimeout, &listing);
    const auto limit = std::chrono::nanoseconds(kPipeWireListLimit);
    timespec value{static_cast<time_t>(limit.count() / 1000000000),
                   static_cast<long>(limit.count() % 1000000000)};
    pw_loop_update_timer(loop, timer, &value, nullptr, false);
    pw_main_loop_run(listing.loop);
    pw_loop_destroy_source(loop, timer);

    for (BoundNode& node : listing.nodes) {
        spa_hook_remove(&node.listener);
        pw_proxy_destroy(node.proxy);
    }
    spa_hook_remove(&listing.registryListener);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(listing.registry));
    spa_hook_remove(&listing.coreListener);
    pw_core_disconnect(listing.core);
}

} // namespace

QList<PipeWireCamera> ListPipeWireCamerasOn(int remoteFd) {
    pw_init(nullptr, nullptr);
    Listing listing;
    listing.loop = pw_main_loop_new(nullptr);
    if (!listing.loop)
        return {};
    if (pw_context* context = pw_context_new(pw_main_loop_get_loop(listing.loop), nullptr, 0)) {
        RunListing(listing, context, remoteFd);
        pw_context_destroy(context);
    }
    pw_main_loop_destroy(listing.loop);

    QList<PipeWireCamera> cameras;
    for (const BoundNode& node : listing.nodes)
        if (!node.camera.nodeName.isEmpty() || !node.camera.objectPath.isEmpty())
            cameras << node.camera;
    return cameras;
}

QList<PipeWireCamera> ListPipeWireCameras() {
    const CameraPortalAccess access = CameraPortal();
    if (access.state == CameraPortalAccess::State::Refused)
        return {};
    return ListPipeWireCamerasOn(access.remoteFd);
}

const PipeWireCamera* FindPipeWireCamera(const QList<PipeWireCamera>& cameras,
                                         const QString& identity) {
    for (const PipeWireCamera& camera : cameras)
        if (PipeWireCameraIdentity(camera) == identity)
            return &camera;
    return nullptr;
}

QList<PipeWireCamera> PipeWireOnlyCameras(const QList<PipeWireCamera>& cameras,
                                          const QStringList& v4l2Paths) {
    QList<PipeWireCamera> only;
    for (const PipeWireCamera& camera : cameras)
        if (camera.v4l2Path.isEmpty() || !v4l2Paths.contains(camera.v4l2Path))
            only << camera;
    return only;
}

QString PipeWireCameraIdentity(const PipeWireCamera& camera) {
    return camera.nodeName.isEmpty() ? camera.objectPath : camera.nodeName;
}
