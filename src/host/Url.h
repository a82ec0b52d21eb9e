// The host-side view of a URL: what the program passes around instead of raw UrlApi pointers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <lumo/Api.h>
#include <lumo/Url.h>

// Holds one reference to a UrlApi, or the placeholder URL when empty. Failures the API
// reports as "absent" (1168) read as empty text; any other failure raises WinErrorException
// with the last error. Like any UrlApi user, one thread at a time per Url.
class Url {
public:
    // Reads one named parameter; converts to its value ("" when absent).
    class ValueProxy {
    public:
        operator std::string() const { return Value(); }
        // The value, "" when absent.
        std::string Value() const;
        // The value, or nothing when absent (a present value is never empty).
        std::optional<std::string> Find() const;
        bool Exists() const { return Find().has_value(); }
        friend bool operator==(const ValueProxy& proxy, std::string_view value) { return proxy.Value() == value; }

    private:
        friend class Url;
        ValueProxy(LumoApi::ApiRef<LumoApi::UrlApi> url, std::string name) noexcept
            : m_url(std::move(url)), m_name(std::move(name))
        {
        }

        // Its own reference, so a proxy of a temporary Url stays usable.
        LumoApi::ApiRef<LumoApi::UrlApi> m_url;
        std::string m_name;
    };

    // The empty URL.
    Url() noexcept;
    // Shares url; a null url gives the empty URL.
    explicit Url(LumoApi::ApiRef<LumoApi::UrlApi> url) noexcept;

    // A new URL object holding text.
    static Url FromText(const std::string& text);
    // Takes over the reference raw carries (may be null).
    static Url Adopt(LumoApi::UrlApi* raw) noexcept;
    // Adds a reference of its own to raw (may be null).
    static Url Share(LumoApi::UrlApi* raw) noexcept;

    // True for the placeholder, not for a URL object whose text is empty.
    bool IsNull() const noexcept;
    // Borrowed: never null (the placeholder when empty).
    LumoApi::UrlApi* Api() const noexcept { return m_url.Get(); }
    // A new reference for a receiver that will release it.
    LumoApi::UrlApi* NewRef() const noexcept { return m_url.NewRef(); }

    // The whole text; "" when empty.
    std::string Text() const;
    // Unescaped parts; "" when absent.
    std::string Scheme() const;
    std::string Host() const;
    std::string Path() const;
    // From the "/" of the path on; "" for the empty URL.
    std::string LocalPart() const;

    int32_t ParamCount() const;
    // Raise WinErrorException 1413 for an index outside 0..ParamCount()-1.
    std::string ParamName(int32_t index) const;
    std::string ParamValue(int32_t index) const;
    // The named parameter ("" or nothing when absent).
    ValueProxy Param(const std::string& name) const { return ValueProxy(m_url, name); }
    ValueProxy operator[](const std::string& name) const { return Param(name); }

    // Two URLs are the same item when their texts are equal.
    friend bool operator==(const Url& a, const Url& b) { return a.Text() == b.Text(); }

private:
    LumoApi::ApiRef<LumoApi::UrlApi> m_url;
};

// The "file" URL of a local path (made absolute against the working folder); every byte that
// is not safe in a path is escaped, so names that are not UTF-8 survive. Raises 123 for an
// empty path.
Url FileUrlFromPath(const std::string& path);

// A "file" URL, or a path turned into one: texts with "://" are taken as URLs.
Url UrlFromPathOrText(const std::string& text);

// The local path of a "file" URL ("/" + its path); "" for other schemes.
std::string LocalPathOf(const Url& url);
