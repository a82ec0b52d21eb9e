// What reaches the caller of a guarded operation: the failure's code and subject as the last
// error, the fallback as the result, and nothing thrown.
#include <new>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "support/BoundaryGuard.h"

using namespace LumoApi;
using LumoModules::Guard;
using LumoModules::ModuleError;

TEST(BoundaryGuard, TurnsEveryFailureIntoTheFallbackAndALastError)
{
    LumoSetLastError(0);
    EXPECT_EQ(Guard(7, [] { return 3; }), 3);
    EXPECT_EQ(LumoGetLastError(), 0u);

    EXPECT_EQ(Guard(-1, []() -> int { throw ModuleError(ERROR_SHARING_VIOLATION, "/data/Published.db"); }), -1);
    EXPECT_EQ(LumoGetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_STREQ(LumoGetLastErrorSubject(), "/data/Published.db");

    // A library's words are for the log, never the subject the host's message names.
    EXPECT_EQ(Guard(0, []() -> int { throw ModuleError(ERROR_INVALID_DATA, "", "bad Huffman table"); }), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_DATA);
    EXPECT_STREQ(LumoGetLastErrorSubject(), "");

    EXPECT_EQ(Guard(0, []() -> int { throw std::bad_alloc(); }), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Guard(0, []() -> int { throw std::runtime_error("anything"); }), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INTERNAL_ERROR);
    EXPECT_EQ(Guard(0, []() -> int { throw 42; }), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INTERNAL_ERROR);
}

TEST(BoundaryGuard, ThrowLastErrorPassesOnWhatACallLeft)
{
    LumoSetLastError(ERROR_DISK_FULL);
    LumoSetLastErrorSubject("/cache/blocks");
    try {
        LumoModules::ThrowLastError();
        FAIL() << "nothing thrown";
    } catch (const ModuleError& error) {
        EXPECT_EQ(error.Code(), ERROR_DISK_FULL);
        EXPECT_EQ(error.Subject(), "/cache/blocks");
    }
    // A call that failed without saying why is still a failure.
    LumoSetLastError(0);
    try {
        LumoModules::ThrowLastError();
        FAIL() << "nothing thrown";
    } catch (const ModuleError& error) {
        EXPECT_EQ(error.Code(), ERROR_INTERNAL_ERROR);
        EXPECT_EQ(error.Subject(), "");
    }
}
