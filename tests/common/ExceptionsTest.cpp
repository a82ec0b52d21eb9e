#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/Exceptions.h"

using namespace LumoApi;

TEST(FormatSystemMessage, TextWithoutFullStopOrLineBreak)
{
    EXPECT_EQ(FormatSystemMessage(ERROR_NOT_FOUND), "Element not found");
    EXPECT_EQ(FormatSystemMessage(ERROR_INTERNAL_ERROR), "An internal error occurred");
    EXPECT_EQ(FormatSystemMessage(ERROR_INVALID_PARAMETER), "The parameter is incorrect");
    for (uint32_t code : {ERROR_SUCCESS, ERROR_INVALID_FUNCTION, ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_DATA,
             ERROR_NO_MORE_ITEMS, ERROR_INVALID_ADDRESS, ERROR_CANTREAD, ERROR_CANTWRITE, ERROR_ALREADY_INITIALIZED,
             ERROR_INVALID_INDEX, ERROR_DATATYPE_MISMATCH, ERROR_UNSUPPORTED_TYPE}) {
        const std::string text = FormatSystemMessage(code);
        SCOPED_TRACE(code);
        EXPECT_FALSE(text.empty());
        EXPECT_NE(text, "An unknown error has occurred");
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
        EXPECT_NE(text.back(), '.');
    }
}

TEST(FormatSystemMessage, UnknownCode)
{
    EXPECT_EQ(FormatSystemMessage(0xDEADu), "An unknown error has occurred");
    EXPECT_EQ(FormatSystemMessage(0xFFFFFFFFu), "An unknown error has occurred");
}

TEST(WinErrorException, CarriesCodeAndSystemText)
{
    try {
        ThrowWinError(ERROR_NOT_FOUND);
        FAIL() << "ThrowWinError returned";
    } catch (const Exception& error) {
        const auto* winError = dynamic_cast<const WinErrorException*>(&error);
        ASSERT_NE(winError, nullptr);
        EXPECT_EQ(winError->ErrorCode(), ERROR_NOT_FOUND);
        EXPECT_STREQ(error.what(), "Element not found");
        const WinErrorException copy(*winError);
        EXPECT_EQ(copy.ErrorCode(), ERROR_NOT_FOUND);
        EXPECT_EQ(copy.Message(), "Element not found");
    }
}

namespace {

template <class Raise>
uint32_t RaisedCode(Raise raise)
{
    try {
        raise();
    } catch (const WinErrorException& error) {
        return error.ErrorCode();
    }
    ADD_FAILURE() << "nothing was raised";
    return 0xFFFFFFFFu;
}

} // namespace

TEST(ThrowLastError, RaisesTheThreadsLastErrorButNeverZero)
{
    LumoSetLastError(ERROR_CANTREAD);
    EXPECT_EQ(RaisedCode(ThrowLastError), ERROR_CANTREAD);
    LumoSetLastError(ERROR_SUCCESS);
    EXPECT_EQ(RaisedCode(ThrowLastError), ERROR_INTERNAL_ERROR);
}

TEST(ErrorCodeFromException, Table)
{
    struct Case {
        const char* name;
        std::shared_ptr<Exception> error;
        uint32_t code;
    };
    const Case cases[] = {
        {"win error", std::make_shared<WinErrorException>(ERROR_CANTWRITE), ERROR_CANTWRITE},
        {"out of memory", std::make_shared<OutOfMemoryError>("oom"), ERROR_NOT_ENOUGH_MEMORY},
        {"access violation", std::make_shared<AccessViolationError>("av"), ERROR_INVALID_ADDRESS},
        {"convert", std::make_shared<ConvertError>("conv"), ERROR_INVALID_DATA},
        {"invalid pointer", std::make_shared<InvalidPointerError>("ptr"), ERROR_INVALID_DATA},
        {"range", std::make_shared<RangeError>("range"), ERROR_INVALID_INDEX},
        {"list index", std::make_shared<ListIndexError>("index"), ERROR_INVALID_INDEX},
        {"assertion", std::make_shared<LumoAssertException>(), ERROR_INTERNAL_ERROR},
        {"plain", std::make_shared<Exception>("plain"), ERROR_INTERNAL_ERROR},
    };
    for (const Case& test : cases)
        EXPECT_EQ(ErrorCodeFromException(*test.error), test.code) << test.name;
}

TEST(LumoAssertException, RecoveryText)
{
    EXPECT_STREQ(LumoAssertException().what(),
        "The program has successfully recovered from the last assertion failure.  However, it may also now be in an "
        "unstable state.  You should save your work and exit as soon as possible.");
}
