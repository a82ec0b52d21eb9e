// The host's "FilterDetailsApi": an item's details with some properties replaced, added,
// hidden or left out of the name enumeration. The shell-link details are built on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <lumo/Api.h>
#include <lumo/Filter.h>
#include <lumo/Media.h>

// Overrides are held one per name: a second SetValue for a name replaces the first, so a
// property never answers with a stale value nor appears twice in the enumeration.
//
// Names come in two passes: first the listed overrides in the byte order of their
// "name=value" texts, then the base's names in the base's order, leaving out every name that
// has an override of any kind. A hidden property (empty value) is left out of both passes,
// since GetValue would deny it. UnlistName of a name without a value of its own keeps the
// base's value readable.
//
// One thread at a time, like every details object.
class FilterDetails : public LumoApi::RefCounted<LumoApi::FilterDetailsApi> {
public:
    // media answers the base's details (the host's MediaApi) and must outlive this object.
    explicit FilterDetails(LumoApi::MediaApi& media);

    const char* LUMO_CALL GetFirstName() override;
    const char* LUMO_CALL GetNextName() override;
    const char* LUMO_CALL GetValue(const char* name) override;
    int32_t LUMO_CALL SetBase(LumoApi::UrlApi* url) override;
    int32_t LUMO_CALL UnlistName(const char* name) override;
    int32_t LUMO_CALL SetValue(const char* name, const char* value) override;

private:
    struct Override {
        // Absent when the name was only unlisted: GetValue then asks the base.
        std::optional<std::string> value;
        bool unlisted = false;
    };

    // Raises 1 before SetBase.
    void RequireBase() const;
    // The entry for name, made when absent; raises 87 for a null or empty name.
    Override& OverrideOf(const char* name);
    void Restart();
    const char* NextName();

    LumoApi::MediaApi& m_media;
    bool m_baseSet = false;
    // Null after SetBase(null): the empty details.
    LumoApi::ApiRef<LumoApi::DetailsApi> m_base;
    std::map<std::string, Override> m_overrides;

    // The enumeration: the first pass's names, taken when it starts, so the texts handed out
    // stay put while the caller changes overrides.
    std::vector<std::string> m_listed;
    size_t m_nextListed = 0;
    bool m_started = false;
    bool m_inBasePass = false;
};
