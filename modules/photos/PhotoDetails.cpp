#include "PhotoDetails.h"

#include <cstring>
#include <optional>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "PhotoError.h"
#include "PhotoFacts.h"
#include "PhotoFile.h"

using namespace LumoApi;

namespace LumoPhotos {

namespace {

constexpr const char c_BrokenType[] = "x-application/lumo-broken";

} // namespace

PhotoDetails::PhotoDetails(const std::string& path, PhotoType type)
{
    Add("FileName", ReadableText(LeafOf(path)));
    std::optional<PhotoFile> file;
    std::optional<FileStamp> stamp;
    try {
        file.emplace(path);
        stamp = file->Stamp();
    } catch (const PhotoError& error) {
        if (error.Code() == ERROR_NOT_FOUND) {
            Add("SourceFormat", c_BrokenType);
            Add("ContentType", c_BrokenType);
            Add("SourceLocation", ReadableText(path));
            return;
        }
        // Unreadable: what the folder entry tells is still worth showing.
        stamp = StampOf(path);
    }
    const char* contentType = FormatOf(type).contentType;
    Add("SourceFormat", contentType);
    Add("ContentType", contentType);
    Add("SourceLocation", ReadableText(path));
    Add("SourceSize", std::to_string(stamp->sizeBytes));
    Add("CreationDate", std::to_string(stamp->createdSec));
    Add("LastChangeDate", std::to_string(stamp->ModifiedSec()));
    if (!file)
        return;
    PhotoFacts facts;
    try {
        facts = ReadPhotoFacts(*file, type, false);
    } catch (const PhotoError&) {
        return; // a read error spoils only the facts of the picture
    }
    if (facts.captureTime)
        Add("CaptureDate", std::to_string(*facts.captureTime));
    const Size shown = facts.Shown();
    if (shown.Pixels() != 0) {
        Add("SourceWidth", std::to_string(shown.width));
        Add("SourceHeight", std::to_string(shown.height));
    }
}

void PhotoDetails::Add(const char* name, std::string value)
{
    m_values.emplace_back(name, std::move(value));
}

const char* LUMO_CALL PhotoDetails::GetFirstName()
{
    m_next = 0;
    return GetNextName();
}

const char* LUMO_CALL PhotoDetails::GetNextName()
{
    if (m_next >= m_values.size()) {
        LumoSetLastError(ERROR_NO_MORE_ITEMS);
        return nullptr;
    }
    return m_values[m_next++].first;
}

const char* LUMO_CALL PhotoDetails::GetValue(const char* name)
{
    if (!name) {
        LumoSetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    for (const auto& [known, value] : m_values)
        if (std::strcmp(known, name) == 0)
            return value.c_str();
    LumoSetLastError(ERROR_NOT_FOUND);
    return nullptr;
}

} // namespace LumoPhotos
