#include "server/ServerObjects.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <libxml/entities.h>
#include <libxml/tree.h>
#include <unordered_map>
#include <vector>

#include "server/DlnaProfiles.h"
#include "server/MediaEngine.h"
#include "server/WaveFile.h"

namespace {

ObjectSource* g_source = nullptr;

void FailTask(GTask* task, const char* message)
{
    g_task_return_new_error(task, G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "%s", message);
}

// ---- Titles ------------------------------------------------------------------------------

// Rygel's objects put the user's login, real and host names in place of "@USERNAME@",
// "@REALNAME@", "@HOSTNAME@" and "@PRETTY_HOSTNAME@" in every title, which suits the engine's
// own folder names. A file or folder named so would be served under another title than the
// publisher shows, with the person's names in it; its own title is kept beside the object.
GQuark OwnTitleQuark()
{
    static const GQuark quark = g_quark_from_static_string("lumo-own-title");
    return quark;
}

void KeepOwnTitle(RygelMediaObject* object, const std::string& title)
{
    if (title.find('@') == std::string::npos)
        return;
    const gchar* made = rygel_media_object_get_title(object);
    if (!made || title != made)
        g_object_set_qdata_full(G_OBJECT(object), OwnTitleQuark(), g_strdup(title.c_str()), g_free);
}

const gchar* TitleOf(RygelMediaObject* object)
{
    if (const auto* own = static_cast<const gchar*>(g_object_get_qdata(G_OBJECT(object), OwnTitleQuark())))
        return own;
    return rygel_media_object_get_title(object);
}

// Rygel's serialising wrote the title it made.
GUPnPDIDLLiteObject* WithOwnTitle(RygelMediaObject* object, GUPnPDIDLLiteObject* didl)
{
    if (didl && g_object_get_qdata(G_OBJECT(object), OwnTitleQuark()))
        gupnp_didl_lite_object_set_title(didl, TitleOf(object));
    return didl;
}

// ---- Containers --------------------------------------------------------------------------

struct LumoContainer {
    RygelMediaContainer parent_instance;
};
struct LumoContainerClass {
    RygelMediaContainerClass parent_class;
};

G_DEFINE_TYPE(LumoContainer, lumo_container, RYGEL_TYPE_MEDIA_CONTAINER)

void lumo_container_init(LumoContainer*)
{
}

void GetChildren(RygelMediaContainer* self, guint offset, guint count, const gchar* sort, GCancellable* cancellable,
    GAsyncReadyCallback callback, gpointer data)
{
    GTask* task = g_task_new(self, cancellable, callback, data);
    if (g_source)
        g_source->GetChildren(self, offset, count, sort ? sort : "", task);
    else
        FailTask(task, "The server is stopping");
    g_object_unref(task);
}

RygelMediaObjects* GetChildrenFinish(RygelMediaContainer*, GAsyncResult* result, GError** error)
{
    return static_cast<RygelMediaObjects*>(g_task_propagate_pointer(G_TASK(result), error));
}

void FindObject(
    RygelMediaContainer* self, const gchar* id, GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data)
{
    GTask* task = g_task_new(self, cancellable, callback, data);
    if (g_source && id)
        g_source->FindObject(id, task);
    else
        g_task_return_pointer(task, nullptr, nullptr);
    g_object_unref(task);
}

RygelMediaObject* FindObjectFinish(RygelMediaContainer*, GAsyncResult* result, GError** error)
{
    return static_cast<RygelMediaObject*>(g_task_propagate_pointer(G_TASK(result), error));
}

GUPnPDIDLLiteObject* SerializeContainer(
    RygelMediaObject* self, RygelSerializer* serializer, RygelHTTPServer* server, GError** error)
{
    return WithOwnTitle(
        self, RYGEL_MEDIA_OBJECT_CLASS(lumo_container_parent_class)->serialize(self, serializer, server, error));
}

void lumo_container_class_init(LumoContainerClass* klass)
{
    RYGEL_MEDIA_OBJECT_CLASS(klass)->serialize = SerializeContainer;
    RygelMediaContainerClass* container = RYGEL_MEDIA_CONTAINER_CLASS(klass);
    container->get_children = GetChildren;
    container->get_children_finish = GetChildrenFinish;
    container->find_object = FindObject;
    container->find_object_finish = FindObjectFinish;
}

// ---- Songs -------------------------------------------------------------------------------

struct LumoMusicItem {
    RygelMusicItem parent_instance;
};
struct LumoMusicItemClass {
    RygelMusicItemClass parent_class;
};

G_DEFINE_TYPE(LumoMusicItem, lumo_music_item, RYGEL_TYPE_MUSIC_ITEM)

void lumo_music_item_init(LumoMusicItem*)
{
}

// The start of every URL server gives: "http://<address>:<port>/<root>".
std::string ServerUrlPrefix(RygelHTTPServer* server)
{
    GInetAddress* address = gssdp_client_get_address(GSSDP_CLIENT(server->context));
    gchar* text = g_inet_address_to_string(address);
    const bool six = g_inet_address_get_family(address) == G_SOCKET_FAMILY_IPV6;
    std::string prefix = std::string("http://") + (six ? "[" : "") + text + (six ? "]" : "") + ":"
        + std::to_string(gupnp_context_get_port(server->context)) + rygel_http_server_get_path_root(server);
    g_free(text);
    g_object_unref(address);
    return prefix;
}

std::string Escaped(const char* text)
{
    gchar* escaped = g_uri_escape_string(text, "", TRUE);
    std::string result = escaped;
    g_free(escaped);
    return result;
}

// The URL Rygel's HTTP server serves a resource of an item at, written the way its own
// item URIs are ("<prefix>/i/<id in URL-safe base64>/res/<name>.<extension>"). Rygel makes
// these per resource per answer with an object and two regular expressions; made here, the
// resource is written as it stands.
std::string ResourceUrl(const std::string& prefix, const std::string& itemPart, RygelMediaResource* resource)
{
    const gchar* extension = rygel_media_resource_get_extension(resource);
    // The name comes as a copy of its own.
    gchar* name = rygel_media_resource_get_name(resource);
    std::string url = prefix + "/i/" + itemPart + "/res/" + Escaped(name);
    g_free(name);
    if (extension && *extension)
        url += std::string(".") + extension;
    return url;
}

std::string ItemUrlPart(const char* id)
{
    gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(id), strlen(id));
    for (gchar* c = encoded; *c; ++c) {
        if (*c == '/')
            *c = '_';
        else if (*c == '+')
            *c = '-';
    }
    std::string part = Escaped(encoded);
    g_free(encoded);
    return part;
}

