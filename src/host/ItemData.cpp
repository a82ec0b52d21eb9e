#include "ItemData.h"

#include "common/ApiBoundary.h"
#include "host/FileViewCache.h"

using namespace LumoApi;

namespace {

class Zombie : public RefNeutral<DataApi> {
public:
    const uint8_t* LUMO_CALL GetBytes() override { return nullptr; }
    uint32_t LUMO_CALL GetSize() override { return 0; }
};

// Used by one decision on one thread: no lock.
class LazyItemData : public RefCounted<DataApi> {
public:
    LazyItemData(FileViewCache& views, UrlApi* url) : m_views(views), m_url(ApiRef<UrlApi>::Share(url)) { }

    const uint8_t* LUMO_CALL GetBytes() override
    {
        return ApiBoundary(nullptr, [&] { return Data().GetBytes(); });
    }
    uint32_t LUMO_CALL GetSize() override
    {
        return ApiBoundary(0, [&] { return Data().GetSize(); });
    }

private:
    DataApi& Data()
    {
        if (!m_opened) {
            m_opened = true;
            ApiRef<FileViewApi> view = ApiRef<FileViewApi>::Adopt(new CachingFileView(m_views));
            if (view->Open(m_url.Get()))
                m_view = std::move(view);
        }
        return m_view ? static_cast<DataApi&>(*m_view) : *ZombieData();
    }

    FileViewCache& m_views;
    ApiRef<UrlApi> m_url;
    ApiRef<FileViewApi> m_view;
    bool m_opened = false;
};

} // namespace

DataApi* ZombieData()
{
    static Zombie zombie;
    return &zombie;
}

ApiRef<DataApi> OpenItemData(FileViewCache& views, UrlApi* url)
{
    return ApiRef<DataApi>::Adopt(new LazyItemData(views, url));
}
