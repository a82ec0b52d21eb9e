#include "picker/EnumerateContainer.h"

#include <chrono>
#include <utility>

#include "common/Exceptions.h"
#include "host/MediaItem.h"
#include "platform/System.h"

using namespace LumoApi;

namespace {

std::atomic<int> g_running{0};

bool MayBeContainer(const ApiRef<UrlApi>& child)
{
    try {
        return MediaItem(child).IsContainer();
    } catch (...) {
        return true;
    }
}

} // namespace

EnumerateContainer::EnumerateContainer(
    ApiRef<UrlApi> item, std::function<void()> finished, std::function<void()> first, bool containersOnly)
    : m_item(std::move(item)),
      m_finishedHandler(std::move(finished)),
      m_first(std::move(first)),
      m_containersOnly(containersOnly),
      m_firstDone(!m_first),
      m_children(std::make_unique<ChildList>())
{
    ++g_running;
    m_thread = std::thread([this] { Run(); });
}

EnumerateContainer::~EnumerateContainer()
{
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_lock);
    m_container.reset();
    m_children.reset();
}

int EnumerateContainer::Running() noexcept
{
    return g_running.load();
}

void EnumerateContainer::Run()
{
    // Listing must never compete with the interface for the processor.
    Platform::IdleThisThread();
    if (m_first) {
        std::exception_ptr firstFailure;
        if (!m_terminate) {
            try {
                m_first();
            } catch (...) {
                firstFailure = std::current_exception();
            }
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_firstFailure = firstFailure;
        m_firstDone = true;
        m_firstDoneSignal.notify_all();
    }
    bool failed = false;
    std::string error;
    std::string message;
    try {
        auto container = std::make_unique<Container>(m_item);
        Container* listing = container.get();
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_container = std::move(container);
        }
        if (m_terminate)
            listing->Cancel();
        for (ApiRef<UrlApi> child = listing->GetFirst(); child && !m_terminate;) {
            if (!m_containersOnly || MayBeContainer(child)) {
                const char* text = child->GetText();
                m_children->push_back(text ? text : "");
            }
            if (m_terminate)
                break;
            child = listing->GetNext();
        }
    } catch (const WinErrorException& exception) {
        failed = true;
        message = exception.what();
        error = "(WinErrorException)" + message;
    } catch (const Exception& exception) {
        failed = true;
        message = exception.what();
        error = "(Exception)" + message;
    } catch (...) {
        failed = true;
        message = "Media item enumeration failed";
        error = "(GeneralException)" + message;
    }

    bool abandoned = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_failed = failed;
        m_errorText = std::move(error);
        m_failureMessage = std::move(message);
        m_finished = true;
        abandoned = m_abandoned;
        m_finishedSignal.notify_all();
    }
    if (abandoned) {
        delete this;
    } else if (m_finishedHandler) {
        m_finishedHandler();
    }
    --g_running;
}

bool EnumerateContainer::IsFinished()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_finished;
}

void EnumerateContainer::WaitForFirstStep()
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_firstDoneSignal.wait(lock, [this] { return m_firstDone; });
}

std::exception_ptr EnumerateContainer::TakeFirstStepFailure()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return std::exchange(m_firstFailure, nullptr);
}

std::unique_ptr<ChildList> EnumerateContainer::TakeChildren()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_failed)
        m_children.reset();
    return std::move(m_children);
}

bool EnumerateContainer::GetError(std::string& text)
{
    std::lock_guard<std::mutex> lock(m_lock);
    text = m_errorText + " during step: " + m_stepText;
    return m_failed;
}

std::string EnumerateContainer::FailureMessage()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_failureMessage;
}

void EnumerateContainer::Cancel()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_container)
        m_container->Cancel();
    m_terminate = true;
}

bool EnumerateContainer::WaitForFinish(uint32_t milliseconds)
{
    Cancel();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!IsFinished() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return IsFinished();
}

bool EnumerateContainer::AwaitFinish(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_finishedSignal.wait_for(lock, limit, [this] { return m_finished; });
}

void EnumerateContainer::Abandon(std::unique_ptr<EnumerateContainer> enumeration)
{
    EnumerateContainer* raw = enumeration.release();
    bool finished = false;
    {
        std::lock_guard<std::mutex> lock(raw->m_lock);
        finished = raw->m_finished;
        raw->m_abandoned = !finished;
        if (!finished)
            raw->m_thread.detach();
    }
    // It finished after all: nobody is left to delete it but us.
    if (finished)
        delete raw;
}
