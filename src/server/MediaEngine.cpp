#include "server/MediaEngine.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include <rygel-server.h>

#include "server/DlnaProfiles.h"
#include "server/WaveFile.h"

namespace {

constexpr size_t c_ChunkBytes = 64 * 1024;
// Chunks read ahead of the main loop; beyond this the reader waits, so a slow loop never
// piles up a whole file in memory.
constexpr int c_MaxPendingChunks = 8;

PictureProvider* g_pictureProvider = nullptr;
std::atomic<int> g_activeStreams{0};

// ---- Byte ranges -----------------------------------------------------------------------

// The byte range a request asks for, from its seek request; last is inclusive, -1 for "to
// the end". Time seeks and play speeds are refused: files are served as they are.
bool RangeOf(RygelHTTPSeekRequest* seek, RygelPlaySpeedRequest* speed, int64_t& first, int64_t& last, GError** error)
{
    first = 0;
    last = -1;
    if (speed) {
        g_set_error_literal(
            error, RYGEL_DATA_SOURCE_ERROR, RYGEL_DATA_SOURCE_ERROR_PLAYSPEED_FAILED, "Play speeds are not supported");
        return false;
    }
    if (!seek)
        return true;
    if (!RYGEL_IS_HTTP_BYTE_SEEK_REQUEST(seek)) {
        g_set_error_literal(
            error, RYGEL_DATA_SOURCE_ERROR, RYGEL_DATA_SOURCE_ERROR_SEEK_FAILED, "Only byte seeking is supported");
        return false;
    }
    auto* bytes = RYGEL_HTTP_BYTE_SEEK_REQUEST(seek);
    first = rygel_http_byte_seek_request_get_start_byte(bytes);
    last = rygel_http_byte_seek_request_get_end_byte(bytes);
    return true;
}

GeeList* SeekResponse(RygelHTTPSeekRequest* seek)
{
    GeeArrayList* list
        = gee_array_list_new(RYGEL_TYPE_HTTP_RESPONSE_ELEMENT, g_object_ref, g_object_unref, nullptr, nullptr, nullptr);
    if (seek && RYGEL_IS_HTTP_BYTE_SEEK_REQUEST(seek)) {
        RygelHTTPByteSeekResponse* response
            = rygel_http_byte_seek_response_new_from_request(RYGEL_HTTP_BYTE_SEEK_REQUEST(seek));
        gee_abstract_collection_add(GEE_ABSTRACT_COLLECTION(list), response);
        g_object_unref(response);
    }
    return GEE_LIST(list);
}

// ---- The file stream, shared between the source object and its reader thread -------------

struct FileStream {
    std::string path;
    // Where the served bytes start in the file and how many there are: the whole file, or
    // the samples of a wave file served as LPCM.
    int64_t dataOffset = 0;
    int64_t dataBytes = -1;
    bool swapSamples = false;

    int64_t first = 0;
    int64_t last = -1;

