// Host-side wrappers of one media item, its properties and its children. An item is known
// only by its URL; two wrappers denote the same item when their URL texts are equal.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <lumo/Api.h>
#include <lumo/Media.h>
#include <lumo/Url.h>

struct MediaModule;
class MediaItem;

// An ordered list of property names.
class MediaStrings {
public:
    virtual ~MediaStrings() = default;

    // The name at index; raises a range error at or past the count.
    virtual std::string NameAt(size_t index);
    // The value of name; the base answers "".
    virtual std::string Value(const std::string& name);
    // Adds name; the base keeps the name only.
    virtual void Add(const std::string& name, const std::string& value);
    virtual size_t Count();

protected:
    std::vector<std::string> m_names;
};

// An item's properties, fetched from its module on first need. "Title" is served from
// "FileName", without the extension unless the item is a folder or refers to something outside
// the file system.
class Details : public MediaStrings {
public:
    explicit Details(MediaItem& owner);

    std::string NameAt(size_t index) override;
    std::string Value(const std::string& name) override;
    size_t Count() override;

private:
    void Fetch();
    void LoadNames();
    // The raw value from the module; "" when the item has no such property.
    std::string RawValue(const std::string& name);

    MediaItem* m_owner;
    LumoApi::ApiRef<LumoApi::DetailsApi> m_api;
    bool m_namesLoaded = false;
    bool m_hasExternalUrl = false;
};

// How an item is looked at. Kept: as the window does, sharing its decided type and details
// with later looks at the same URL. Once: by a walk that meets each item once (the command
// line's listing); the same answers, without filling the host's caches.
enum class Look { Kept, Once };

class MediaItem {
public:
    // Decides the item's content type and finds its module; raises 1630 when none handles it.
    explicit MediaItem(LumoApi::ApiRef<LumoApi::UrlApi> url, Look look = Look::Kept);
    // An item whose module an earlier look at the same URL found (Module()), not decided again.
    MediaItem(LumoApi::ApiRef<LumoApi::UrlApi> url, const MediaModule& module, Look look);
    virtual ~MediaItem();
    MediaItem(const MediaItem&) = delete;
    MediaItem& operator=(const MediaItem&) = delete;

    // By the major part of the "ContentType" property.
    virtual bool IsContainer();
    virtual bool IsAudio();
    virtual bool IsImage();

    // The item's API of type typeId; raises the module's last error when it has none.
    LumoApi::ApiRef<LumoApi::Api> GetApi(const char* typeId);
    template <class T>
    LumoApi::ApiRef<T> GetApi()
    {
        return LumoApi::ApiRef<T>::Adopt(static_cast<T*>(GetApi(T::TypeId).Detach()));
    }

    const LumoApi::ApiRef<LumoApi::UrlApi>& Url() const noexcept { return m_url; }
    std::string UrlText() const;
    const MediaModule& Module() const noexcept { return *m_mediaModule; }
    Details& GetDetails() noexcept { return m_details; }
    // The value of a property; "" when absent.
    std::string Property(const std::string& name) { return m_details.Value(name); }

private:
    LumoApi::ApiRef<LumoApi::UrlApi> m_url;
    const MediaModule* m_mediaModule;
    Look m_look;
    Details m_details;
};

// A container item: its children, and notifications when they change. The handlers are set
// by the owner before Subscribe; they are called on whatever thread the module notifies on.
class Container : public MediaItem, public LumoApi::RefNeutral<LumoApi::ContainerCallbackApi> {
public:
    using Handler = std::function<void(const LumoApi::ApiRef<LumoApi::UrlApi>& child)>;

    // Raises when the item has no "ContainerApi".
    explicit Container(LumoApi::ApiRef<LumoApi::UrlApi> url);
    // With the module an earlier look at the same URL found.
    Container(LumoApi::ApiRef<LumoApi::UrlApi> url, const MediaModule& module, Look look);
    ~Container() override;

    bool IsContainer() override { return true; }
    bool IsAudio() override { return false; }
    bool IsImage() override { return false; }

    // The first or next child; null at the end. Other failures raise.
    LumoApi::ApiRef<LumoApi::UrlApi> GetFirst();
    LumoApi::ApiRef<LumoApi::UrlApi> GetNext();
    // Asks a running enumeration on another thread to stop.
    void Cancel();
    void Subscribe(uint8_t flags = 0);
    void Unsubscribe();
    bool IsSubscribed() const noexcept { return m_subscribed; }

    void SetChildAddedHandler(Handler handler) { m_childAdded = std::move(handler); }
    void SetChildRemovedHandler(Handler handler) { m_childRemoved = std::move(handler); }
    void SetChangedHandler(Handler handler) { m_changed = std::move(handler); }

    LumoApi::ContainerApi* Interface() const noexcept { return m_ref.Get(); }

    void LUMO_CALL OnNotify(LumoApi::ContainerApi* container, int32_t event, LumoApi::UrlApi* child) override;

private:
    LumoApi::ApiRef<LumoApi::UrlApi> ChildOrEnd(LumoApi::UrlApi* child);

    Handler m_childAdded;
    Handler m_childRemoved;
    Handler m_changed;
    LumoApi::ApiRef<LumoApi::ContainerApi> m_ref;
    bool m_subscribed = false;
};
