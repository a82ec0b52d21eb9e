// Lists a container's children on a worker thread of the lowest priority. The worker never
// touches a view or an item: it works on its own copy of the reference and its own Container,
// and the interface thread collects the result once finished.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <lumo/Api.h>
#include <lumo/Url.h>

#include "picker/UpdateInfo.h"

class Container;

class EnumerateContainer {
public:
    // Starts the worker at once. first, when given, runs on the worker before the listing (unless
    // cancelled before), and what it raises is kept while the listing goes on. finished is
    // called on the worker's thread when it is done (successfully or not), after the result
    // can be collected. With containersOnly, children that are no containers are left out on
    // the worker, while the URL the listing handed over still carries what the listing saw of
    // the file; a child that cannot be judged is kept for the caller to judge.
    explicit EnumerateContainer(LumoApi::ApiRef<LumoApi::UrlApi> item, std::function<void()> finished = {},
        std::function<void()> first = {}, bool containersOnly = false);
    // Only once the worker finished, or through Abandon.
    ~EnumerateContainer();
    EnumerateContainer(const EnumerateContainer&) = delete;
    EnumerateContainer& operator=(const EnumerateContainer&) = delete;

    bool IsFinished();
    // Blocks until first has run or was skipped; at once when there was none.
    void WaitForFirstStep();
    // What first raised; null when nothing.
    std::exception_ptr TakeFirstStepFailure();
    // The children found, or none when the enumeration failed; the caller owns them.
    std::unique_ptr<ChildList> TakeChildren();
    // Fills text with "ERROR during step: STEP"; answers whether the enumeration failed.
    bool GetError(std::string& text);
    // What the failure said, without its kind and step; "" when none.
    std::string FailureMessage();
    // Asks the worker and its container to stop; a stopped listing is never delivered.
    void Cancel();
    // Cancels, then waits until finished or milliseconds passed; answers IsFinished.
    bool WaitForFinish(uint32_t milliseconds);
    // Waits, without cancelling, until finished or limit passed; answers IsFinished.
    bool AwaitFinish(std::chrono::milliseconds limit);

    // Leaves a worker that did not stop in time running; it deletes itself when it finishes.
    static void Abandon(std::unique_ptr<EnumerateContainer> enumeration);
    // Workers that have not finished or deleted themselves: for tests and shutdown.
    static int Running() noexcept;

private:
    void Run();

    const LumoApi::ApiRef<LumoApi::UrlApi> m_item;
    const std::function<void()> m_finishedHandler;
    const std::function<void()> m_first;
    const bool m_containersOnly;
    std::atomic<bool> m_terminate{false};
    // Guards the fields below against the interface thread.
    std::mutex m_lock;
    std::unique_ptr<Container> m_container;
    bool m_failed = false;
    bool m_finished = false;
    bool m_abandoned = false;
    bool m_firstDone = false;
    std::exception_ptr m_firstFailure;
    std::condition_variable m_firstDoneSignal;
    std::condition_variable m_finishedSignal;
    std::string m_errorText;
    std::string m_failureMessage;
    // No step ever names itself; kept for the failure text's form.
    std::string m_stepText;
    // Appended by the worker without the lock: handed out only after m_finished.
    std::unique_ptr<ChildList> m_children;
    std::thread m_thread;
};