    // Guards the flags below, read by the reader thread and set on the main thread.
    std::mutex lock;
    std::condition_variable wake;
    bool frozen = false;
    bool stopped = false;
    int pending = 0;
};

struct Delivery {
    GWeakRef source;
    std::shared_ptr<FileStream> stream;
    std::vector<guint8> bytes;
    bool done = false;
    bool failed = false;
};

gboolean Deliver(gpointer data)
{
    auto* delivery = static_cast<Delivery*>(data);
    {
        std::lock_guard<std::mutex> guard(delivery->stream->lock);
        if (!delivery->done)
            --delivery->stream->pending;
    }
    delivery->stream->wake.notify_all();
    GObject* source = static_cast<GObject*>(g_weak_ref_get(&delivery->source));
    if (!source)
        return G_SOURCE_REMOVE;
    bool stopped;
    {
        std::lock_guard<std::mutex> guard(delivery->stream->lock);
        stopped = delivery->stream->stopped;
    }
    if (!stopped) {
        if (delivery->done && delivery->failed) {
            GError* error = g_error_new_literal(
                RYGEL_DATA_SOURCE_ERROR, RYGEL_DATA_SOURCE_ERROR_GENERAL, "The file cannot be read");
            g_signal_emit_by_name(source, "error", error);
            g_error_free(error);
        } else if (delivery->done) {
            g_signal_emit_by_name(source, "done");
        } else {
            g_signal_emit_by_name(source, "data-available", delivery->bytes.data(), gint(delivery->bytes.size()));
        }
    }
    g_object_unref(source);
    return G_SOURCE_REMOVE;
}

void FreeDelivery(gpointer data)
{
    auto* delivery = static_cast<Delivery*>(data);
    g_weak_ref_clear(&delivery->source);
    delete delivery;
}

void Post(GObject* source, const std::shared_ptr<FileStream>& stream, std::vector<guint8> bytes, bool done, bool failed)
{
    auto* delivery = new Delivery;
    g_weak_ref_init(&delivery->source, source);
    delivery->stream = stream;
    delivery->bytes = std::move(bytes);
    delivery->done = done;
    delivery->failed = failed;
    g_main_context_invoke_full(nullptr, G_PRIORITY_DEFAULT, Deliver, delivery, FreeDelivery);
}

// Wave files hold little-endian samples, LPCM big-endian: each pair of bytes swaps. A range
// may start or end inside a sample, so the read covers whole samples and the extra byte at
// either end is dropped after the swap.
void SwapSamples(std::vector<guint8>& bytes)
{
    for (size_t index = 0; index + 1 < bytes.size(); index += 2)
        std::swap(bytes[index], bytes[index + 1]);
}

// Runs on the reader thread; it touches the source object only through posted deliveries.
// GObject is passed as a weak reference so a vanished client's source is never used.
void ReadFile(GWeakRef* sourceRef, std::shared_ptr<FileStream> stream)
{
    GObject* source = static_cast<GObject*>(g_weak_ref_get(sourceRef));
    g_weak_ref_clear(sourceRef);
    delete sourceRef;
    if (!source) {
        --g_activeStreams;
        return;
    }
    // The source is only kept for posting; drop the strong reference so a client that goes
    // away frees it at once.
    GWeakRef weak;
    g_weak_ref_init(&weak, source);
    g_object_unref(source);
    auto post = [&](std::vector<guint8> bytes, bool done, bool failed) {
        GObject* alive = static_cast<GObject*>(g_weak_ref_get(&weak));
        if (!alive)
            return false;
        Post(alive, stream, std::move(bytes), done, failed);
        g_object_unref(alive);
        return true;
    };

    const int fd = ::open(stream->path.c_str(), O_RDONLY | O_CLOEXEC);
    bool failed = fd < 0;
    if (!failed) {
        int64_t end = stream->dataBytes >= 0 ? stream->dataBytes : 0;
        if (stream->dataBytes < 0) {
            struct stat info { };
            failed = ::fstat(fd, &info) != 0;
            end = failed ? 0 : int64_t(info.st_size);
        }
        if (stream->last >= 0 && stream->last + 1 < end)
            end = stream->last + 1;
        int64_t position = std::max<int64_t>(stream->first, 0);
        while (!failed && position < end) {
            {
                std::unique_lock<std::mutex> guard(stream->lock);
                stream->wake.wait(guard,
                    [&] { return stream->stopped || (!stream->frozen && stream->pending < c_MaxPendingChunks); });
                if (stream->stopped)
                    break;
                ++stream->pending;
            }
            const size_t wanted = size_t(std::min<int64_t>(int64_t(c_ChunkBytes), end - position));
            const size_t lead = stream->swapSamples && (position % 2) ? 1 : 0;
            const size_t tail = stream->swapSamples && ((position + int64_t(wanted)) % 2) ? 1 : 0;
            std::vector<guint8> bytes(wanted + lead + tail);
            ssize_t count;
            do
                count = ::pread(fd, bytes.data(), bytes.size(), off_t(stream->dataOffset + position - int64_t(lead)));
            while (count < 0 && errno == EINTR);
            if (count <= ssize_t(lead)) {
                // The file shrank or cannot be read: what was sent stands, the rest is an error.
                std::lock_guard<std::mutex> guard(stream->lock);
                --stream->pending;
                failed = true;
                break;
            }
            bytes.resize(size_t(count));
            if (stream->swapSamples) {
                SwapSamples(bytes);
                bytes.erase(bytes.begin(), bytes.begin() + ptrdiff_t(lead));
                if (bytes.size() > wanted)
                    bytes.resize(wanted);
            }
            position += int64_t(bytes.size());
            if (!post(std::move(bytes), false, false))
                break;
        }
        ::close(fd);
    }
    post({}, true, failed);
    g_weak_ref_clear(&weak);
    --g_activeStreams;
}

// ---- Source objects ------------------------------------------------------------------------

struct LumoFileSource {
    GObject parent_instance;
    std::shared_ptr<FileStream>* stream;
    gboolean started;
};
struct LumoFileSourceClass {
    GObjectClass parent_class;
};

void lumo_file_source_iface_init(RygelDataSourceIface* iface);
G_DEFINE_TYPE_WITH_CODE(LumoFileSource, lumo_file_source, G_TYPE_OBJECT,
    G_IMPLEMENT_INTERFACE(RYGEL_TYPE_DATA_SOURCE, lumo_file_source_iface_init))

void StopStream(FileStream& stream)
{
    {
        std::lock_guard<std::mutex> guard(stream.lock);
        stream.stopped = true;
        stream.frozen = false;
    }
    stream.wake.notify_all();
}

void lumo_file_source_init(LumoFileSource* self)
{
    self->stream = new std::shared_ptr<FileStream>(std::make_shared<FileStream>());
    self->started = FALSE;
}

void lumo_file_source_finalize(GObject* object)
{
    auto* self = reinterpret_cast<LumoFileSource*>(object);
    // The reader holds the stream itself; it sees the stop and ends on its own.
    StopStream(**self->stream);
    delete self->stream;
    G_OBJECT_CLASS(lumo_file_source_parent_class)->finalize(object);
}

void lumo_file_source_class_init(LumoFileSourceClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = lumo_file_source_finalize;
}

GeeList* FilePreroll(RygelDataSource* base, RygelHTTPSeekRequest* seek, RygelPlaySpeedRequest* speed, GError** error)
{
    auto* self = reinterpret_cast<LumoFileSource*>(base);
    FileStream& stream = **self->stream;
    if (!RangeOf(seek, speed, stream.first, stream.last, error))
        return nullptr;
    return SeekResponse(seek);
}

void FileStart(RygelDataSource* base, GError**)
{
    auto* self = reinterpret_cast<LumoFileSource*>(base);
    if (self->started)
        return;
    self->started = TRUE;
    auto* ref = new GWeakRef;
    g_weak_ref_init(ref, self);
    ++g_activeStreams;
    std::thread(ReadFile, ref, *self->stream).detach();
}

void FileFreeze(RygelDataSource* base)
{
    FileStream& stream = **reinterpret_cast<LumoFileSource*>(base)->stream;
    std::lock_guard<std::mutex> guard(stream.lock);
    stream.frozen = true;
}

void FileThaw(RygelDataSource* base)
{
    FileStream& stream = **reinterpret_cast<LumoFileSource*>(base)->stream;
    {
        std::lock_guard<std::mutex> guard(stream.lock);
        stream.frozen = false;
    }
    stream.wake.notify_all();
}

void FileStop(RygelDataSource* base)
{
    StopStream(**reinterpret_cast<LumoFileSource*>(base)->stream);
}

void lumo_file_source_iface_init(RygelDataSourceIface* iface)
{
    iface->preroll = FilePreroll;
    iface->start = FileStart;
    iface->freeze = FileFreeze;
    iface->thaw = FileThaw;
    iface->stop = FileStop;
}

RygelDataSource* NewFileSource(const std::string& path, int64_t dataOffset, int64_t dataBytes, bool swapSamples)
{
    auto* source = static_cast<LumoFileSource*>(g_object_new(lumo_file_source_get_type(), nullptr));
    FileStream& stream = **source->stream;
    stream.path = path;
    stream.dataOffset = dataOffset;
    stream.dataBytes = dataBytes;
    stream.swapSamples = swapSamples;
    return RYGEL_DATA_SOURCE(source);
}

// A picture made on request: nothing is read until a client starts the transfer.
struct LumoPictureSource {
    GObject parent_instance;
    std::string* uri;
    int64_t first;
    int64_t last;
    gboolean stopped;
    gboolean started;
};
struct LumoPictureSourceClass {
    GObjectClass parent_class;
};

void lumo_picture_source_iface_init(RygelDataSourceIface* iface);
G_DEFINE_TYPE_WITH_CODE(LumoPictureSource, lumo_picture_source, G_TYPE_OBJECT,
    G_IMPLEMENT_INTERFACE(RYGEL_TYPE_DATA_SOURCE, lumo_picture_source_iface_init))

void lumo_picture_source_init(LumoPictureSource* self)
{
    self->uri = new std::string;
    self->first = 0;
    self->last = -1;
    self->stopped = FALSE;
    self->started = FALSE;
}

void lumo_picture_source_finalize(GObject* object)
{
    delete reinterpret_cast<LumoPictureSource*>(object)->uri;
    G_OBJECT_CLASS(lumo_picture_source_parent_class)->finalize(object);
}

void lumo_picture_source_class_init(LumoPictureSourceClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = lumo_picture_source_finalize;
}

GeeList* PicturePreroll(RygelDataSource* base, RygelHTTPSeekRequest* seek, RygelPlaySpeedRequest* speed, GError** error)
{
    auto* self = reinterpret_cast<LumoPictureSource*>(base);
    int64_t first, last;
    if (!RangeOf(seek, speed, first, last, error))
        return nullptr;
    self->first = first;
    self->last = last;
    return SeekResponse(seek);
}

void PictureFailed(GObject* source)
{
    GError* error = g_error_new_literal(RYGEL_DATA_SOURCE_ERROR, RYGEL_DATA_SOURCE_ERROR_GENERAL, "No picture");
    g_signal_emit_by_name(source, "error", error);
    g_error_free(error);
}

void PictureStart(RygelDataSource* base, GError**)
{
    auto* self = reinterpret_cast<LumoPictureSource*>(base);
    if (self->started)
        return;
    self->started = TRUE;
    auto* weak = new GWeakRef;
    g_weak_ref_init(weak, self);
    std::shared_ptr<GWeakRef> ref(weak, [](GWeakRef* r) {
        g_weak_ref_clear(r);
        delete r;
    });
    auto deliver = [ref](std::shared_ptr<const std::string> bytes) {
        auto* source = static_cast<LumoPictureSource*>(g_weak_ref_get(ref.get()));
        if (!source)
            return;
        if (!source->stopped) {
            if (!bytes) {
                PictureFailed(G_OBJECT(source));
            } else {
                const int64_t size = int64_t(bytes->size());
                const int64_t first = std::min(std::max<int64_t>(source->first, 0), size);
                const int64_t end = source->last >= 0 ? std::min(source->last + 1, size) : size;
                if (end > first)
                    g_signal_emit_by_name(source, "data-available", bytes->data() + first, gint(end - first));
                if (!source->stopped)
                    g_signal_emit_by_name(source, "done");
            }
        }
        g_object_unref(source);
    };
    if (!g_pictureProvider) {
        // Reported from the loop, as a source must not call back from start.
        g_idle_add_full(
            G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                auto* call = static_cast<std::function<void()>*>(data);
                (*call)();
                return G_SOURCE_REMOVE;
            },
            new std::function<void()>([deliver] { deliver(nullptr); }),
            [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
        return;
    }
    g_pictureProvider->ProducePicture(*self->uri, deliver);
}

void PictureFreeze(RygelDataSource*)
{
}
void PictureThaw(RygelDataSource*)
{
}

void PictureStop(RygelDataSource* base)
{
    reinterpret_cast<LumoPictureSource*>(base)->stopped = TRUE;
}

void lumo_picture_source_iface_init(RygelDataSourceIface* iface)
{
    iface->preroll = PicturePreroll;
    iface->start = PictureStart;
    iface->freeze = PictureFreeze;
    iface->thaw = PictureThaw;
    iface->stop = PictureStop;
}

// ---- The engine ----------------------------------------------------------------------------

struct LumoMediaEngine {
    RygelMediaEngine parent_instance;
    GList* profiles;
};
struct LumoMediaEngineClass {
    RygelMediaEngineClass parent_class;
};

G_DEFINE_TYPE(LumoMediaEngine, lumo_media_engine, RYGEL_TYPE_MEDIA_ENGINE)

void lumo_media_engine_init(LumoMediaEngine* self)
{
    self->profiles = nullptr;
    std::set<std::pair<std::string, std::string>> seen;
    for (const ServedFormat& format : ServedFormats()) {
        if (format.profile.empty() || !seen.insert({format.profile, format.mime}).second)
            continue;
        self->profiles
            = g_list_append(self->profiles, rygel_dlna_profile_new(format.profile.c_str(), format.mime.c_str()));
    }
}

void lumo_media_engine_finalize(GObject* object)
{
    auto* self = reinterpret_cast<LumoMediaEngine*>(object);
    g_list_free_full(self->profiles, [](gpointer profile) { rygel_dlna_profile_unref(profile); });
    G_OBJECT_CLASS(lumo_media_engine_parent_class)->finalize(object);
}

GList* GetDlnaProfiles(RygelMediaEngine* base)
{
    return reinterpret_cast<LumoMediaEngine*>(base)->profiles;
}

// Items carry the resources this program made for them; the engine adds none.
void GetResourcesForItem(RygelMediaEngine* self, RygelMediaObject*, GAsyncReadyCallback callback, gpointer data)
{
    GTask* task = g_task_new(self, nullptr, callback, data);
    g_task_return_pointer(task,
        gee_array_list_new(RYGEL_TYPE_MEDIA_RESOURCE, g_object_ref, g_object_unref, nullptr, nullptr, nullptr),
        g_object_unref);
    g_object_unref(task);
}

GeeList* GetResourcesForItemFinish(RygelMediaEngine*, GAsyncResult* result)
{
    return static_cast<GeeList*>(g_task_propagate_pointer(G_TASK(result), nullptr));
}

bool IsRegularFile(const std::string& path)
{
    struct stat info { };
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

RygelDataSource* NewPictureSource(const std::string& uri)
{
    auto* source = static_cast<LumoPictureSource*>(g_object_new(lumo_picture_source_get_type(), nullptr));
    *source->uri = uri;
    return RYGEL_DATA_SOURCE(source);
}

RygelDataSource* SourceForResource(
    RygelMediaEngine*, RygelMediaObject* item, RygelMediaResource* resource, GHashTable*, GError** error)
{
    // The name comes as a copy of its own.
    gchar* nameCopy = rygel_media_resource_get_name(resource);
    const std::string name = nameCopy ? nameCopy : "";
    g_free(nameCopy);
    if (name == "tn" || name == "sm") {
        const char* id = rygel_media_object_get_id(item);
        return NewPictureSource(std::string(c_PictureScheme) + ":" + name + "/" + (id ? id : ""));
    }
    gchar* primary = rygel_media_object_get_primary_uri(item);
    const std::string path = primary ? PathOfFileUri(primary) : std::string();
    g_free(primary);
    if (!IsRegularFile(path)) {
        g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "The file is not there");
        return nullptr;
    }
    if (name == c_LpcmResourceName) {
        const std::optional<WaveLayout> layout = ReadWaveLayout(path);
        if (!layout || !layout->IsLpcm()) {
            g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED, "Not 16-bit PCM");
            return nullptr;
        }
        return NewFileSource(path, layout->dataOffset, layout->dataBytes, true);
    }
    return NewFileSource(path, 0, -1, false);
}

RygelDataSource* SourceForUri(RygelMediaEngine*, const gchar* uri, GError** error)
{
    const std::string text = uri ? uri : "";
    if (text.rfind(std::string(c_PictureScheme) + ":", 0) == 0)
        return NewPictureSource(text);
    const std::string path = PathOfFileUri(text);
    if (IsRegularFile(path))
        return NewFileSource(path, 0, -1, false);
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "Nothing is served under that URI");
    return nullptr;
}

