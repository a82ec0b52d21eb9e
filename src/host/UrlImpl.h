// The host's URL object behind "UrlApi", and the placeholder that stands for no URL.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include <lumo/Api.h>
#include <lumo/Listing.h>
#include <lumo/Url.h>

#include "host/UrlEscape.h"

// A URL: its text, and the scheme, host, path and parameters split from it when first asked
// for. The text is set once; only a UrlBuilder changes parts, and only of a copy nobody else
// holds yet.
class UrlImpl final : public LumoApi::RefCounted<LumoApi::UrlApi> {
public:
    // What a listing saw of the item ("ListedFileApi"), and when it was attached.
    struct Listed {
        LumoApi::ListedFile record;
        // CLOCK_MONOTONIC nanoseconds.
        int64_t attachedNs;
    };

    UrlImpl() = default;

    int32_t LUMO_CALL SetText(const char* text) override;
    const char* LUMO_CALL GetScheme() override;
    const char* LUMO_CALL GetHost() override;
    const char* LUMO_CALL GetPath() override;
    int32_t LUMO_CALL GetParamCount() override;
    const char* LUMO_CALL GetParamName(int32_t index) override;
    const char* LUMO_CALL GetParamValue(int32_t index) override;
    const char* LUMO_CALL GetParam(const char* name) override;
    const char* LUMO_CALL GetText() override;
    const char* LUMO_CALL GetLocalPart() override;

    // For UrlBuilder, on a copy it alone holds: a URL made from parts (text set, parts split,
    // text to be composed when next read), and changes of single parts.
    static LumoApi::ApiRef<UrlImpl> FromParts(std::string scheme, std::string host, std::string path, ParamList params);
    void SetScheme(std::string scheme);
    void SetHost(std::string host);
    void SetPath(std::string path);
    void SetParam(const std::string& name, std::string value);

    // Set once: false when a record is attached already. Readers on other threads see it
    // whole or not at all.
    bool AttachListed(const Listed& listed);
    // Null when none was attached; valid while the object lives.
    const Listed* GetListed() const noexcept
    {
        return m_listedState.load(std::memory_order_acquire) == c_ListedSet ? &m_listed : nullptr;
    }

private:
    // State flags.
    static constexpr uint32_t c_TextSet = 1;
    static constexpr uint32_t c_PartsSplit = 2;
    static constexpr uint32_t c_ParamsSplit = 4;
    static constexpr uint32_t c_TextCurrent = 8;

    // Each requires the shared lock to be held.
    void RequireText() const;
    void SplitParts();
    void SplitParams();
    void ComposeText();

    // Every field below is guarded by the lock all URL objects share (UrlImpl.cpp). Text
    // results point into these strings: they are replaced only on a builder's private copy,
    // so pointers handed out stay valid while the object lives.
    uint32_t m_flags = c_TextCurrent;
    std::string m_text;
    std::string m_scheme;
    std::string m_host;
    std::string m_path;
    ParamList m_params;
    // Outside the lock: written once by the one Attach that moves the state on, then only read.
    static constexpr int c_ListedNone = 0;
    static constexpr int c_ListedWriting = 1;
    static constexpr int c_ListedSet = 2;
    std::atomic<int> m_listedState{c_ListedNone};
    Listed m_listed{};
};

// A new URL object holding text.
LumoApi::ApiRef<LumoApi::UrlApi> MakeUrl(const std::string& text);

// The one placeholder for "no URL": shared and never counted. Its text queries answer null
// with last error 1168, its count 0, its indexed queries null with 1413, and SetText fails
// with 1247 (it is already what it will ever be).
class ZombieUrl final : public LumoApi::RefNeutral<LumoApi::UrlApi> {
public:
    static ZombieUrl& Instance() noexcept;

    int32_t LUMO_CALL SetText(const char* text) override;
    const char* LUMO_CALL GetScheme() override;
    const char* LUMO_CALL GetHost() override;
    const char* LUMO_CALL GetPath() override;
    int32_t LUMO_CALL GetParamCount() override;
    const char* LUMO_CALL GetParamName(int32_t index) override;
    const char* LUMO_CALL GetParamValue(int32_t index) override;
    const char* LUMO_CALL GetParam(const char* name) override;
    const char* LUMO_CALL GetText() override;
    const char* LUMO_CALL GetLocalPart() override;

private:
    ZombieUrl() = default;
};
