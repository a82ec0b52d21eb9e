#include "FileViewCache.h"

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/ApiBoundary.h"
#include "common/Exceptions.h"
#include "host/CacheModule.h"

using namespace LumoApi;

FileViewCache::FileViewCache(const CacheModule& cacheModule) : m_cacheModule(cacheModule)
{
}

ApiRef<FileViewApi> FileViewCache::Lookup(const std::string& key)
{
    std::lock_guard<std::mutex> lock(m_lock);
    ApiRef<FileViewApi> view;
    m_views.Lookup(key, view);
    return view;
}

void FileViewCache::Store(const std::string& key, const ApiRef<FileViewApi>& view)
{
    // An evicted view is released under the lock; a module view never calls back into this cache.
    std::lock_guard<std::mutex> lock(m_lock);
    m_views.Store(key, view);
}

CachingFileView::CachingFileView(FileViewCache& cache) : m_cache(cache)
{
}

FileViewApi& CachingFileView::View() const
{
    if (!m_view)
        ThrowWinError(ERROR_INVALID_FUNCTION);
    return *m_view;
}

const uint8_t* LUMO_CALL CachingFileView::GetBytes()
{
    return ApiBoundary(nullptr, [&] { return View().GetBytes(); });
}

uint32_t LUMO_CALL CachingFileView::GetSize()
{
    return ApiBoundary(0, [&] { return View().GetSize(); });
}

int32_t LUMO_CALL CachingFileView::Prefetch(uint32_t offset, uint32_t length, uint32_t flags)
{
    return ApiBoundary(0, [&] { return View().Prefetch(offset, length, flags); });
}

int32_t LUMO_CALL CachingFileView::Open(UrlApi* url)
{
    return ApiBoundary(0, [&]() -> int32_t {
        if (m_view)
            ThrowWinError(ERROR_ALREADY_INITIALIZED);
        if (!url)
            ThrowWinError(ERROR_INVALID_PARAMETER);
        const char* text = url->GetText();
        const std::string key = text ? text : "";
        if ((m_view = m_cache.Lookup(key)))
            return 1;
        ApiRef<FileViewApi> view = m_cache.Source().NewFileView();
        if (!view->Open(url))
            return 0;
        m_cache.Store(key, view);
        m_view = std::move(view);
        return 1;
    });
}
