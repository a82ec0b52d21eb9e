#include "platform/Library.h"

#include <dirent.h>
#include <dlfcn.h>
#include <filesystem>
#include <fnmatch.h>
#include <link.h>

namespace Platform {

LibraryHandle LoadLibrary(const std::string& path)
{
    // The loader keeps the name it was given as the library's file name; a relative one would
    // name another file once the working folder changes. A bare name is left to the system's
    // search.
    if (path.find('/') == std::string::npos || path.front() == '/')
        return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(path, error).lexically_normal();
    return dlopen(error ? path.c_str() : full.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* GetProcAddress(LibraryHandle library, const char* name)
{
    return library ? dlsym(library, name) : nullptr;
}

void FreeLibrary(LibraryHandle library)
{
    if (library)
        dlclose(library);
}

std::string GetModuleFileName(LibraryHandle library)
{
    link_map* map = nullptr;
    if (!library || dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return std::string();
    return map->l_name;
}

std::vector<std::string> FindFiles(const std::string& pattern)
{
    std::vector<std::string> names;
    const size_t slash = pattern.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : pattern.substr(0, slash + 1);
    const std::string mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return names;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (fnmatch(mask.c_str(), name.c_str(), FNM_PERIOD) == 0)
            names.push_back(name);
    }
    closedir(dir);
    return names;
}

std::string LastLibraryError()
{
    const char* text = dlerror();
    return text ? text : "";
}

} // namespace Platform