GList* InternalSchemes(RygelMediaEngine*)
{
    GList* schemes = nullptr;
    schemes = g_list_append(schemes, g_strdup(c_FileScheme));
    schemes = g_list_append(schemes, g_strdup(c_PictureScheme));
    return schemes;
}

void lumo_media_engine_class_init(LumoMediaEngineClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = lumo_media_engine_finalize;
    RygelMediaEngineClass* engine = RYGEL_MEDIA_ENGINE_CLASS(klass);
    engine->get_dlna_profiles = GetDlnaProfiles;
    engine->get_resources_for_item = GetResourcesForItem;
    engine->get_resources_for_item_finish = GetResourcesForItemFinish;
    engine->create_data_source_for_resource = SourceForResource;
    engine->create_data_source_for_uri = SourceForUri;
    engine->get_internal_protocol_schemes = InternalSchemes;
}

} // namespace

std::string FileUri(const std::string& path)
{
    gchar* escaped = g_uri_escape_bytes(reinterpret_cast<const guint8*>(path.data()), path.size(), "/");
    std::string uri = std::string(c_FileScheme) + "://" + escaped;
    g_free(escaped);
    return uri;
}

std::string PathOfFileUri(const std::string& uri)
{
    const std::string prefix = std::string(c_FileScheme) + "://";
    if (uri.rfind(prefix, 0) != 0)
        return std::string();
    gsize length = 0;
    GBytes* bytes = g_uri_unescape_bytes(uri.c_str() + prefix.size(), -1, nullptr, nullptr);
    if (!bytes)
        return std::string();
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &length));
    std::string path(data, length);
    g_bytes_unref(bytes);
    // An embedded zero would name another file than the one escaped.
    if (path.find('\0') != std::string::npos || path.empty() || path[0] != '/')
        return std::string();
    return path;
}

void RegisterMediaEngine()
{
    g_type_ensure(lumo_media_engine_get_type());
}

void SetPictureProvider(PictureProvider* provider)
{
    g_pictureProvider = provider;
}

int ActiveStreamCount()
{
    return g_activeStreams.load();
}
