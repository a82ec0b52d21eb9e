// What the views of a media page share: running a handler so that nothing it raises crosses
// Qt's event loop, and the text key of an item reference.
#pragma once

#include <exception>
#include <string>

#include <lumo/Url.h>

#include "platform/MessageBox.h"

// An exception must never cross the event loop; the view shows it and stays as it was.
template <class Work>
void Guarded(Work&& work)
{
    try {
        work();
    } catch (const std::exception& error) {
        Platform::ShowMessageBox(error.what(), "Lumo Publisher", Platform::MB_OK | Platform::MB_ICONERROR);
    } catch (...) {
        Platform::ShowMessageBox("Unknown exception", "Lumo Publisher", Platform::MB_OK | Platform::MB_ICONERROR);
    }
}

// "" for none.
inline std::string TextOf(LumoApi::UrlApi* url)
{
    const char* text = url ? url->GetText() : nullptr;
    return text ? text : "";
}
