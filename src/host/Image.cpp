#include "Image.h"

#include <lumo/Data.h>
#include <lumo/Errors.h>

#include "common/Exceptions.h"

using namespace LumoApi;

Image::Image(ApiRef<UrlApi> url) : MediaItem(std::move(url)), m_image(GetApi<ImageApi>())
{
}
