#include "picker/Utilities.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>

#include <lumo/Errors.h>

#include "common/Exceptions.h"
#include "host/ContentType.h"
#include "host/MediaItem.h"
#include "host/Url.h"

namespace {

std::atomic<bool> g_localeFormats{false};

constexpr double c_BytesPerGB = double(1ull << 30);
constexpr double c_BytesPerMB = double(1ull << 20);

constexpr const char* c_weekdays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* c_months[] = {"January", "February", "March", "April", "May", "June", "July", "August",
    "September", "October", "November", "December"};

// The whole text as a decimal integer; nothing when any of it is not.
std::optional<int64_t> ReadInteger(const std::string& text)
{
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

// Digits with a dot whatever the locale: the thousands separator is a fixed comma, so a decimal
// comma would make sizes ambiguous.
std::string FixedText(double value, int decimals)
{
    char buffer[64];
    const auto [stop, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(buffer, stop) : std::string("0");
}

} // namespace

void SetLocaleFormats(bool on)
{
    g_localeFormats = on;
}

std::string FormatDate(const std::string& secondsText)
{
    if (secondsText.empty())
        return std::string();
    const int64_t seconds = ReadInteger(secondsText).value_or(0);
    if (seconds < 0)
        return std::string();
    if (g_localeFormats)
        return QLocale().toString(QDateTime::fromSecsSinceEpoch(seconds), QLocale::LongFormat).toStdString();
    // English names whatever the locale, as the C library's own time text has them.
    const time_t time = static_cast<time_t>(seconds);
    tm local{};
    if (!localtime_r(&time, &local))
        return std::string();
    const char* suffix = local.tm_hour >= 12 ? "PM" : "AM";
    const int hour = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s, %s %d, %lld, %d:%02d:%02d %s", c_weekdays[local.tm_wday],
        c_months[local.tm_mon], local.tm_mday, static_cast<long long>(local.tm_year) + 1900, hour, local.tm_min,
        local.tm_sec, suffix);
    return buffer;
}

std::string FormatDuration(const std::string& millisecondsText)
{
    int64_t milliseconds = 0;
    if (!millisecondsText.empty()) {
        const std::optional<int64_t> value = ReadInteger(millisecondsText);
        if (!value)
            throw ConvertError("'" + millisecondsText + "' is not a valid integer value");
        milliseconds = *value;
    }
    if (milliseconds < 1)
        return std::string();
    // Anything shorter than a second still shows as one, never as 00:00.
    milliseconds = std::max<int64_t>(milliseconds, 1000);
    const long long hours = milliseconds / 3'600'000;
    const int minutes = static_cast<int>(milliseconds / 60'000 % 60);
    const int seconds = static_cast<int>(milliseconds / 1000 % 60);
    char hoursPart[32] = "";
    if (hours != 0)
        std::snprintf(hoursPart, sizeof hoursPart, "%lld:", hours);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s%02d:%02d", hoursPart, minutes, seconds);
    return buffer;
}

std::string FormatSize(double bytes)
{
    if (!std::isfinite(bytes) || bytes < 0)
        bytes = 0;
    if (g_localeFormats) {
        const QLocale locale;
        if (bytes >= c_BytesPerGB)
            return locale.toString(bytes / c_BytesPerGB, 'f', 2).toStdString() + " GB";
        if (bytes >= c_BytesPerMB)
            return locale.toString(bytes / c_BytesPerMB, 'f', 2).toStdString() + " MB";
        return locale.toString(qlonglong(bytes)).toStdString() + " Bytes";
    }
    if (bytes >= c_BytesPerGB)
        return FixedText(bytes / c_BytesPerGB, 2) + " GB";
    if (bytes >= c_BytesPerMB)
        return FixedText(bytes / c_BytesPerMB, 2) + " MB";
    // Below 1 MB the count has at most 7 digits, so two fixed commas are enough.
    std::string text = FixedText(bytes, 0);
    if (text.size() > 6)
        text.insert(1, ",");
    if (text.size() > 3)
        text.insert(text.size() - 3, ",");
    return text + " Bytes";
}

std::string FormatSize(const std::string& bytesText)
{
    double bytes = 0;
    const char* end = bytesText.data() + bytesText.size();
    const auto [stop, error] = std::from_chars(bytesText.data(), end, bytes);
    if (error != std::errc() || stop != end)
        bytes = 0;
    return FormatSize(bytes);
}

bool IsBrokenContentType(const std::string& contentType)
{
    const ContentTypePair pair = SplitContentType(contentType);
    return pair.major == "x-application" && pair.minor == "lumo-broken";
}

bool IsBroken(MediaItem& item)
{
    return IsBrokenContentType(item.Property("ContentType"));
}

std::string ItemDisplayPath(LumoApi::UrlApi* url)
{
    if (!url)
        return std::string();
    try {
        const Url item = Url::Share(url);
        const std::string local = LocalPathOf(item);
        return local.empty() ? item.Text() : local;
    } catch (...) {
        const char* text = url->GetText();
        return text ? text : "";
    }
}

namespace {

// The system's texts come without their full stop.
std::string Sentence(std::string text)
{
    if (!text.empty() && text.back() != '.')
        text += '.';
    return text;
}

} // namespace

std::string ChangeFailureReason(const std::exception_ptr& failure, bool publishing)
{
    constexpr uint32_t c_AlreadyExists = 183;
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const WinErrorException& error) {
        // The published set's own store is the one thing here that reads and writes data; the
        // system's texts for these codes speak of registry keys.
        switch (error.ErrorCode()) {
        case c_AlreadyExists:
            if (publishing)
                return QCoreApplication::translate("Utilities", "It is already published.").toStdString();
            break;
        case LumoApi::ERROR_NOT_FOUND:
            if (!publishing)
                return QCoreApplication::translate("Utilities", "It is not published.").toStdString();
            break;
        case LumoApi::ERROR_INVALID_DATA:
            return QCoreApplication::translate("Utilities", "The list of published items is damaged.").toStdString();
        case LumoApi::ERROR_CANTREAD:
            return QCoreApplication::translate("Utilities", "The list of published items could not be read.")
                .toStdString();
        case LumoApi::ERROR_CANTWRITE:
            return QCoreApplication::translate("Utilities", "The list of published items could not be written.")
                .toStdString();
        default:
            break;
        }
        return Sentence(error.what());
    } catch (const std::exception& error) {
        return Sentence(error.what());
    } catch (...) {
    }
    return std::string();
}