// Serialises self with the parent class's serialize, its resources' URLs made beforehand
// (with the protocol and flags Rygel's HTTP server would give them) and cleared again after.
GUPnPDIDLLiteObject* SerializeWithUrls(RygelMediaObjectClass* parentClass, RygelMediaObject* self,
    RygelSerializer* serializer, RygelHTTPServer* server, GError** error)
{
    GeeList* resources = rygel_media_object_get_resource_list(self);
    const int count = gee_collection_get_size(GEE_COLLECTION(resources));
    std::vector<RygelMediaResource*> made;
    if (server && server->context) {
        const std::string prefix = ServerUrlPrefix(server);
        const std::string itemPart = ItemUrlPart(rygel_media_object_get_id(self));
        for (int index = 0; index < count; ++index) {
            auto* resource = static_cast<RygelMediaResource*>(gee_list_get(resources, index));
            const gchar* uri = rygel_media_resource_get_uri(resource);
            if (uri && *uri) {
                g_object_unref(resource);
                continue;
            }
            rygel_media_resource_set_uri(resource, ResourceUrl(prefix, itemPart, resource).c_str());
            rygel_media_resource_set_protocol(resource, "http-get");
            rygel_media_resource_set_dlna_flags(
                resource, GUPnPDLNAFlags(rygel_media_resource_get_dlna_flags(resource) | GUPNP_DLNA_FLAGS_DLNA_V15));
            made.push_back(resource);
        }
    }
    GUPnPDIDLLiteObject* didl = WithOwnTitle(self, parentClass->serialize(self, serializer, server, error));
    for (RygelMediaResource* resource : made) {
        rygel_media_resource_set_uri(resource, "");
        g_object_unref(resource);
    }
    g_object_unref(resources);
    return didl;
}

// ---- Writing items ---------------------------------------------------------------------
//
// Rygel's own writing of an item makes objects for every resource and protocol info it
// writes, and connects signals on them, and took a quarter of a Browse answer's time. The
// writer here puts the same elements and attributes into the answer's XML, read from the
// object as the client's hacks left it, the way Rygel's item classes and GUPnP-AV's setters
// write them. An item it does not know how to write in full goes through Rygel instead.

