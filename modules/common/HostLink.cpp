#include "HostLink.h"

#include <mutex>

#include "ModuleGuard.h"

using namespace LumoApi;

namespace LumoModules {

void HostLink::Attach(HostProgramApi* host, ModuleApi* module)
{
    m_listed.Detach();
    m_listed.Attach(host, module);
    std::unique_lock lock(m_lock);
    m_host = host;
    m_module = module;
}

void HostLink::Detach()
{
    m_listed.Detach();
    std::unique_lock lock(m_lock);
    m_host = nullptr;
    m_module = nullptr;
}

bool HostLink::IsAttached() const
{
    std::shared_lock lock(m_lock);
    return m_host != nullptr;
}

Api* HostLink::GetApi(const char* typeId, bool mayLack) const
{
    std::shared_lock lock(m_lock);
    if (!m_host || !m_module)
        throw ClassError(ERROR_INVALID_FUNCTION);
    // The host takes over one reference to the module: pass one of ours.
    Api* api = m_host->GetApi(typeId, ApiRef<ModuleApi>::Share(m_module).Detach());
    if (!api && !(mayLack && LumoGetLastError() == ERROR_INVALID_PARAMETER))
        ThrowLastError();
    return api;
}

ApiRef<UrlApi> HostLink::NewUrl(const std::string& text) const
{
    ApiRef<UrlApi> url = Get<UrlApi>();
    if (!url->SetText(text.c_str()))
        ThrowLastError();
    return url;
}

std::string HostLink::FileUrlText(const std::string& path) const
{
    ApiRef<UrlBuilderApi> builder = Get<UrlBuilderApi>();
    if (!builder->SetScheme("file") || !builder->SetPath(path.c_str()))
        ThrowLastError();
    ApiRef<UrlApi> url = ApiRef<UrlApi>::Adopt(builder->GetUrl());
    const char* text = url ? url->GetText() : nullptr;
    if (!text)
        ThrowLastError();
    return text;
}

} // namespace LumoModules
