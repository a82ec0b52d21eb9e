// Soft assertions. A failed check shows the "Assertion Failure" dialog naming the condition,
// the qualified function and the source; the answer decides: continue, break into the
// debugger, or recover by raising LumoAssertException. Without a desktop the text goes to
// standard error and $LUMO_ASSERT answers: "ignore", "recover" (the default) or "break".
#pragma once

#include <cstdint>
#include <string>

#include <lumo/Platform.h>

enum class AssertResult : uint8_t {
    Ignore = 0,
    Break = 1,
    Recover = 2,
    BreakAndRecover = 3,
};

// Shows the failure and remembers the answer for AssertEnd; keeps the caller's last error.
// prettyFunction and file are the compiler's spellings; they are shortened for people.
// True when the caller should break into the debugger.
bool AssertFailed(const char* condition, const char* prettyFunction, const char* file, int line);

// Ends a failed check: raises LumoAssertException when the answer was to recover.
void AssertEnd();

// "ModuleGroup::Initialize" from "void ModuleGroup::Initialize()".
std::string QualifiedFunctionName(const char* prettyFunction);

// "src/host/ModuleGroup" from "src/host/ModuleGroup.cpp".
std::string SourceLocationName(const char* file);

// The text the assertion dialog shows.
std::string AssertionText(const char* condition, const char* function, const char* location, int line);

void DebugBreak();

// Every check first sets last error 1359, whether it passes or not.
#define LUMO_ASSERT(condition)                                                                                         \
    do {                                                                                                               \
        LumoSetLastError(1359);                                                                                        \
        if (!(condition)) {                                                                                            \
            if (AssertFailed(#condition, __PRETTY_FUNCTION__, __FILE__, __LINE__))                                     \
                DebugBreak();                                                                                          \
            AssertEnd();                                                                                               \
        }                                                                                                              \
    } while (0)
