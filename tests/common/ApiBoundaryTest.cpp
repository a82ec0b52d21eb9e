#include <new>
#include <stdexcept>

#include <gtest/gtest.h>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/ApiBoundary.h"
#include "common/Assert.h"
#include "common/Exceptions.h"

using namespace LumoApi;

namespace {

struct Outcome {
    int32_t result;
    uint32_t lastError;
};

// An operation with an int result whose body raises what raise raises.
template <class Raise>
Outcome RunInt(Raise raise)
{
    LumoSetLastError(ERROR_SUCCESS);
    const int32_t result = ApiBoundary(0, [&]() -> int32_t {
        raise();
        return 1;
    });
    return {result, LumoGetLastError()};
}

} // namespace

TEST(ApiBoundary, ExceptionsBecomeFailureAndLastError)
{
    struct Case {
        const char* name;
        void (*raise)();
        uint32_t code;
    };
    const Case cases[] = {
        {"win error", [] { ThrowWinError(ERROR_NOT_FOUND); }, ERROR_NOT_FOUND},
        {"bad_alloc", [] { throw std::bad_alloc(); }, ERROR_NOT_ENOUGH_MEMORY},
        {"library out of memory", [] { throw OutOfMemoryError("oom"); }, ERROR_NOT_ENOUGH_MEMORY},
        {"range", [] { throw RangeError("range"); }, ERROR_INVALID_INDEX},
        {"assertion", [] { throw LumoAssertException(); }, ERROR_INTERNAL_ERROR},
        {"standard", [] { throw std::runtime_error("x"); }, ERROR_INTERNAL_ERROR},
        {"int", [] { throw 42; }, ERROR_INTERNAL_ERROR},
    };
    for (const Case& test : cases) {
        const Outcome outcome = RunInt(test.raise);
        EXPECT_EQ(outcome.result, 0) << test.name;
        EXPECT_EQ(outcome.lastError, test.code) << test.name;
    }
}

TEST(ApiBoundary, SuccessKeepsResultAndTheBodysLastError)
{
    const Outcome cleared = RunInt([] { LumoSetLastError(ERROR_NO_MORE_ITEMS); });
    EXPECT_EQ(cleared.result, 1);
    EXPECT_EQ(cleared.lastError, ERROR_NO_MORE_ITEMS);

    LumoSetLastError(ERROR_CANTREAD);
    EXPECT_EQ(ApiBoundary(0, [] { return 5; }), 5);
    EXPECT_EQ(LumoGetLastError(), ERROR_CANTREAD);
}

TEST(ApiBoundary, PointerAndBooleanFailures)
{
    static int value = 3;
    EXPECT_EQ(ApiBoundary(nullptr, []() -> int* { ThrowWinError(ERROR_INVALID_PARAMETER); }), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ApiBoundary(nullptr, []() -> int* { return &value; }), &value);
    EXPECT_FALSE(ApiBoundary(false, []() -> bool { throw ListIndexError("index"); }));
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_INDEX);
}

TEST(ApiBoundary, VoidOperations)
{
    LumoSetLastError(ERROR_SUCCESS);
    ApiBoundaryVoid([] { throw InvalidPointerError("ptr"); });
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_DATA);
    bool ran = false;
    ApiBoundaryVoid([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_DATA);
}

TEST(ApiBoundary, FailedAssertionInsideAnOperation)
{
    // What the test environment answers anyway; set here so the test stands alone.
    setenv("LUMO_ASSERT", "recover", 1);
    const Outcome outcome = RunInt([] { LUMO_ASSERT(1 > 2); });
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.lastError, ERROR_INTERNAL_ERROR);
}
