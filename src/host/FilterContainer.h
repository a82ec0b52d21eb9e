// The host's "FilterContainerApi": a container whose children are filtered by content type,
// optionally hiding containers with nothing acceptable below them and following shortcuts.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <lumo/Api.h>
#include <lumo/Filter.h>
#include <lumo/Media.h>
#include <lumo/Url.h>

// A child is judged by its details: a shortcut (a "ShellLinkTarget" property) is left out
// unless c_FilterFollowShortcuts is set, and then judged by its target; its "ContentType" must
// match the filter list; with c_FilterHideEmptyContainers a container must hold, somewhere
// below it, one child that passes the same judgement. A child whose details or content type
// cannot be read is left out and the listing goes on, so one unreadable file never hides a
// whole folder.
//
// The search below a container never re-enters a container on its own path (URL texts
// compared) and goes at most c_MaxSearchDepth containers or shortcuts deep, so neither loops
// in the tree nor chains that make a new URL at every level can keep it going for ever.
//
// One thread at a time, except Cancel, which any thread may call while another enumerates.
class FilterContainer : public LumoApi::RefCounted<LumoApi::FilterContainerApi> {
public:
    static constexpr int c_MaxSearchDepth = 64;

    // media answers the base container and every child's details (the host's MediaApi) and
    // must outlive this object.
    explicit FilterContainer(LumoApi::MediaApi& media);

    LumoApi::UrlApi* LUMO_CALL GetFirst() override;
    LumoApi::UrlApi* LUMO_CALL GetNext() override;
    int32_t LUMO_CALL Cancel() override;
    // The answer carries the scheme prefix, like the children GetFirst and GetNext hand out.
    LumoApi::UrlApi* LUMO_CALL FindChild(LumoApi::UrlApi* child) override;
    int32_t LUMO_CALL Refresh(LumoApi::UrlApi* child) override;
    // Forwarded: notifications come from the base container, with its own child URLs.
    int32_t LUMO_CALL Subscribe(LumoApi::ContainerCallbackApi* callback, uint8_t flags) override;
    void LUMO_CALL Unsubscribe(LumoApi::ContainerCallbackApi* callback) override;
    int32_t LUMO_CALL Open(LumoApi::UrlApi* url, const char* filter, uint32_t flags) override;
    int32_t LUMO_CALL SetSchemePrefix(const char* prefix) override;

private:
    // Raises 1 before Open.
    void RequireOpen() const;
    // The first child from first on (adopted) that passes, or null with the base's last error.
    LumoApi::ApiRef<LumoApi::UrlApi> NextAccepted(LumoApi::UrlApi* first);
    bool Accepts(LumoApi::UrlApi* child, int depth);
    bool HoldsAcceptable(LumoApi::UrlApi* container, int depth);
    LumoApi::ApiRef<LumoApi::UrlApi> WithPrefix(LumoApi::UrlApi* url) const;
    LumoApi::ApiRef<LumoApi::UrlApi> WithoutPrefix(LumoApi::UrlApi* url) const;

    LumoApi::MediaApi& m_media;

    // Written by Open before m_open is set, then only read; Cancel reads m_base on any thread.
    LumoApi::ApiRef<LumoApi::ContainerApi> m_base;
    uint32_t m_flags = 0;
    std::vector<std::string> m_filter;
    std::atomic<bool> m_open{false};

    // The enumerating thread's.
    std::string m_schemePrefix;
    // URL texts of the containers on the current search path, the opened one first.
    std::vector<std::string> m_searchPath;

    std::atomic<bool> m_cancelled{false};
    // Guards m_searching: the containers the search is listing now, so that Cancel reaches
    // the innermost at once instead of waiting for its next child.
    std::mutex m_searchingLock;
    std::vector<LumoApi::ApiRef<LumoApi::ContainerApi>> m_searching;
};
