#include "picker/MyMediaItem.h"

#include <chrono>
#include <exception>
#include <thread>

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <lumo/Errors.h>

#include "common/Assert.h"
#include "common/Exceptions.h"
#include "host/MediaItem.h"
#include "picker/UpdateQueue.h"
#include "platform/MessageBox.h"

using namespace LumoApi;

namespace {

constexpr uint32_t c_DestroyWaitMs = 5000;
constexpr auto c_EnumerationWait = std::chrono::milliseconds(30000);
constexpr auto c_EnumerationRest = std::chrono::milliseconds(50);

// A container that cannot be watched at all is listed without a word.
void RaiseSubscribeFailure(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const WinErrorException& error) {
        if (error.ErrorCode() != ERROR_INVALID_FUNCTION)
            throw;
    }
}

} // namespace

MyMediaItem::MyMediaItem(ApiRef<UrlApi> item, QObject* target, UpdateQueue& queue)
    : m_url(item),
      m_item(std::make_unique<MediaItem>(std::move(item))),
      m_target(target),
      m_queue(queue),
      m_context(std::make_unique<QObject>())
{
}

MyMediaItem::~MyMediaItem()
{
    // A subscription under way on the worker is not left to finish on a dead item.
    if (m_enumeration)
        m_enumeration->Cancel();
    try {
        Unsubscribe();
    } catch (...) {
        // Going away regardless; a module that cannot unsubscribe must not keep the view.
    }
    if (m_enumeration) {
        if (!m_enumeration->WaitForFinish(c_DestroyWaitMs))
            EnumerateContainer::Abandon(std::move(m_enumeration));
        m_enumeration.reset();
    }
}

void MyMediaItem::FillUpdateInfo(UpdateInfo&)
{
}

bool MyMediaItem::IsContainer()
{
    return m_item->IsContainer();
}

Container& MyMediaItem::Watched()
{
    if (!m_subscribed) {
        auto container = std::make_unique<Container>(m_url);
        container->SetChildAddedHandler(
            [this](const ApiRef<UrlApi>& child) { PostUpdate(ChildAdded, child, nullptr); });
        container->SetChildRemovedHandler(
            [this](const ApiRef<UrlApi>& child) { PostUpdate(ChildRemoved, child, nullptr); });
        container->SetChangedHandler([this](const ApiRef<UrlApi>& child) { OnChanged(child); });
        m_item = std::move(container);
        m_subscribed = true;
    }
    return static_cast<Container&>(*m_item);
}

void MyMediaItem::Subscribe()
{
    if (!IsContainer())
        return;
    if (m_enumeration)
        m_enumeration->WaitForFirstStep();
    Watched().Subscribe(0);
}

void MyMediaItem::Unsubscribe()
{
    if (m_enumeration)
        m_enumeration->WaitForFirstStep();
    if (m_subscribed)
        static_cast<Container&>(*m_item).Unsubscribe();
}

void MyMediaItem::SubscribeAndList()
{
    if (!IsContainer())
        return;
    if (m_enumeration) {
        // A listing already runs: it is served again after this one, subscribed by then.
        Subscribe();
        StartEnumeration();
        return;
    }
    Container& container = Watched();
    UpdateQueue* queue = &m_queue;
    m_enumeration = std::make_unique<EnumerateContainer>(
        m_url, [queue] { queue->Wake(); }, [&container] { container.Subscribe(0); }, ShowsContainersOnly());
}

void MyMediaItem::OnChanged(const ApiRef<UrlApi>& child)
{
    if (child) {
        PostUpdate(ChildChanged, child, nullptr);
        return;
    }
    // The whole container changed: list it again. The item's fields belong to the interface
    // thread, so a module's own thread hands the request over instead of starting it here.
    if (QThread::currentThread() == m_context->thread())
        StartEnumeration();
    else
        QMetaObject::invokeMethod(
            m_context.get(), [this] { StartEnumeration(); }, Qt::QueuedConnection);
}

void MyMediaItem::StartEnumeration()
{
    if (!IsContainer())
        return;
    if (m_enumeration) {
        m_refreshPending = true;
        return;
    }
    UpdateQueue* queue = &m_queue;
    m_enumeration = std::make_unique<EnumerateContainer>(
        m_url, [queue] { queue->Wake(); }, nullptr, ShowsContainersOnly());
}

bool MyMediaItem::AwaitEnumeration(std::chrono::milliseconds limit)
{
    return !m_enumeration || m_enumeration->AwaitFinish(limit);
}

void MyMediaItem::PostRefreshNotification()
{
    if (!m_enumeration || !m_enumeration->IsFinished())
        return;
    // Taken before the box: the box's own event loop runs the views' idle calls, which would
    // come here again for the same failure, one box over the other without end.
    const std::unique_ptr<EnumerateContainer> finished = std::move(m_enumeration);
    const std::exception_ptr subscribing = finished->TakeFirstStepFailure();
    if (std::unique_ptr<ChildList> children = finished->TakeChildren()) {
        m_listingFailure.clear();
        PostUpdate(Enumerated, m_url, std::move(children));
    } else {
        std::string text;
        const bool bFailed = finished->GetError(text);
        LUMO_ASSERT(bFailed);
        m_listingFailure = finished->FailureMessage();
        // The view may delete this item while the box is up.
        const QPointer<QObject> alive(m_context.get());
        const int answer = Platform::ShowMessageBox(text.c_str(),
            QCoreApplication::translate("MyMediaItem", "Enumeration Failure").toUtf8().constData(),
            Platform::MB_RETRYCANCEL | Platform::MB_ICONERROR);
        if (!alive)
            return;
        if (answer == Platform::IDRETRY)
            m_refreshPending = true;
    }
    if (m_refreshPending) {
        m_refreshPending = false;
        StartEnumeration();
    }
    if (subscribing)
        RaiseSubscribeFailure(subscribing);
}

std::string MyMediaItem::Property(const std::string& name)
{
    return m_item->Property(name);
}

void MyMediaItem::PostUpdate(uint8_t kind, ApiRef<UrlApi> item, std::unique_ptr<ChildList> children)
{
    auto info = std::make_unique<UpdateInfo>(kind, std::move(item), std::move(children));
    FillUpdateInfo(*info);
    m_queue.AddItem(m_target, std::move(info));
}

void WaitForEnumeration(MyMediaItem& item, const std::function<bool()>& idle)
{
    const auto deadline = std::chrono::steady_clock::now() + c_EnumerationWait;
    bool finished = false;
    while (item.HasEnumeration() && std::chrono::steady_clock::now() < deadline) {
        idle();
        if (!item.HasEnumeration())
            break;
        // Woken by the listing's end, so the node opens once its children are there; a finished
        // listing that idle did not collect is waited for at the old pace, not spun on.
        if (finished)
            std::this_thread::sleep_for(c_EnumerationRest);
        else
            finished = item.AwaitEnumeration(c_EnumerationRest);
    }
    while (!idle() && std::chrono::steady_clock::now() < deadline) { }
    QCoreApplication::processEvents();
}

void ListAndWatch(MyMediaItem& container)
{
    container.SubscribeAndList();
}
