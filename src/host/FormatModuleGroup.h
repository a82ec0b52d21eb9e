// The host's FormatApi: every content type the modules and the system's file-type database
// know, and the decision of an item's content type from its URL and data.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <lumo/Api.h>
#include <lumo/Data.h>
#include <lumo/Media.h>
#include <lumo/Url.h>

#include "common/MruCache.h"

class Module;
class ModuleGroup;

// One file type of the system's database: a content type, its extensions (".mp3"), its
// description.
struct FileType {
    std::string contentType;
    std::vector<std::string> extensions;
    std::string description;
};

class FormatModuleGroup;

// The host's FormatLookupApi over a FormatModuleGroup; answers are kept for the host's life.
class FormatLookup : public LumoApi::RefNeutral<LumoApi::FormatLookupApi> {
public:
    explicit FormatLookup(FormatModuleGroup& formats) : m_formats(formats) { }

    const char* LUMO_CALL GetTypesOfExtension(const char* extension) override;
    const char* LUMO_CALL DecideContentType(LumoApi::UrlApi* url, LumoApi::DataApi* data) override;

private:
    FormatModuleGroup& m_formats;
    // Guards the texts below, which keep their addresses for callers while the host lives.
    std::mutex m_lock;
    std::unordered_map<std::string, std::string> m_answers;
    std::unordered_set<std::string> m_types;
};

class FormatModuleGroup : public LumoApi::RefNeutral<LumoApi::FormatApi> {
public:
    using SystemTypes = std::function<std::vector<FileType>()>;
    using SystemGlobs = std::function<std::optional<std::vector<FileType>>()>;

    FormatModuleGroup();
    ~FormatModuleGroup();

    // Reads every module's formats. Once, at start-up. The system's file types are read from
    // systemTypes the first time a question needs them: reading the system's database costs a
    // short-lived process more than its work, and an item a module places never needs it.
    // systemGlobs gives the same types' extensions alone, cheaply: a decision by extension and
    // a question about one extension use them, and wait for systemTypes only where it answers
    // nullopt.
    void Initialize(const ModuleGroup& modules, SystemTypes systemTypes, SystemGlobs systemGlobs = nullptr);

    // The content types (lower case, sorted) among GetFormat's whose extensions include
    // extension (lower case, with its dot), without reading the whole system database where
    // its globs can be read instead. Any thread.
    const std::vector<std::string>& TypesOfExtension(const std::string& extension) const;
    FormatLookup& Lookup() noexcept { return m_lookup; }
    // Whether the system's whole type database has been read.
    bool WholeTableRead() const noexcept { return m_wholeTableRead.load(std::memory_order_acquire); }

    // The content type of an item, lower case, or "" when nothing places it. data is the item's
    // bytes (or empty data). Any thread: modules' Identify must be thread-safe.
    // remember false: neither asks nor fills the cache of decisions, for a walk that meets each
    // item once and would only push out what others will ask for again.
    std::string DecideContentType(LumoApi::UrlApi* url, LumoApi::DataApi* data, bool remember = true);

    int32_t LUMO_CALL GetFormatCount() override;
    int32_t LUMO_CALL GetFormat(int32_t index, LumoApi::FormatInfo* info) override;
    int32_t LUMO_CALL Identify(LumoApi::UrlApi* url, LumoApi::DataApi* data) override;

    // The extensions known for a content type (lower case, with their dots); empty if unknown.
    std::vector<std::string> ExtensionsOf(const std::string& contentType) const;

private:
    struct TypeInfo {
        std::string contentType;
        std::vector<std::string> extensions;
        std::string description;
        // Texts handed out through GetFormat; they live as long as the host.
        std::string extensionsText;
    };
    struct FormatModule {
        const Module* module;
        LumoApi::ApiRef<LumoApi::FormatApi> api;
        int32_t count;
        std::vector<std::string> contentTypes;
    };

    void AddType(const std::string& contentType, const std::vector<std::string>& extensions,
        const std::string& description) const;
    // Completes m_types with the system's types, once; any thread.
    void RequireTypes() const;
    // Index of contentType in m_types (ignoring case), or -1.
    int32_t IndexOf(const std::string& contentType) const;
    std::string TypeFromExtension(const std::string& extension) const;
    static std::string ExtensionOf(LumoApi::UrlApi* url);

    // Sorted by content type; fixed once RequireTypes has run. Read only after it.
    mutable std::vector<TypeInfo> m_types;
    std::vector<FormatModule> m_formatModules;
    // The modules' formats as read at start-up, and the source of the system's, until
    // RequireTypes merges them into m_types.
    std::vector<FileType> m_moduleTypes;
    mutable SystemTypes m_systemTypes;
    mutable std::once_flag m_typesComplete;
    mutable std::atomic<bool> m_wholeTableRead{false};
    // Extension → content types, for TypesOfExtension; made once, from the modules' types and
    // the system's globs (or the whole table where there are none).
    SystemGlobs m_systemGlobs;
    mutable std::once_flag m_extensionsIndexed;
    mutable std::unordered_map<std::string, std::vector<std::string>> m_typesByExtension;
    FormatLookup m_lookup{*this};

    // Guards m_decided only: module calls run outside it, so a slow Identify on one thread
    // never holds up decisions on another.
    std::mutex m_lock;
    // URL text → decided content type.
    MruCache<std::string> m_decided{2000};
};