// The protocol info text of resources alike; a collection has few kinds of resource.
const std::string& ProtocolInfoText(RygelMediaResource* resource, const char* protocol, GUPnPDLNAFlags flags)
{
    static std::unordered_map<std::string, std::string> texts;
    const auto field = [](const char* text) { return std::string(text ? text : "\x01"); };
    std::string key = field(protocol) + '\n' + field(rygel_media_resource_get_network(resource)) + '\n'
        + field(rygel_media_resource_get_mime_type(resource)) + '\n'
        + field(rygel_media_resource_get_dlna_profile(resource)) + '\n'
        + std::to_string(int(rygel_media_resource_get_dlna_conversion(resource))) + '\n'
        + std::to_string(int(rygel_media_resource_get_dlna_operation(resource))) + '\n' + std::to_string(int(flags));
    for (int speed = 0; speed < resource->play_speeds_length1 && resource->play_speeds; ++speed)
        key += '\n' + field(resource->play_speeds[speed]);
    auto found = texts.find(key);
    if (found != texts.end())
        return found->second;
    GUPnPProtocolInfo* info = rygel_media_resource_get_protocol_info(resource, nullptr);
    gupnp_protocol_info_set_protocol(info, protocol);
    gupnp_protocol_info_set_dlna_flags(info, flags);
    gchar* text = gupnp_protocol_info_to_string(info);
    g_object_unref(info);
    // Bounded: a client's hacks could make kinds without end.
    if (texts.size() > 256)
        texts.clear();
    found = texts.emplace(std::move(key), text ? text : "").first;
    g_free(text);
    return found->second;
}

void SetNumber(xmlNode* node, const char* name, int64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%" G_GINT64_FORMAT, gint64(value));
    xmlSetProp(node, BAD_CAST name, BAD_CAST text);
}

void WriteResource(GUPnPDIDLLiteObject* didl, xmlNode* item, RygelMediaResource* resource, const std::string& url)
{
    xmlChar* content = xmlEncodeSpecialChars(item->doc, BAD_CAST url.c_str());
    xmlNode* node = xmlNewChild(item, nullptr, BAD_CAST "res", content);
    xmlFree(content);
    if (const gint64 size = rygel_media_resource_get_size(resource); size >= 0)
        SetNumber(node, "size", size);
    if (const gint64 cleartext = rygel_media_resource_get_cleartext_size(resource); cleartext >= 0) {
        char text[24];
        std::snprintf(text, sizeof text, "%" G_GINT64_FORMAT, cleartext);
        // Asked for only here: asking declares the namespace in the answer.
        xmlSetNsProp(node, gupnp_didl_lite_object_get_dlna_namespace(didl), BAD_CAST "cleartextSize", BAD_CAST text);
    }
    if (const glong seconds = rygel_media_resource_get_duration(resource); seconds >= 0) {
        char text[48];
        std::snprintf(text, sizeof text, "%ld:%.2ld:%.2ld.000", seconds / 3600, (seconds / 60) % 60, seconds % 60);
        xmlSetProp(node, BAD_CAST "duration", BAD_CAST text);
    }
    if (const int bitrate = rygel_media_resource_get_bitrate(resource); bitrate >= 0)
        SetNumber(node, "bitrate", bitrate);
    if (const int bits = rygel_media_resource_get_bits_per_sample(resource); bits >= 0)
        SetNumber(node, "bitsPerSample", bits);
    if (const int depth = rygel_media_resource_get_color_depth(resource); depth >= 0)
        SetNumber(node, "colorDepth", depth);
    const int width = rygel_media_resource_get_width(resource);
    const int height = rygel_media_resource_get_height(resource);
    if (width >= 0 || height >= 0) {
        char text[32];
        std::snprintf(text, sizeof text, "%dx%d", width, height);
        xmlSetProp(node, BAD_CAST "resolution", BAD_CAST text);
    }
    if (const int channels = rygel_media_resource_get_audio_channels(resource); channels >= 0)
        SetNumber(node, "nrAudioChannels", channels);
    if (const int frequency = rygel_media_resource_get_sample_freq(resource); frequency >= 0)
        SetNumber(node, "sampleFrequency", frequency);
    const auto flags = GUPnPDLNAFlags(rygel_media_resource_get_dlna_flags(resource) | GUPNP_DLNA_FLAGS_DLNA_V15);
    xmlSetProp(node, BAD_CAST "protocolInfo", BAD_CAST ProtocolInfoText(resource, "http-get", flags).c_str());
}

// Exported by Rygel's library, though left out of its header.
extern "C" gboolean rygel_media_object_get_restricted(RygelMediaObject* self);

