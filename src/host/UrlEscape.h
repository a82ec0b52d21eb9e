// The text form of URLs: %-escaping, splitting into and joining from scheme, host, path and
// query, and the query's parameter list.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Bytes copied unchanged into a scheme or a query name or value.
constexpr std::string_view c_ComponentSafe = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789$-_.!*'(),";
// Bytes copied unchanged into a host or a path: the component set with ":" and "/".
constexpr std::string_view c_PathSafe = ":/ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789$-_.!*'(),";
// The host keeps ":" (a port) but not "/", which would end it when the text is read back.
constexpr std::string_view c_HostSafe = ":ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789$-_.!*'(),";

// The query parameters of a URL, in order. Names are compared exactly; an empty name is never
// held. Names and values are plain text (unescaped).
class ParamList {
public:
    using Param = std::pair<std::string, std::string>;

    // Adds name=value unless name is already present (the first value wins) or value or name
    // is empty: the reading of a query.
    void Add(std::string name, std::string value);
    // Sets name to value, replacing a present value; an empty value removes the name.
    void Set(const std::string& name, std::string value);
    // The value of name, or null when absent. Valid until the list changes.
    const std::string* Find(std::string_view name) const noexcept;
    // True when name was present.
    bool Remove(std::string_view name);

    size_t size() const noexcept { return m_params.size(); }
    bool empty() const noexcept { return m_params.empty(); }
    // Unchecked; callers check the index against size().
    const Param& operator[](size_t index) const noexcept { return m_params[index]; }
    auto begin() const noexcept { return m_params.begin(); }
    auto end() const noexcept { return m_params.end(); }

    friend bool operator==(const ParamList&, const ParamList&) = default;

private:
    std::vector<Param> m_params;
};

// text with every byte outside safe written as "%" and two upper-case hexadecimal digits.
std::string Escape(std::string_view text, std::string_view safe);
std::string EscapePath(std::string_view text);
std::string EscapeComponent(std::string_view text);

// Turns each "%" and the two characters after it into one byte; a character that is not a
// hexadecimal digit counts as 0. "+" stays "+". Raises RangeError when a "%" has fewer than
// two characters after it.
std::string Unescape(std::string_view text);

// Splits a URL text as it stands (nothing unescaped) into views of text. The query is
// everything after the first "?"; scheme and host are present only with "://"; the path loses
// one leading "/". Any output may be null.
void SplitUrl(std::string_view text, std::string_view* scheme, std::string_view* host, std::string_view* path,
    std::string_view* query);

// The text form: [scheme "://"] host ["/" path] ["?" query]. Nothing is escaped here.
std::string JoinUrl(std::string_view scheme, std::string_view host, std::string_view path, std::string_view query);

// Where the local part of text starts: the position after scheme, "://" and host, as
// SplitUrl reads them; 0 for a text without "://".
size_t LocalPartOffset(std::string_view text);

// The query text of params: lines sorted ignoring case, names and values escaped with the
// component set, joined with "&".
std::string BuildQuery(const ParamList& params);

// The parameters of a query text: pieces split at "&" (empty pieces skipped), each read as
// name "=" value and unescaped. A piece without "=" has no name and is dropped. Raises
// RangeError for a bad "%" (see Unescape).
ParamList ParseQuery(std::string_view query);
