#include "server/ServerDevices.h"

#include <QDir>
#include <QFile>
#include <QNetworkInterface>
#include <QTimer>
#include <cstring>

#include "host/Version.h"
#include "server/DlnaProfiles.h"
#include "server/HttpRange.h"
#include "server/ServerSettings.h"

namespace {

// A goodbye travels in a few datagrams that GSSDP sends spaced out; the sockets stay open
// that long.
constexpr int c_GoodbyeMs = 400;

constexpr const char* c_RefusedActions[] = {
    "Search",
    "CreateObject",
    "CreateReference",
    "DestroyObject",
    "UpdateObject",
    "ImportResource",
    "GetTransferProgress",
    "StopTransferResource",
    "X_GetDLNAUploadProfiles",
};

struct LumoServerPlugin {
    RygelMediaServerPlugin parent_instance;
};
struct LumoServerPluginClass {
    RygelMediaServerPluginClass parent_class;
};

G_DEFINE_TYPE(LumoServerPlugin, lumo_server_plugin, RYGEL_TYPE_MEDIA_SERVER_PLUGIN)

void lumo_server_plugin_init(LumoServerPlugin*)
{
}

// No search: clients then browse, which is what the tree is made for.
const gchar* NoSearchCaps(RygelMediaServerPlugin*)
{
    return "";
}

void lumo_server_plugin_class_init(LumoServerPluginClass* klass)
{
    RYGEL_MEDIA_SERVER_PLUGIN_CLASS(klass)->get_search_caps = NoSearchCaps;
}

std::string Version()
{
    std::string version;
    if (QueryVersion(CurrentVersionResource(), {}, &version) != 0)
        return version;
    return "1";
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Only GET and HEAD reach the media. Rygel takes a POST to an item's URL for an upload and,
// for an item not created by CreateObject, crashes trying to take it out of a container that
// cannot change; the request is answered here before Rygel sees it. So are ranges Rygel reads
// wrong (see HttpRange.h).
void JudgeRequest(SoupServerMessage* message, gpointer data)
{
    const char* method = soup_server_message_get_method(message);
    // GUPnP compresses an action's answer for a client that accepts gzip. On a home network
    // that costs both sides more time than the bytes save: a page of 100 songs is some 100 KB,
    // a millisecond on the wire, and compressing it took a tenth of the server's time.
    if (std::strcmp(method, SOUP_METHOD_POST) == 0)
        soup_message_headers_remove(soup_server_message_get_request_headers(message), "Accept-Encoding");
    GUri* uri = soup_server_message_get_uri(message);
    const char* path = uri ? g_uri_get_path(uri) : nullptr;
    const std::string root = std::string("/") + ServerDevices::c_PluginName;
    if (!path || std::strncmp(path, root.c_str(), root.size()) != 0)
        return;
    SoupMessageHeaders* response = soup_server_message_get_response_headers(message);
    if (std::strcmp(method, SOUP_METHOD_GET) != 0 && std::strcmp(method, SOUP_METHOD_HEAD) != 0) {
        soup_server_message_set_status(message, SOUP_STATUS_METHOD_NOT_ALLOWED, nullptr);
        soup_message_headers_replace(response, "Allow", "GET, HEAD");
        g_signal_stop_emission_by_name(message, "got-headers");
        return;
    }
    SoupMessageHeaders* request = soup_server_message_get_request_headers(message);
    const char* range = soup_message_headers_get_one(request, "Range");
    if (!range)
        return;
    int64_t size = -1;
    std::string objectId, resource;
    const auto* devices = static_cast<const ServerDevices*>(data);
    if (devices->ResourceBytes() && ParseResourcePath(path, objectId, resource))
        size = devices->ResourceBytes()(objectId, resource);
    const RangeVerdict verdict = JudgeRange(range, size);
    switch (verdict.kind) {
    case RangeVerdict::Keep:
        break;
    case RangeVerdict::Rewrite:
        soup_message_headers_replace(request, "Range", verdict.header.c_str());
        break;
    case RangeVerdict::Drop:
        soup_message_headers_remove(request, "Range");
        break;
    case RangeVerdict::Unsatisfiable:
        soup_server_message_set_status(message, SOUP_STATUS_REQUESTED_RANGE_NOT_SATISFIABLE, nullptr);
        if (size >= 0)
            soup_message_headers_replace(response, "Content-Range", ("bytes */" + std::to_string(size)).c_str());
        g_signal_stop_emission_by_name(message, "got-headers");
        break;
    }
}

// libsoup before 3.4 keeps a reference to every socket it accepts and never drops it: some
// 340 bytes a connection, and every answer here closes its connection. When a connection's
// first request starts, the socket holds its connection's reference and that stray one, which
// is dropped here. A library without the leak shows one reference at that point and is left
// alone; the socket is marked so that it is looked at once.
void DropStraySocketReference(SoupServerMessage* message)
{
    static const bool leaks = soup_get_major_version() == 3 && soup_get_minor_version() < 4;
    static const GQuark seen = g_quark_from_static_string("lumo-socket-seen");
    GSocket* socket = leaks ? soup_server_message_get_socket(message) : nullptr;
    if (!socket || g_object_get_qdata(G_OBJECT(socket), seen))
        return;
    g_object_set_qdata(G_OBJECT(socket), seen, GINT_TO_POINTER(1));
    if (g_atomic_int_get(&G_OBJECT(socket)->ref_count) == 2)
        g_object_unref(socket);
}

void WatchRequest(SoupServer*, SoupServerMessage* message, gpointer data)
{
    DropStraySocketReference(message);
    // This HTTP server never notices a client closing a connection kept open between requests:
    // the connection and its descriptor stay until the process ends, and a server that runs
    // for weeks runs out of descriptors. Each answer closes its connection instead.
    soup_message_headers_replace(soup_server_message_get_response_headers(message), "Connection", "close");
    g_signal_connect(message, "got-headers", G_CALLBACK(JudgeRequest), data);
}

// Rygel answers a HEAD request for a resource without ever reporting the request completed, so
// its HTTP server keeps the request, with the item and handler it holds, until the process
// ends: some 2 KB per HEAD, and players send one before many GETs. A HEAD that got its headers
// is reported completed here, as Rygel reports a GET once its body is sent. A request that
// failed was reported by Rygel already, and a second report would change nothing.
using HandleFinish = void (*)(RygelHTTPRequest*, GAsyncResult*, GError**);
HandleFinish g_rygelHandleFinish = nullptr;

void FinishHandling(RygelHTTPRequest* request, GAsyncResult* result, GError** error)
{
    GError* failure = nullptr;
    g_rygelHandleFinish(request, result, &failure);
    if (failure) {
        g_propagate_error(error, failure);
        return;
    }
    SoupServerMessage* message = request->msg;
    const char* method = message ? soup_server_message_get_method(message) : nullptr;
    const guint status = message ? soup_server_message_get_status(message) : 0;
    if (method && std::strcmp(method, SOUP_METHOD_HEAD) == 0
        && (status == SOUP_STATUS_OK || status == SOUP_STATUS_PARTIAL_CONTENT))
        g_signal_emit_by_name(request, "completed");
}

void MendHeadRequests()
{
    // The class stays referenced, and so patched, for the life of the process.
    auto* klass = static_cast<RygelHTTPRequestClass*>(g_type_class_ref(RYGEL_TYPE_HTTP_GET));
    if (klass->handle_finish != FinishHandling) {
        g_rygelHandleFinish = klass->handle_finish;
        klass->handle_finish = FinishHandling;
    }
}

} // namespace

// Resources of a static library register only when asked to, and only from the global
// namespace.
static void InitDescriptions()
{
    Q_INIT_RESOURCE(Description);
}

void TameServices(RygelRootDevice* device)
{
    GeeArrayList* services = rygel_root_device_get_services(device);
    const int count = gee_abstract_collection_get_size(GEE_ABSTRACT_COLLECTION(services));
    const guint signal = g_signal_lookup("action-invoked", GUPNP_TYPE_SERVICE);
    for (int index = 0; index < count; ++index) {
        auto* service = static_cast<GObject*>(gee_abstract_list_get(GEE_ABSTRACT_LIST(services), index));
        if (RYGEL_IS_CONTENT_DIRECTORY(service)) {
            // Rygel runs every resource URI it writes through these placeholder replacements,
            // compiling a regular expression per placeholder per resource: most of a Browse
            // answer's regex work. Our URIs are made by its HTTP server with the address in
            // them and never hold a placeholder, and our media engine takes none.
            if (RygelHTTPServer* http = RYGEL_CONTENT_DIRECTORY(service)->http_server; http && http->replacements)
                g_hash_table_remove_all(http->replacements);
            // With no handler left, GUPnP answers 401 "Invalid Action".
            // (GLib's bulk disconnect needs a function or data to match; these are found one by
            // one.)
            for (const char* action : c_RefusedActions) {
                const GQuark detail = g_quark_from_string(action);
                const auto mask = GSignalMatchType(G_SIGNAL_MATCH_ID | G_SIGNAL_MATCH_DETAIL);
                while (const gulong handler
                    = g_signal_handler_find(service, mask, signal, detail, nullptr, nullptr, nullptr))
                    g_signal_handler_disconnect(service, handler);
            }
        } else if (RYGEL_IS_CONNECTION_MANAGER(service)) {
            // Rygel lists only formats with a DLNA profile; players also need to hear of the
            // rest (FLAC, Ogg, GIF, ...), which are served as they are.
            RygelConnectionManager* manager = RYGEL_CONNECTION_MANAGER(service);
            g_free(manager->source_protocol_info);
            manager->source_protocol_info = g_strdup(SourceProtocolInfo().c_str());
        }
        g_object_unref(service);
    }
}

ServerDevices::ServerDevices(
    RygelMediaContainer* root, std::string descriptionFolder, ResourceBytesFunction resourceBytes)
    : m_resourceBytes(resourceBytes),
      m_folder(std::move(descriptionFolder)),
      m_timerContext(std::make_unique<QObject>())
{
    InitDescriptions();
    MendHeadRequests();
    m_plugin = rygel_media_server_plugin_construct(lumo_server_plugin_get_type(), root, c_PluginName,
        "Serves the music and photos published with Lumo Publisher", RYGEL_PLUGIN_CAPABILITIES_NONE);
}

ServerDevices::~ServerDevices()
{
    Stop();
    Release(m_leaving);
    g_object_unref(m_plugin);
}

std::vector<std::string> ServerDevices::DefaultInterfaces()
{
    std::vector<std::string> names;
    for (const QNetworkInterface& candidate : QNetworkInterface::allInterfaces()) {
        const auto flags = candidate.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning)
            || !(flags & QNetworkInterface::CanMulticast) || (flags & QNetworkInterface::IsLoopBack))
            continue;
        bool ipv4 = false;
        for (const QNetworkAddressEntry& entry : candidate.addressEntries())
            ipv4 = ipv4 || entry.ip().protocol() == QAbstractSocket::IPv4Protocol;
        if (ipv4)
            names.push_back(candidate.name().toStdString());
    }
    return names;
}