// True when the writer here writes self as Rygel would: a restricted item of ours whose
// resources are all served by this server's HTTP side.
bool Writable(RygelMediaObject* self, RygelHTTPServer* server, GeeList* resources)
{
    // Rygel's own writing, for comparing the two (the tests do).
    static const bool rygelWrites = g_getenv("LUMO_SERVER_RYGEL_WRITES") != nullptr;
    if (rygelWrites || !server || !server->context || !rygel_media_object_get_restricted(self)
        || rygel_media_object_get_ref_id(self) || RYGEL_IS_TRACKABLE_ITEM(self)
        || rygel_media_file_item_get_place_holder(RYGEL_MEDIA_FILE_ITEM(self)))
        return false;
    if (RYGEL_IS_VISUAL_ITEM(self)
        && gee_collection_get_size(GEE_COLLECTION(rygel_visual_item_get_thumbnails(RYGEL_VISUAL_ITEM(self)))) > 0)
        return false;
    const int count = gee_collection_get_size(GEE_COLLECTION(resources));
    for (int index = 0; index < count; ++index) {
        auto* resource = static_cast<RygelMediaResource*>(gee_list_get(resources, index));
        const gchar* uri = rygel_media_resource_get_uri(resource);
        const bool served = !uri || !*uri;
        g_object_unref(resource);
        if (!served)
            return false;
    }
    return true;
}

// The item's own elements and its resources, as Rygel's media item and file item write them;
// null when the item is not Writable.
GUPnPDIDLLiteObject* WriteItem(RygelMediaObject* self, RygelSerializer* serializer, RygelHTTPServer* server)
{
    GeeList* resources = rygel_media_object_get_resource_list(self);
    if (!Writable(self, server, resources)) {
        g_object_unref(resources);
        return nullptr;
    }
    auto* didl = GUPNP_DIDL_LITE_OBJECT(rygel_serializer_add_item(serializer));
    gupnp_didl_lite_object_set_id(didl, rygel_media_object_get_id(self));
    RygelMediaContainer* parent = rygel_media_object_get_parent(self);
    gupnp_didl_lite_object_set_parent_id(didl, parent ? rygel_media_object_get_id(RYGEL_MEDIA_OBJECT(parent)) : "0");
    gupnp_didl_lite_object_set_restricted(didl, TRUE);
    gupnp_didl_lite_object_set_title(didl, TitleOf(self));
    gupnp_didl_lite_object_set_upnp_class(didl, rygel_media_object_get_upnp_class(self));
    if (const gchar* date = rygel_media_object_get_date(self))
        gupnp_didl_lite_object_set_date(didl, date);
    if (const gchar* creator = rygel_media_object_get_creator(self); creator && *creator) {
        GUPnPDIDLLiteContributor* contributor = gupnp_didl_lite_object_add_creator(didl);
        gupnp_didl_lite_contributor_set_name(contributor, creator);
        g_object_unref(contributor);
    }
    if (const gchar* description = rygel_media_item_get_description(RYGEL_MEDIA_ITEM(self)))
        gupnp_didl_lite_object_set_description(didl, description);
    if (const gchar* artist = rygel_media_object_get_artist(self); artist && *artist) {
        GUPnPDIDLLiteContributor* contributor = gupnp_didl_lite_object_add_artist(didl);
        gupnp_didl_lite_contributor_set_name(contributor, artist);
        g_object_unref(contributor);
    }
    if (const gchar* genre = rygel_media_object_get_genre(self); genre && *genre)
        gupnp_didl_lite_object_set_genre(didl, genre);

    xmlNode* item = gupnp_didl_lite_object_get_xml_node(didl);
    const std::string prefix = ServerUrlPrefix(server);
    const std::string itemPart = ItemUrlPart(rygel_media_object_get_id(self));
    const int count = gee_collection_get_size(GEE_COLLECTION(resources));
    for (int index = 0; index < count; ++index) {
        auto* resource = static_cast<RygelMediaResource*>(gee_list_get(resources, index));
        WriteResource(didl, item, resource, ResourceUrl(prefix, itemPart, resource));
        g_object_unref(resource);
    }
    g_object_unref(resources);
    return didl;
}

