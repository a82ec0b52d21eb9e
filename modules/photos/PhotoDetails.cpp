#include "PhotoDetails.h"

#include <iterator>

#include <lumo/Errors.h>
#include <lumo/Listing.h>

#include "PhotoError.h"
#include "PhotoServices.h"
#include "support/ListedFacts.h"

using namespace LumoApi;

namespace LumoPhotos {

namespace {

constexpr const char c_BrokenType[] = "x-application/lumo-broken";

enum Stage { c_FromPath, c_Location, c_FileType, c_FileFacts, c_FromPicture };

constexpr LumoModules::PropertyName c_PhotoNames[] = {
    {"FileName", c_FromPath},
    {"SourceFormat", c_FileType},
    {"ContentType", c_FileType},
    {"SourceLocation", c_Location},
    {"SourceSize", c_FileFacts},
    {"CreationDate", c_FileFacts},
    {"LastChangeDate", c_FileFacts},
    {"CaptureDate", c_FromPicture},
    {"SourceWidth", c_FromPicture},
    {"SourceHeight", c_FromPicture},
};
static_assert(std::size(c_PhotoNames) <= 64, "ListedDetails keeps a bit per name");

// The stamp a look at the file would have given, from the listing's record.
FileStamp StampOfListing(const ListedFile& record)
{
    FileStamp stamp;
    stamp.sizeBytes = record.sizeBytes;
    stamp.modifiedNs = record.modifiedNs;
    stamp.createdSec
        = LumoModules::WholeSeconds((record.flags & c_ListedBirthTime) ? record.createdNs : record.changedNs);
    return stamp;
}

} // namespace

PhotoDetails::PhotoDetails(std::string path, PhotoType type, ApiRef<UrlApi> url)
    : ListedDetails(c_PhotoNames, std::size(c_PhotoNames)), m_path(std::move(path)), m_type(type), m_url(std::move(url))
{
}

void PhotoDetails::ReadFacts(const PhotoFile& file)
{
    try {
        m_facts = ReadPhotoFacts(file, m_type, false);
    } catch (const PhotoError&) {
        m_facts = PhotoFacts();
    }
}

void PhotoDetails::LoadStage(int stage)
{
    switch (stage) {
    case c_FromPath:
        SetValue("FileName", ReadableText(LeafOf(m_path)));
        break;
    case c_Location:
        SetValue("SourceLocation", ReadableText(m_path));
        break;
    case c_FileType: {
        const std::optional<ListedFile> listed = ClassSupport().Listed(m_url.Get());
        if (listed && listed->fileType == c_ListedRegular) {
            m_stamp = StampOfListing(*listed);
        } else {
            try {
                const PhotoFile file(m_path);
                m_stamp = file.Stamp();
                ReadFacts(file);
            } catch (const PhotoError& error) {
                if (error.Code() != ERROR_NOT_FOUND) {
                    // Unreadable: what the folder entry tells is still worth showing.
                    m_unreadable = true;
                    m_stamp = StampOf(m_path);
                } else {
                    m_broken = true;
                }
            }
        }
        const char* type = m_broken ? c_BrokenType : FormatOf(m_type).contentType;
        SetValue("SourceFormat", type);
        SetValue("ContentType", type);
        break;
    }
    case c_FileFacts:
        RunStage(c_FileType);
        if (m_broken)
            break;
        SetValue("SourceSize", std::to_string(m_stamp.sizeBytes));
        SetValue("CreationDate", std::to_string(m_stamp.createdSec));
        SetValue("LastChangeDate", std::to_string(m_stamp.ModifiedSec()));
        break;
    case c_FromPicture: {
        RunStage(c_FileType);
        if (m_broken || m_unreadable)
            break;
        if (!m_facts) {
            try {
                ReadFacts(PhotoFile(m_path));
            } catch (const PhotoError&) {
                break; // gone or changed since the listing: no facts, as for a read error
            }
        }
        if (m_facts->captureTime)
            SetValue("CaptureDate", std::to_string(*m_facts->captureTime));
        const Size shown = m_facts->Shown();
        if (shown.Pixels() != 0) {
            SetValue("SourceWidth", std::to_string(shown.width));
            SetValue("SourceHeight", std::to_string(shown.height));
        }
        break;
    }
    default:
        break;
    }
}

} // namespace LumoPhotos
