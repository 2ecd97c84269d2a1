// One round trip through PipeWire's registry on the program's connection: every global is
// announced, the video sources are bound to read their full properties and formats, and two syncs
// tell when all of it has arrived.
#include "camera/pipewire/PipeWireCameras.h"

#include "camera/pipewire/PipeWireConnection.h"
#include "camera/pipewire/PipeWireFormats.h"

#include <pipewire/pipewire.h>
#include <spa/debug/types.h>
#include <spa/param/format-utils.h>
#include <spa/param/video/format.h>
#include <spa/param/video/type-info.h>

#include <chrono>
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
    pw_thread_loop* loop = nullptr;
    pw_core* core = nullptr;
    bool finished = false;
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
    // A later update (the node starting or stopping) carries only what changed: the properties
    // are read from an update that has them.
    if (!(info->change_mask & PW_NODE_CHANGE_MASK_PROPS))
        return;
    PipeWireCamera& camera = node->camera;
    camera.nodeName = Prop(info->props, PW_KEY_NODE_NAME);
    camera.description = Prop(info->props, PW_KEY_NODE_DESCRIPTION);
    camera.objectPath = Prop(info->props, PW_KEY_OBJECT_PATH);
    camera.serial = Prop(info->props, PW_KEY_OBJECT_SERIAL);
    camera.v4l2Path = Prop(info->props, "api.v4l2.path");
    if (camera.v4l2Path.isEmpty() && camera.objectPath.startsWith(QLatin1String("v4l2:")))
        camera.v4l2Path = camera.objectPath.mid(5);
}

// The values a format offers for `key`: a fixed value, the alternatives of a list, or the default
// (`rangeMax`: the largest) of a range.
template <typename T>
QList<T> Values(const spa_pod* format, uint32_t key, uint32_t type, bool rangeMax) {
    const spa_pod_prop* prop = spa_pod_find_prop(format, nullptr, key);
    if (!prop)
        return {};
    uint32_t count = 0, choice = 0;
    const spa_pod* values = spa_pod_get_values(const_cast<spa_pod*>(&prop->value), &count, &choice);
    if (values->type != type || values->size < sizeof(T) || count == 0)
        return {};
    const T* value = static_cast<const T*>(SPA_POD_BODY_CONST(values));
    if (choice == SPA_CHOICE_None || (choice == SPA_CHOICE_Enum && count == 1))
        return {value[0]};
    if (choice == SPA_CHOICE_Enum)
        return QList<T>(value + 1, value + count); // the first is the default, listed again
    return {value[rangeMax && count > 2 ? 2 : 0]};
}

void AddMode(QList<PipeWireMode>& modes, const PipeWireMode& mode) {
    for (PipeWireMode& known : modes)
        if (known.format == mode.format && known.width == mode.width &&
            known.height == mode.height) {
            if (mode.Fps() > known.Fps())
                known = mode;
            return;
        }
    modes << mode;
}

void OnNodeParam(void* data, int, uint32_t id, uint32_t, uint32_t, const spa_pod* param) {
    uint32_t mediaType = 0, mediaSubtype = 0;
    if (id != SPA_PARAM_EnumFormat || spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
        mediaType != SPA_MEDIA_TYPE_video ||
        (mediaSubtype != SPA_MEDIA_SUBTYPE_raw && mediaSubtype != SPA_MEDIA_SUBTYPE_mjpg))
        return;
    spa_fraction best{0, 1};
    for (const spa_fraction& rate :
         Values<spa_fraction>(param, SPA_FORMAT_VIDEO_framerate, SPA_TYPE_Fraction, true))
        if (rate.denom > 0 && uint64_t(rate.num) * best.denom > uint64_t(best.num) * rate.denom)
            best = rate;
    QStringList formats;
    if (mediaSubtype == SPA_MEDIA_SUBTYPE_mjpg)
        formats << kPipeWireMjpeg;
    for (uint32_t format : Values<uint32_t>(param, SPA_FORMAT_VIDEO_format, SPA_TYPE_Id, false))
        if (const char* name = spa_debug_type_find_short_name(spa_type_video_format, format))
            formats << QString::fromLatin1(name);
    auto* node = static_cast<BoundNode*>(data);
    for (const QString& format : formats) {
        if (!IsDecodedPipeWireFormat(format))
            continue; // a format the program cannot show (Bayer, H.264, ...)
        for (const spa_rectangle& size :
             Values<spa_rectangle>(param, SPA_FORMAT_VIDEO_size, SPA_TYPE_Rectangle, false))
            if (size.width > 0 && size.height > 0)
                AddMode(node->camera.modes, {format, int(size.width), int(size.height),
                                             int(best.num), int(best.denom)});
    }
}

const pw_node_events kNodeEvents = [] {
    pw_node_events events{};
    events.version = PW_VERSION_NODE_EVENTS;
    events.info = OnNodeInfo;
    events.param = OnNodeParam;
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
    pw_node_enum_params(static_cast<pw_node*>(proxy), 0, SPA_PARAM_EnumFormat, 0, UINT32_MAX,
                        nullptr);
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
        listing->finished = true;
        pw_thread_loop_signal(listing->loop, false);
        return;
    }
    // Every global is in; the details of the nodes bound meanwhile come before the next answer.
    listing->secondSync = true;
    listing->pendingSync = pw_core_sync(listing->core, PW_ID_CORE, 0);
}

void OnCoreError(void* data, uint32_t id, int, int, const char*) {
    auto* listing = static_cast<Listing*>(data);
    if (id == PW_ID_CORE) {
        listing->finished = true;
        pw_thread_loop_signal(listing->loop, false);
    }
}

const pw_core_events kCoreEvents = [] {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.done = OnCoreDone;
    events.error = OnCoreError;
    return events;
}();

// With the loop locked: asks and waits, at most kPipeWireListLimit, for the answers.
void RunListing(Listing& listing) {
    pw_core_add_listener(listing.core, &listing.coreListener, &kCoreEvents, &listing);
    listing.registry = pw_core_get_registry(listing.core, PW_VERSION_REGISTRY, 0);
    pw_registry_add_listener(listing.registry, &listing.registryListener, &kRegistryEvents,
                             &listing);
    listing.pendingSync = pw_core_sync(listing.core, PW_ID_CORE, 0);

    timespec deadline{};
    pw_thread_loop_get_time(listing.loop, &deadline,
                            std::chrono::nanoseconds(kPipeWireListLimit).count());
    while (!listing.finished)
        if (pw_thread_loop_timed_wait_full(listing.loop, &deadline) != 0)
            break; // the daemon does not answer in time: what has come is listed

    for (BoundNode& node : listing.nodes) {
        spa_hook_remove(&node.listener);
        pw_proxy_destroy(node.proxy);
    }
    spa_hook_remove(&listing.registryListener);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(listing.registry));
    spa_hook_remove(&listing.coreListener);
}

} // namespace

QList<PipeWireCamera> ListPipeWireCameras(CPipeWireConnection& connection) {
    const std::shared_ptr<CPipeWireCore> core = connection.Core();
    if (!core)
        return {}; // no daemon
    Listing listing;
    listing.loop = core->Loop();
    listing.core = core->Core();
    {
        CPipeWireLock lock(*core);
        if (!core->Dead())
            RunListing(listing);
    }
    QList<PipeWireCamera> cameras;
    for (const BoundNode& node : listing.nodes)
        if (!node.camera.nodeName.isEmpty() || !node.camera.objectPath.isEmpty())
            cameras << node.camera;
    return cameras;
}

QList<PipeWireCamera> ListPipeWireCameras() {
    return ListPipeWireCameras(ProgramPipeWire());
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
