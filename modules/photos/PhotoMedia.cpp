#include "PhotoMedia.h"

#include <cstring>
#include <string>

#include <lumo/Errors.h>
#include <lumo/Image.h>
#include <lumo/Platform.h>

#include "PhotoDetails.h"
#include "PhotoError.h"
#include "PhotoFile.h"
#include "PhotoFormats.h"
#include "PhotoImage.h"
#include "PhotoServices.h"

using namespace LumoApi;

namespace LumoPhotos {

const char* LUMO_CALL PhotoMedia::GetContentTypes()
{
    static const std::string types = [] {
        std::string list;
        for (int32_t i = 0; i < c_PhotoTypeCount; ++i)
            list += std::string(FormatOf(PhotoType(i)).contentType) + ",";
        return list + ClassSupport().GetContentTypes();
    }();
    return types.c_str();
}

const char* LUMO_CALL PhotoMedia::GetSecondaryTypes()
{
    return nullptr;
}

Api* LUMO_CALL PhotoMedia::GetApi(const char* type_id, UrlApi* url)
{
    return Guard<Api*>(nullptr, [&]() -> Api* {
        if (!type_id || !url)
            throw PhotoError(ERROR_INVALID_PARAMETER);
        if (ClassSupport().IsClassItem(url))
            return ClassSupport().GetApi(type_id, url);
        std::string path;
        if (!PathOfPhotoUrl(url, path))
            throw PhotoError(ERROR_UNSUPPORTED_TYPE);
        const std::optional<PhotoType> type = IdentifyPhoto(path, ClassSupport().Listed(url));
        if (!type)
            throw PhotoError(ERROR_UNSUPPORTED_TYPE);
        if (std::strcmp(type_id, DetailsApi::TypeId) == 0)
            return new PhotoDetails(std::move(path), *type, ApiRef<UrlApi>::Share(url));
        if (std::strcmp(type_id, ImageApi::TypeId) == 0)
            return new PhotoImage(path, *type);
        throw PhotoError(ERROR_INVALID_PARAMETER);
    });
}

} // namespace LumoPhotos
