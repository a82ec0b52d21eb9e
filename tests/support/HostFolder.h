// A program folder with the disk cache module and the in-memory media module, enough for a
// real host, and the fixture's steering functions.
#pragma once

#include <dlfcn.h>

#include "support/ModuleFolder.h"

class HostFolder : public ModuleFolder {
public:
    HostFolder()
    {
        AddProgramModule("lumo-cache");
        m_mediaPath = Add("fixture_media");
    }

    // A function the loaded media fixture exports; null when it is not loaded.
    template <class Function>
    Function MediaFunction(const char* name) const
    {
        void* handle = dlopen(m_mediaPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!handle)
            return nullptr;
        void* symbol = dlsym(handle, name);
        dlclose(handle);
        return reinterpret_cast<Function>(symbol);
    }

private:
    std::string m_mediaPath;
};