// The URL Rygel's HTTP server gives an item's first thumbnail (the album art, a JPEG), made
// from the URL it wrote for the item's first resource: both are "<server>/i/<item>/..." with
// the item's part encoded the same way, and making it again costs an object and two regular
// expressions per song. Empty when no resource of that form was written.
std::string AlbumArtUrl(xmlNode* item)
{
    for (xmlNode* child = item ? item->children : nullptr; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE || xmlStrcmp(child->name, BAD_CAST "res") != 0)
            continue;
        xmlChar* content = xmlNodeGetContent(child);
        std::string url = content ? reinterpret_cast<const char*>(content) : "";
        xmlFree(content);
        // The resource's name is escaped, so the last "/res/" is the one Rygel wrote.
        const size_t resource = url.rfind("/res/");
        if (resource == std::string::npos || url.rfind("/i/", resource) == std::string::npos)
            return std::string();
        return url.substr(0, resource) + "/th/0.jpg";
    }
    return std::string();
}

// The album art is always an HTTP URL of this server: Rygel would hand a loopback client
// the internal URI, which no player can open. Strict TVs also want its profile named.
GUPnPDIDLLiteObject* SerializeSong(
    RygelMediaObject* self, RygelSerializer* serializer, RygelHTTPServer* server, GError** error)
{
    GUPnPDIDLLiteObject* didl = WriteItem(self, serializer, server);
    if (didl) {
        RygelMusicItem* song = RYGEL_MUSIC_ITEM(self);
        if (const gchar* album = rygel_audio_item_get_album(RYGEL_AUDIO_ITEM(self)); album && *album)
            gupnp_didl_lite_object_set_album(didl, album);
        if (const int track = rygel_music_item_get_track_number(song); track >= 0)
            gupnp_didl_lite_object_set_track_number(didl, track);
    } else {
        didl = SerializeWithUrls(
            RYGEL_MEDIA_OBJECT_CLASS(lumo_music_item_parent_class), self, serializer, server, error);
    }
    if (!didl || !rygel_music_item_get_album_art(RYGEL_MUSIC_ITEM(self)))
        return didl;
    xmlNode* node = gupnp_didl_lite_object_get_xml_node(didl);
    const std::string art = AlbumArtUrl(node);
    if (!art.empty()) {
        gupnp_didl_lite_object_set_album_art(didl, art.c_str());
    } else {
        RygelHTTPItemURI* uri = rygel_http_item_uri_new(self, server, 0, -1, nullptr);
        gchar* text = rygel_http_item_uri_to_string(uri);
        gupnp_didl_lite_object_set_album_art(didl, text);
        g_free(text);
        g_object_unref(uri);
    }
    for (xmlNode* child = node ? node->children : nullptr; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && xmlStrcmp(child->name, BAD_CAST "albumArtURI") == 0)
            xmlSetNsProp(
                child, gupnp_didl_lite_object_get_dlna_namespace(didl), BAD_CAST "profileID", BAD_CAST "JPEG_TN");
    }
    return didl;
}

void lumo_music_item_class_init(LumoMusicItemClass* klass)
{
    RYGEL_MEDIA_OBJECT_CLASS(klass)->serialize = SerializeSong;
}

// ---- Photos ------------------------------------------------------------------------------

struct LumoPhotoItem {
    RygelPhotoItem parent_instance;
};
struct LumoPhotoItemClass {
    RygelPhotoItemClass parent_class;
};

G_DEFINE_TYPE(LumoPhotoItem, lumo_photo_item, RYGEL_TYPE_PHOTO_ITEM)

void lumo_photo_item_init(LumoPhotoItem*)
{
}

GUPnPDIDLLiteObject* SerializePhoto(
    RygelMediaObject* self, RygelSerializer* serializer, RygelHTTPServer* server, GError** error)
{
    if (GUPnPDIDLLiteObject* didl = WriteItem(self, serializer, server))
        return didl;
    return SerializeWithUrls(RYGEL_MEDIA_OBJECT_CLASS(lumo_photo_item_parent_class), self, serializer, server, error);
}

void lumo_photo_item_class_init(LumoPhotoItemClass* klass)
{
    RYGEL_MEDIA_OBJECT_CLASS(klass)->serialize = SerializePhoto;
}

// ---- Resources ---------------------------------------------------------------------------

std::string ExtensionOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) {
        if (!g_ascii_isalnum(c))
            return std::string();
        c = g_ascii_tolower(c);
    }
    return extension;
}

