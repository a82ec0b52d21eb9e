// Shared-library loading and the wildcard file search the module loader uses.
#pragma once

#include <string>
#include <vector>

namespace Platform {

using LibraryHandle = void*;

// Loads the library at path (dlopen, symbols bound now, kept local). A second load of the same
// file, under any name, answers the same handle and raises its load count. A relative path is
// made absolute first, so GetModuleFileName answers a full name. Null on failure.
LibraryHandle LoadLibrary(const std::string& path);

// The address of an exported symbol, or null.
void* GetProcAddress(LibraryHandle library, const char* name);

// Drops one load of the library.
void FreeLibrary(LibraryHandle library);

// The full file name of a loaded library; empty when unknown.
std::string GetModuleFileName(LibraryHandle library);

// The names (not paths) of the entries of the pattern's folder that match its last component
// ("/opt/lumo/*.so"), in directory order, "." and ".." left out. No attribute filtering.
std::vector<std::string> FindFiles(const std::string& pattern);

// The last dlopen / dlsym error text, for logs.
std::string LastLibraryError();

} // namespace Platform
