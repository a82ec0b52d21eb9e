#include "MediaClassGroup.h"

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/Exceptions.h"
#include "host/ModuleGroup.h"

using namespace LumoApi;

namespace {

ApiRef<UrlApi> Required(UrlApi* url)
{
    if (!url)
        ThrowLastError();
    return ApiRef<UrlApi>::Adopt(url);
}

bool Answer(int32_t result)
{
    if (result)
        return true;
    if (LumoGetLastError() != ERROR_DATATYPE_MISMATCH)
        ThrowLastError();
    return false;
}

} // namespace

MediaClass::MediaClass(const Module& module, ApiRef<MediaClassApi> api) : m_module(&module), m_api(std::move(api))
{
    m_firstRoot = std::make_unique<Container>(Required(m_api->GetFirstRoot()));
    m_secondRoot = std::make_unique<Container>(Required(m_api->GetSecondRoot()));
}

const std::string& MediaClass::Id() const
{
    return m_module->Id();
}

bool MediaClass::CanPublish(UrlApi* item) const
{
    return Answer(m_api->CanPublish(item));
}

bool MediaClass::CanUnpublish(UrlApi* item) const
{
    return Answer(m_api->CanUnpublish(item));
}

ApiRef<UrlApi> MediaClass::Publish(UrlApi* item, const char* text) const
{
    return Required(m_api->Publish(item, text));
}

ApiRef<UrlApi> MediaClass::Unpublish(UrlApi* item) const
{
    return Required(m_api->Unpublish(item));
}

void MediaClassGroup::Initialize(const ModuleGroup& modules)
{
    for (size_t index = 0; index < modules.Count(); ++index) {
        const Module& module = modules[index];
        if (ApiRef<MediaClassApi> api = module.GetApi<MediaClassApi>())
            m_classes.push_back(std::make_unique<MediaClass>(module, std::move(api)));
    }
}

MediaClass& MediaClassGroup::ById(const std::string& id) const
{
    for (const std::unique_ptr<MediaClass>& mediaClass : m_classes) {
        if (mediaClass->Id() == id)
            return *mediaClass;
    }
    ThrowWinError(ERROR_NOT_FOUND);
}