RygelMediaResource* NewResource(const char* name, const std::string& mime, const std::string& profile,
    int64_t sizeBytes, const std::string& extension, GUPnPDLNAFlags flags)
{
    RygelMediaResource* resource = rygel_media_resource_new(name);
    rygel_media_resource_set_uri(resource, "");
    rygel_media_resource_set_mime_type(resource, mime.c_str());
    rygel_media_resource_set_dlna_profile(resource, profile.empty() ? nullptr : profile.c_str());
    rygel_media_resource_set_size(resource, sizeBytes);
    rygel_media_resource_set_extension(resource, extension.c_str());
    rygel_media_resource_set_dlna_operation(resource, GUPNP_DLNA_OPERATION_RANGE);
    rygel_media_resource_set_dlna_conversion(resource, GUPNP_DLNA_CONVERSION_NONE);
    rygel_media_resource_set_dlna_flags(resource,
        GUPnPDLNAFlags(flags | GUPNP_DLNA_FLAGS_BACKGROUND_TRANSFER_MODE | GUPNP_DLNA_FLAGS_CONNECTION_STALL
            | GUPNP_DLNA_FLAGS_DLNA_V15));
    return resource;
}

void AddResource(RygelMediaObject* object, RygelMediaResource* resource)
{
    // The list comes with a reference of its own: kept, it would keep the list and every
    // resource in it after the object is gone.
    GeeList* resources = rygel_media_object_get_resource_list(object);
    gee_collection_add(GEE_COLLECTION(resources), resource);
    g_object_unref(resources);
    g_object_unref(resource);
}

RygelThumbnail* NewThumbnail(const std::string& uri, const char* profile, int width, int height, int64_t sizeBytes)
{
    RygelThumbnail* thumbnail = rygel_thumbnail_new("image/jpeg", profile, "jpg");
    RygelIconInfo* info = reinterpret_cast<RygelIconInfo*>(thumbnail);
    g_free(info->uri);
    info->uri = g_strdup(uri.c_str());
    info->width = width;
    info->height = height;
    info->depth = 24;
    info->size = sizeBytes;
    return thumbnail;
}

// The size a picture fitted into maxWidth x maxHeight gets; 0 x 0 when the photo's is unknown.
void FittedSize(int width, int height, int maxWidth, int maxHeight, int& fitWidth, int& fitHeight)
{
    fitWidth = fitHeight = -1;
    if (width <= 0 || height <= 0)
        return;
    if (width <= maxWidth && height <= maxHeight) {
        fitWidth = width;
        fitHeight = height;
        return;
    }
    const double scale = std::min(double(maxWidth) / width, double(maxHeight) / height);
    fitWidth = std::max(1, int(width * scale + 0.5));
    fitHeight = std::max(1, int(height * scale + 0.5));
}

