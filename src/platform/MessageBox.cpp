#include "platform/MessageBox.h"

#include <atomic>
#include <cstdio>

namespace Platform {

namespace {

std::atomic<MessageBoxHandler> g_handler{nullptr};

} // namespace

int DefaultButton(uint32_t style)
{
    int buttons[3] = {IDOK, 0, 0};
    switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL:
        buttons[1] = IDCANCEL;
        break;
    case MB_YESNOCANCEL:
        buttons[0] = IDYES, buttons[1] = IDNO, buttons[2] = IDCANCEL;
        break;
    case MB_YESNO:
        buttons[0] = IDYES, buttons[1] = IDNO;
        break;
    case MB_RETRYCANCEL:
        buttons[0] = IDRETRY, buttons[1] = IDCANCEL;
        break;
    default:
        break;
    }
    const unsigned index = (style & MB_DEFMASK) >> 8;
    if (index < 3 && buttons[index] != 0)
        return buttons[index];
    return buttons[0];
}

int ShowMessageBox(const char* text, const char* caption, uint32_t style)
{
    if (MessageBoxHandler handler = g_handler.load())
        return handler(text ? text : "", caption ? caption : "", style);
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    std::fflush(stderr);
    return DefaultButton(style);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    return g_handler.exchange(handler);
}

bool HasMessageBoxHandler()
{
    return g_handler.load() != nullptr;
}

} // namespace Platform
