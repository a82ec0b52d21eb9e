#include "ExifFacts.h"

#include <ctime>

#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>

namespace LumoPhotos {

namespace {

class ExifHolder {
public:
    ExifHolder() : m_data(exif_data_new()) { }
    ~ExifHolder()
    {
        if (m_data)
            exif_data_unref(m_data);
    }
    ExifHolder(const ExifHolder&) = delete;
    ExifHolder& operator=(const ExifHolder&) = delete;
    ExifData* Get() const noexcept { return m_data; }

private:
    ExifData* m_data;
};

ExifEntry* Find(ExifData* data, ExifIfd ifd, ExifTag tag)
{
    ExifEntry* entry = exif_content_get_entry(data->ifd[ifd], tag);
    return entry && entry->data && entry->components > 0 ? entry : nullptr;
}

// A SHORT or LONG value; 0 when absent or of another kind.
uint32_t Number(ExifData* data, ExifIfd ifd, ExifTag tag)
{
    const ExifEntry* entry = Find(data, ifd, tag);
    if (!entry)
        return 0;
    const ExifByteOrder order = exif_data_get_byte_order(data);
    if (entry->format == EXIF_FORMAT_SHORT && entry->size >= 2)
        return exif_get_short(entry->data, order);
    if (entry->format == EXIF_FORMAT_LONG && entry->size >= 4)
        return exif_get_long(entry->data, order);
    return 0;
}

std::optional<int64_t> Time(ExifData* data, ExifTag tag)
{
    const ExifEntry* entry = Find(data, EXIF_IFD_EXIF, tag);
    if (!entry || entry->format != EXIF_FORMAT_ASCII)
        return std::nullopt;
    return ParseExifTime(std::string_view(reinterpret_cast<const char*>(entry->data), entry->size));
}

bool Digits(std::string_view text, size_t at, size_t count, int& value)
{
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

std::optional<int64_t> ParseExifTime(std::string_view text)
{
    if (text.size() < 19)
        return std::nullopt;
    int year, month, day, hour, minute, second;
    if (!Digits(text, 0, 4, year) || !Digits(text, 5, 2, month) || !Digits(text, 8, 2, day)
        || !Digits(text, 11, 2, hour) || !Digits(text, 14, 2, minute) || !Digits(text, 17, 2, second))
        return std::nullopt;
    if (year < 1800 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    // The camera's clock keeps local time without a zone; let the rules of the day decide.
    fields.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&fields);
    // mktime normalises 31 February into March; such a date was not a date.
    if (seconds == std::time_t(-1) || fields.tm_mday != day || fields.tm_mon != month - 1)
        return std::nullopt;
    return int64_t(seconds);
}

ExifFacts ReadExif(const uint8_t* payload, size_t sizeBytes, bool wantThumbnail)
{
    ExifFacts facts;
    ExifHolder holder;
    ExifData* data = holder.Get();
    if (!data || !payload || sizeBytes < 6 || sizeBytes > 0xFFFF)
        return facts;
    // libexif's automatic fix-ups would add and rewrite entries we only read, at a cost.
    exif_data_unset_option(data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(data, payload, static_cast<unsigned int>(sizeBytes));

    const uint32_t orientation = Number(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION);
    facts.orientation = orientation >= 1 && orientation <= 8 ? int(orientation) : 1;
    facts.captureTime = Time(data, EXIF_TAG_DATE_TIME_ORIGINAL);
    if (!facts.captureTime)
        facts.captureTime = Time(data, EXIF_TAG_DATE_TIME_DIGITIZED);
    facts.pixelWidth = Number(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION);
    facts.pixelHeight = Number(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION);
    if (wantThumbnail && data->data && data->size > 0)
        facts.thumbnail.assign(data->data, data->data + data->size);
    return facts;
}

} // namespace LumoPhotos