RygelMediaObject* NewSong(
    const Node& node, const ItemFacts& facts, RygelMediaContainer* parent, int64_t (*pictureBytes)(const std::string&))
{
    auto* object = static_cast<RygelMediaObject*>(g_object_new(lumo_music_item_get_type(), "id", node.Id().c_str(),
        "title", node.title.c_str(), "upnp-class", RYGEL_MUSIC_ITEM_UPNP_CLASS, nullptr));
    KeepOwnTitle(object, node.title);
    rygel_media_object_set_parent_ref(object, parent);
    rygel_media_object_add_uri(object, FileUri(facts.path).c_str());
    auto* file = RYGEL_MEDIA_FILE_ITEM(object);
    auto* audio = RYGEL_AUDIO_ITEM(object);
    rygel_media_file_item_set_mime_type(file, facts.mime.c_str());
    rygel_media_file_item_set_size(file, facts.sizeBytes);
    const std::string profile = AudioProfile(facts.mime, facts.sampleRateHz, facts.channels, facts.bitRateKbps);
    if (!profile.empty())
        rygel_media_file_item_set_dlna_profile(file, profile.c_str());
    if (!facts.artist.empty()) {
        rygel_media_object_set_artist(object, facts.artist.c_str());
        rygel_media_object_set_creator(object, facts.artist.c_str());
    }
    if (!facts.genre.empty())
        rygel_media_object_set_genre(object, facts.genre.c_str());
    if (!facts.album.empty())
        rygel_audio_item_set_album(audio, facts.album.c_str());
    if (facts.year > 0)
        rygel_media_object_set_date(object, (std::to_string(facts.year) + "-01-01").c_str());
    if (facts.trackNumber > 0)
        rygel_music_item_set_track_number(RYGEL_MUSIC_ITEM(object), facts.trackNumber);
    const long durationSec = facts.durationMs > 0 ? long((facts.durationMs + 500) / 1000) : -1;
    // DIDL-Lite counts bit rates in bytes per second.
    const int bytesPerSecond = facts.bitRateKbps > 0 ? facts.bitRateKbps * 1000 / 8 : -1;
    rygel_audio_item_set_duration(audio, durationSec);
    rygel_audio_item_set_bitrate(audio, bytesPerSecond);
    rygel_audio_item_set_sample_freq(audio, facts.sampleRateHz > 0 ? facts.sampleRateHz : -1);
    rygel_audio_item_set_channels(audio, facts.channels > 0 ? facts.channels : -1);

    auto describe = [&](RygelMediaResource* resource) {
        rygel_media_resource_set_duration(resource, durationSec);
        rygel_media_resource_set_sample_freq(resource, facts.sampleRateHz > 0 ? facts.sampleRateHz : -1);
        rygel_media_resource_set_audio_channels(resource, facts.channels > 0 ? facts.channels : -1);
    };
    // Strict players take the first resource they know: the LPCM samples of a wave file come
    // first, as nearly every player knows LPCM and few know wave files.
    if (!facts.lpcmMime.empty()) {
        RygelMediaResource* lpcm = NewResource(c_LpcmResourceName, facts.lpcmMime, "LPCM", facts.lpcmBytes, "lpcm",
            GUPNP_DLNA_FLAGS_STREAMING_TRANSFER_MODE);
        describe(lpcm);
        rygel_media_resource_set_bits_per_sample(lpcm, 16);
        rygel_media_resource_set_bitrate(lpcm, facts.sampleRateHz * facts.channels * 2);
        AddResource(object, lpcm);
    }
    RygelMediaResource* primary = NewResource("primary", facts.mime, profile, facts.sizeBytes, ExtensionOf(facts.path),
        GUPNP_DLNA_FLAGS_STREAMING_TRANSFER_MODE);
    describe(primary);
    rygel_media_resource_set_bitrate(primary, bytesPerSecond);
    AddResource(object, primary);

    if (facts.embeddedCover || !facts.coverPath.empty()) {
        const std::string uri = PictureUri("art", node.Id());
        RygelThumbnail* art = NewThumbnail(uri, "JPEG_TN", -1, -1, pictureBytes ? pictureBytes(uri) : -1);
        rygel_music_item_set_album_art(RYGEL_MUSIC_ITEM(object), art);
        rygel_icon_info_unref(art);
    }
    return object;
}

RygelMediaObject* NewPhoto(
    const Node& node, const ItemFacts& facts, RygelMediaContainer* parent, int64_t (*pictureBytes)(const std::string&))
{
    auto* object = static_cast<RygelMediaObject*>(g_object_new(lumo_photo_item_get_type(), "id", node.Id().c_str(),
        "title", node.title.c_str(), "upnp-class", RYGEL_PHOTO_ITEM_UPNP_CLASS, nullptr));
    KeepOwnTitle(object, node.title);
    rygel_media_object_set_parent_ref(object, parent);
    rygel_media_object_add_uri(object, FileUri(facts.path).c_str());
    auto* file = RYGEL_MEDIA_FILE_ITEM(object);
    rygel_media_file_item_set_mime_type(file, facts.mime.c_str());
    rygel_media_file_item_set_size(file, facts.sizeBytes);
    const std::string profile = ImageProfile(facts.mime, facts.width, facts.height);
    if (!profile.empty())
        rygel_media_file_item_set_dlna_profile(file, profile.c_str());
    auto* visual = RYGEL_VISUAL_ITEM(object);
    rygel_visual_item_set_width(visual, facts.width > 0 ? facts.width : -1);
    rygel_visual_item_set_height(visual, facts.height > 0 ? facts.height : -1);
    const std::string date = DateText(facts.captureSec ? facts.captureSec : facts.modifiedSec);
    if (!date.empty())
        rygel_media_object_set_date(object, date.c_str());

    RygelMediaResource* primary = NewResource("primary", facts.mime, profile, facts.sizeBytes, ExtensionOf(facts.path),
        GUPNP_DLNA_FLAGS_INTERACTIVE_TRANSFER_MODE);
    rygel_media_resource_set_width(primary, facts.width > 0 ? facts.width : -1);
    rygel_media_resource_set_height(primary, facts.height > 0 ? facts.height : -1);
    AddResource(object, primary);

    // Pictures made for the TV follow the original, as TVs take the first they can show. They
    // are resources of ours rather than Rygel's thumbnails: Rygel lists an empty resource for
    // a thumbnail whose URI is internal.
    gee_collection_clear(GEE_COLLECTION(rygel_visual_item_get_thumbnails(visual)));
    struct Size {
        const char* name;
        const char* profile;
        int maxWidth;
        int maxHeight;
    };
    for (const Size& size :
        {Size{"tn", "JPEG_TN", c_ThumbnailSide, c_ThumbnailSide}, Size{"sm", "JPEG_SM", c_SmallWidth, c_SmallHeight}}) {
        int width, height;
        FittedSize(facts.width, facts.height, size.maxWidth, size.maxHeight, width, height);
        const std::string uri = PictureUri(size.name, node.Id());
        RygelMediaResource* picture = NewResource(size.name, "image/jpeg", size.profile,
            pictureBytes ? pictureBytes(uri) : -1, "jpg", GUPNP_DLNA_FLAGS_INTERACTIVE_TRANSFER_MODE);
        rygel_media_resource_set_width(picture, width);
        rygel_media_resource_set_height(picture, height);
        rygel_media_resource_set_dlna_conversion(picture, GUPNP_DLNA_CONVERSION_TRANSCODED);
        AddResource(object, picture);
    }
    return object;
}

} // namespace

