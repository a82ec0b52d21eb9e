#include "MusicText.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace LumoMusic {

namespace {

constexpr char32_t c_Replacement = 0xFFFD;

// Windows-1252 in the range 0x80-0x9F; the five unassigned bytes keep their Latin-1 meaning.
constexpr char16_t c_Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030,
    0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

char32_t Cp1252(uint8_t byte)
{
    return byte >= 0x80 && byte < 0xA0 ? char32_t(c_Cp1252High[byte - 0x80]) : char32_t(byte);
}

// Length of the well-formed UTF-8 sequence at text[at], 0 when there is none.
size_t SequenceLength(std::string_view text, size_t at)
{
    const auto byte = [&](size_t index) { return uint8_t(text[index]); };
    const uint8_t lead = byte(at);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        if (lead == 0xF4)
            high = 0x8F; // past U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (size_t next = 2; next < length; ++next) {
        if ((byte(at + next) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

bool IsControl(uint8_t byte)
{
    return byte < 0x20 || byte == 0x7F;
}

bool IsSpace(uint8_t byte)
{
    return byte == ' ';
}

int HexValue(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    return -1;
}

} // namespace

bool IsValidUtf8(std::string_view bytes)
{
    for (size_t at = 0; at < bytes.size();) {
        const size_t length = SequenceLength(bytes, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

std::string Latin1ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char byte : bytes)
        AppendUtf8(out, Cp1252(uint8_t(byte)));
    return out;
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    std::string out;
    out.reserve(bytes.size());
    const auto unitAt = [&](size_t at) -> char16_t {
        const uint8_t first = uint8_t(bytes[at]);
        const uint8_t second = uint8_t(bytes[at + 1]);
        return bigEndian ? char16_t((first << 8) | second) : char16_t((second << 8) | first);
    };
    for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const char16_t unit = unitAt(at);
        if (unit >= 0xD800 && unit <= 0xDBFF && at + 3 < bytes.size()) {
            const char16_t next = unitAt(at + 2);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(next) - 0xDC00));
                at += 2;
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? c_Replacement : char32_t(unit));
    }
    return out;
}

std::string ReadableText(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        const uint8_t byte = uint8_t(bytes[at]);
        // Printable ASCII, most of any name, goes over as a run.
        if (byte >= 0x20 && byte < 0x7F) {
            size_t end = at + 1;
            while (end < bytes.size() && uint8_t(bytes[end]) >= 0x20 && uint8_t(bytes[end]) < 0x7F)
                ++end;
            out.append(bytes.substr(at, end - at));
            at = end;
            continue;
        }
        const size_t length = SequenceLength(bytes, at);
        if (length == 0) {
            AppendUtf8(out, Cp1252(byte));
            ++at;
        } else if (length == 1 && IsControl(byte)) {
            AppendUtf8(out, c_Replacement);
            ++at;
        } else {
            out.append(bytes.substr(at, length));
            at += length;
        }
    }
    return out;
}

std::string CleanTagText(std::string_view text, size_t maxBytes)
{
    // Cutting first bounds the work on a huge tag; the cut backs off continuation bytes so it
    // does not split a character of a UTF-8 text.
    size_t inputBytes = std::min(text.size(), maxBytes + 4);
    for (int step = 0; step < 3 && inputBytes < text.size() && (uint8_t(text[inputBytes]) & 0xC0) == 0x80; ++step)
        --inputBytes;
    const std::string readable = ReadableText(text.substr(0, inputBytes));
    // Controls came out as the replacement character; as spaces they can be trimmed.
    std::string out;
    out.reserve(readable.size());
    for (size_t at = 0; at < readable.size();) {
        if (readable.compare(at, 3, "\xEF\xBF\xBD") == 0) {
            out += ' ';
            at += 3;
        } else {
            out += readable[at++];
        }
    }
    size_t begin = 0;
    size_t end = out.size();
    while (begin < end && IsSpace(uint8_t(out[begin])))
        ++begin;
    while (end > begin && IsSpace(uint8_t(out[end - 1])))
        --end;
    out = out.substr(begin, end - begin);
    if (out.size() > maxBytes) {
        size_t cut = maxBytes;
        while (cut > 0 && (uint8_t(out[cut]) & 0xC0) == 0x80)
            --cut;
        out.resize(cut);
        while (!out.empty() && IsSpace(uint8_t(out.back())))
            out.pop_back();
    }
    return out;
}

std::string ToLowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return out;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t at = 0; at < a.size(); ++at) {
        char x = a[at];
        char y = b[at];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string SampleRateText(int rateHz)
{
    if (rateHz <= 0)
        return std::string();
    if (rateHz < 1000)
        return std::to_string(rateHz) + " Hz";
    std::string text = std::to_string(rateHz / 1000);
    const int fraction = rateHz % 1000;
    if (fraction != 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%03d", fraction);
        std::string decimals(digits);
        while (!decimals.empty() && decimals.back() == '0')
            decimals.pop_back();
        text += "." + decimals;
    }
    return text + " kHz";
}

std::string BitRateText(int rateKbps)
{
    return rateKbps > 0 ? std::to_string(rateKbps) + " kbps" : std::string();
}

std::string FileUrlText(std::string_view absolutePath, std::string_view prefix)
{
    static constexpr char c_Hex[] = "0123456789ABCDEF";
    std::string text(prefix);
    text += "file://";
    text.reserve(text.size() + absolutePath.size() + 16);
    for (char c : absolutePath) {
        const uint8_t byte = uint8_t(c);
        const bool safe = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9')
            || std::string_view("$-_.!*'(),:/").find(c) != std::string_view::npos;
        if (safe) {
            text += c;
        } else {
            text += '%';
            text += c_Hex[byte >> 4];
            text += c_Hex[byte & 0x0F];
        }
    }
    return text;
}

std::string PercentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '%' && at + 2 < text.size() && HexValue(text[at + 1]) >= 0 && HexValue(text[at + 2]) >= 0) {
            out += char(HexValue(text[at + 1]) * 16 + HexValue(text[at + 2]));
            at += 2;
        } else {
            out += text[at];
        }
    }
    return out;
}

} // namespace LumoMusic
