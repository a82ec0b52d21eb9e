// The hourglass on X11, drawn from the watchdog thread through a connection of our own: Qt's
// connection belongs to the interface thread, which is the one that is stuck.
#include "app/BusyIndicator.h"

#include <cstdlib>
#include <mutex>

#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcb_cursor.h>

namespace {

// Covers each of our windows with an input-only child that carries the wait cursor and takes
// the clicks. Unlike a pointer grab it leaves other programs usable, and a program that never
// recovers does not hold the desktop's pointer.
class XcbBusyIndicator final : public BusyIndicator {
public:
    static std::unique_ptr<BusyIndicator> Connect()
    {
        int screenNumber = 0;
        xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(connection)) {
            xcb_disconnect(connection);
            return nullptr;
        }
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && screens.rem; ++i)
            xcb_screen_next(&screens);
        if (!screens.rem) {
            xcb_disconnect(connection);
            return nullptr;
        }
        return std::unique_ptr<BusyIndicator>(new XcbBusyIndicator(connection, screens.data));
    }

    ~XcbBusyIndicator() override
    {
        Hide();
        if (m_watchCursor != XCB_CURSOR_NONE)
            xcb_free_cursor(m_connection, m_watchCursor);
        xcb_disconnect(m_connection);
    }

    void SetWindows(std::vector<uint64_t> windowIds) override
    {
        std::lock_guard<std::mutex> lock(m_windowsLock);
        m_windows = std::move(windowIds);
    }

    void Show() override
    {
        std::vector<uint64_t> windows;
        {
            std::lock_guard<std::mutex> lock(m_windowsLock);
            windows = m_windows;
        }
        // Values in the order of their mask bits. Selecting the button events makes them ours,
        // so they neither reach the window below nor wait in Qt's queue.
        const uint32_t mask = XCB_CW_EVENT_MASK | XCB_CW_CURSOR;
        const uint32_t values[] = {XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE, m_watchCursor};
        for (uint64_t window : windows) {
            const xcb_window_t cover = xcb_generate_id(m_connection);
            // A window closed since the last heartbeat only earns an error event, dropped below.
            xcb_create_window(m_connection, 0, cover, static_cast<xcb_window_t>(window), 0, 0, 32767, 32767, 0,
                XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, mask, values);
            xcb_map_window(m_connection, cover);
            m_covers.push_back(cover);
        }
        xcb_flush(m_connection);
    }

    void Hide() override
    {
        for (xcb_window_t cover : m_covers)
            xcb_destroy_window(m_connection, cover);
        m_covers.clear();
        xcb_flush(m_connection);
        DiscardEvents();
    }

    bool PointerCaptured() override
    {
        DiscardEvents();
        xcb_query_pointer_reply_t* reply
            = xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr);
        if (!reply)
            return false;
        const uint16_t buttons = XCB_KEY_BUT_MASK_BUTTON_1 | XCB_KEY_BUT_MASK_BUTTON_2 | XCB_KEY_BUT_MASK_BUTTON_3
            | XCB_KEY_BUT_MASK_BUTTON_4 | XCB_KEY_BUT_MASK_BUTTON_5;
        const bool captured = (reply->mask & buttons) != 0;
        std::free(reply);
        return captured;
    }

private:
    XcbBusyIndicator(xcb_connection_t* connection, xcb_screen_t* screen)
        : m_connection(connection), m_root(screen->root)
    {
        // The theme's wait cursor; the library falls back to the core cursor font without one.
        xcb_cursor_context_t* context = nullptr;
        if (xcb_cursor_context_new(m_connection, screen, &context) >= 0) {
            m_watchCursor = xcb_cursor_load_cursor(context, "watch");
            xcb_cursor_context_free(context);
        }
    }

    // Swallowed clicks and errors about vanished windows: nothing here needs them.
    void DiscardEvents()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection))
            std::free(event);
    }

    xcb_connection_t* const m_connection;
    const xcb_window_t m_root;
    xcb_cursor_t m_watchCursor = XCB_CURSOR_NONE;
    // Guards m_windows, written by the heartbeat and read by Show on the watchdog thread.
    std::mutex m_windowsLock;
    std::vector<uint64_t> m_windows;
    // Only Show and Hide touch it, and BusyWatch never runs them at the same time.
    std::vector<xcb_window_t> m_covers;
};

} // namespace

std::unique_ptr<BusyIndicator> CreateBusyIndicator()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        if (std::unique_ptr<BusyIndicator> indicator = XcbBusyIndicator::Connect())
            return indicator;
    }
    return std::make_unique<QuietBusyIndicator>();
}