void SetObjectSource(ObjectSource* source)
{
    g_source = source;
}

RygelMediaContainer* NewContainerObject(const Node& node, int childCount, RygelMediaContainer* parent)
{
    auto* container = static_cast<RygelMediaContainer*>(g_object_new(lumo_container_get_type(), "id", node.Id().c_str(),
        "title", node.title.c_str(), "child-count", childCount, nullptr));
    KeepOwnTitle(RYGEL_MEDIA_OBJECT(container), node.title);
    if (parent)
        rygel_media_object_set_parent_ref(RYGEL_MEDIA_OBJECT(container), parent);
    const char* upnpClass
        = node.kind == NodeKind::Playlist ? RYGEL_MEDIA_CONTAINER_PLAYLIST : RYGEL_MEDIA_CONTAINER_STORAGE_FOLDER;
    if (node.kind == NodeKind::Root)
        upnpClass = RYGEL_MEDIA_CONTAINER_UPNP_CLASS;
    rygel_media_object_set_upnp_class(RYGEL_MEDIA_OBJECT(container), upnpClass);
    // The order is the published one, or the module's; no sort unless a client asks.
    rygel_media_container_set_sort_criteria(container, "");
    return container;
}

RygelMediaObject* NewItemObject(
    const Node& node, RygelMediaContainer* parent, int64_t (*pictureBytes)(const std::string&))
{
    if (!node.facts)
        return nullptr;
    if (node.kind == NodeKind::Song)
        return NewSong(node, *node.facts, parent, pictureBytes);
    if (node.kind == NodeKind::Photo)
        return NewPhoto(node, *node.facts, parent, pictureBytes);
    return nullptr;
}

RygelMediaObject* NewEventObject(const Node& node, RygelMediaContainer* parent)
{
    if (node.IsContainer())
        return RYGEL_MEDIA_OBJECT(NewContainerObject(node, -1, parent));
    const bool song = node.kind == NodeKind::Song;
    auto* object = static_cast<RygelMediaObject*>(g_object_new(
        song ? rygel_music_item_get_type() : rygel_photo_item_get_type(), "id", node.Id().c_str(), "title",
        node.title.c_str(), "upnp-class", song ? RYGEL_MUSIC_ITEM_UPNP_CLASS : RYGEL_PHOTO_ITEM_UPNP_CLASS, nullptr));
    rygel_media_object_set_parent_ref(object, parent);
    return object;
}

std::string PictureUri(const std::string& kind, const std::string& objectId)
{
    return std::string(c_PictureScheme) + ":" + kind + "/" + objectId;
}

bool ParsePictureUri(const std::string& uri, std::string& kind, std::string& objectId)
{
    const std::string prefix = std::string(c_PictureScheme) + ":";
    if (uri.rfind(prefix, 0) != 0)
        return false;
    const size_t slash = uri.find('/', prefix.size());
    if (slash == std::string::npos)
        return false;
    kind = uri.substr(prefix.size(), slash - prefix.size());
    objectId = uri.substr(slash + 1);
    return (kind == "tn" || kind == "sm" || kind == "art") && !objectId.empty();
}

std::string DateText(int64_t seconds)
{
    if (seconds <= 0)
        return std::string();
    const time_t time = time_t(seconds);
    struct tm parts { };
    if (!gmtime_r(&time, &parts))
        return std::string();
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    return text;
}