void ServerDevices::WriteDescriptions()
{
    QDir().mkpath(QString::fromStdString(m_folder + "/xml"));
    for (const char* name : {"MediaServer.xml", "xml/ContentDirectory-NoTrack.xml", "xml/ConnectionManager.xml",
             "xml/X_MS_MediaReceiverRegistrar1.xml"}) {
        QFile source(QString(":/server/") + name);
        if (!source.open(QIODevice::ReadOnly))
            continue;
        std::string text = source.readAll().toStdString();
        text = ReplaceAll(text, "@VERSION@", Version());
        QFile target(QString::fromStdString(m_folder + "/" + name));
        if (target.open(QIODevice::WriteOnly | QIODevice::Truncate))
            target.write(text.data(), qint64(text.size()));
    }
}

void ServerDevices::Start(const ServerSettings& settings, std::vector<std::string>& problems)
{
    if (Running())
        return;
    // A goodbye still under way must finish first: its context holds the port.
    Release(m_leaving);
    WriteDescriptions();
    std::vector<std::string> names = settings.interfaces.empty() ? DefaultInterfaces() : settings.interfaces;
    if (names.empty())
        problems.push_back("No network interface to serve on is up.");
    for (const std::string& name : names)
        StartOn(name, settings, problems);
}

bool ServerDevices::StartOn(
    const std::string& interfaceName, const ServerSettings& settings, std::vector<std::string>& problems)
{
    GError* error = nullptr;
    GUPnPContext* context
        = gupnp_context_new_full(interfaceName.c_str(), nullptr, settings.port, GSSDP_UDA_VERSION_1_0, &error);
    if (!context) {
        problems.push_back(interfaceName + ": " + (error ? error->message : "cannot be used"));
        g_clear_error(&error);
        return false;
    }
    // Connected before Rygel's own handlers, so it runs first.
    g_signal_connect(gupnp_context_get_server(context), "request-started", G_CALLBACK(WatchRequest), this);
    const std::string templatePath = m_folder + "/MediaServer.xml";
    const std::string descriptionPath = m_folder + "/description-" + interfaceName + ".xml";
    GUPnPXMLDoc* document = gupnp_xml_doc_new_from_path(templatePath.c_str(), &error);
    if (!document) {
        problems.push_back(interfaceName + ": " + (error ? error->message : "no device description"));
        g_clear_error(&error);
        g_object_unref(context);
        return false;
    }
    RygelDescriptionFile* description = rygel_description_file_new_from_xml_document(document);
    rygel_description_file_clear_service_list(description);
    GeeArrayList* resources = rygel_plugin_get_resource_infos(RYGEL_PLUGIN(m_plugin));
    const int count = gee_abstract_collection_get_size(GEE_ABSTRACT_COLLECTION(resources));
    for (int index = 0; index < count; ++index) {
        auto* info = static_cast<RygelResourceInfo*>(gee_abstract_list_get(GEE_ABSTRACT_LIST(resources), index));
        if (g_type_is_a(info->type, GUPNP_TYPE_SERVICE))
            rygel_description_file_add_service(description, c_PluginName, info);
        rygel_resource_info_unref(info);
    }
    rygel_description_file_clear_icon_list(description);
    rygel_description_file_set_friendly_name(description, settings.name.c_str());
    rygel_description_file_set_dlna_caps(description, RYGEL_PLUGIN_CAPABILITIES_NONE);
    rygel_description_file_set_udn(description, ("uuid:" + settings.uuid).c_str());
    rygel_description_file_save(description, descriptionPath.c_str(), &error);
    g_object_unref(description);
    RygelRootDevice* device = nullptr;
    if (!error)
        device = rygel_root_device_new(
            context, RYGEL_PLUGIN(m_plugin), document, descriptionPath.c_str(), m_folder.c_str(), &error);
    g_object_unref(document);
    if (device && !error)
        rygel_plugin_apply_hacks(RYGEL_PLUGIN(m_plugin), device, descriptionPath.c_str(), &error);
    if (error || !device) {
        problems.push_back(interfaceName + ": " + (error ? error->message : "cannot serve"));
        g_clear_error(&error);
        if (device)
            g_object_unref(device);
        g_object_unref(context);
        return false;
    }
    TameServices(device);
    gupnp_root_device_set_available(GUPNP_ROOT_DEVICE(device), TRUE);
    m_devices.push_back(Device{context, device});
    Endpoint endpoint;
    endpoint.interfaceName = interfaceName;
    const char* address = gssdp_client_get_host_ip(GSSDP_CLIENT(context));
    endpoint.address = address ? address : "";
    endpoint.port = uint16_t(gupnp_context_get_port(context));
    m_endpoints.push_back(endpoint);
    return true;
}

void ServerDevices::Stop()
{
    if (m_devices.empty())
        return;
    for (Device& device : m_devices)
        gupnp_root_device_set_available(GUPNP_ROOT_DEVICE(device.device), FALSE);
    m_leaving.insert(m_leaving.end(), m_devices.begin(), m_devices.end());
    m_devices.clear();
    m_endpoints.clear();
    QTimer::singleShot(c_GoodbyeMs, m_timerContext.get(), [this] { Release(m_leaving); });
}

void ServerDevices::Release(std::vector<Device>& devices)
{
    for (Device& device : devices) {
        g_object_unref(device.device);
        g_object_unref(device.context);
    }
    devices.clear();
}
