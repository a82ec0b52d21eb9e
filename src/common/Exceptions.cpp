#include "Exceptions.h"

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "platform/SystemMessage.h"

using namespace LumoApi;

WinErrorException::WinErrorException(uint32_t code, std::string subject)
    : Exception(subject.empty() ? FormatSystemMessage(code) : subject + ": " + FormatSystemMessage(code)),
      m_code(code),
      m_subject(std::move(subject))
{
}

LumoAssertException::LumoAssertException()
    : Exception("The program has successfully recovered from the last assertion failure.  However, it may "
                "also now be in an unstable state.  You should save your work and exit as soon as possible.")
{
}

std::string FormatSystemMessage(uint32_t code)
{
    const char* raw = Platform::SystemMessageText(code);
    std::string text = raw ? raw : "";
    if (text.empty())
        text = "An unknown error has occurred";
    if (size_t cr = text.rfind('\r'); cr != std::string::npos)
        text.erase(cr);
    if (size_t lf = text.rfind('\n'); lf != std::string::npos)
        text.erase(lf);
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

void ThrowWinError(uint32_t code)
{
    throw WinErrorException(code);
}

void ThrowLastError()
{
    const uint32_t code = LumoGetLastError();
    if (code == ERROR_SUCCESS)
        ThrowWinError(ERROR_INTERNAL_ERROR);
    throw WinErrorException(code, LumoGetLastErrorSubject());
}

uint32_t ErrorCodeFromException(const Exception& error) noexcept
{
    if (auto* winError = dynamic_cast<const WinErrorException*>(&error))
        return winError->ErrorCode();
    if (dynamic_cast<const OutOfMemoryError*>(&error))
        return ERROR_NOT_ENOUGH_MEMORY;
    if (dynamic_cast<const AccessViolationError*>(&error))
        return ERROR_INVALID_ADDRESS;
    if (dynamic_cast<const ConvertError*>(&error) || dynamic_cast<const InvalidPointerError*>(&error))
        return ERROR_INVALID_DATA;
    if (dynamic_cast<const RangeError*>(&error) || dynamic_cast<const ListIndexError*>(&error))
        return ERROR_INVALID_INDEX;
    return ERROR_INTERNAL_ERROR;
}
