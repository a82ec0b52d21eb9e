// The program's exceptions and their conversion to the error codes that cross the plug-in
// boundary.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

// Base of the program's own exceptions; holds the message text.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : m_message(std::move(message)) { }
    const char* what() const noexcept override { return m_message.c_str(); }
    const std::string& Message() const noexcept { return m_message; }

private:
    std::string m_message;
};

// A failure carrying a system error code; its message is the system's text for the code, after
// the subject ("<subject>: <text>") when the failure names what it concerns (a file's path).
class WinErrorException : public Exception {
public:
    explicit WinErrorException(uint32_t code, std::string subject = std::string());
    uint32_t ErrorCode() const noexcept { return m_code; }
    const std::string& Subject() const noexcept { return m_subject; }

private:
    uint32_t m_code;
    std::string m_subject;
};

// Raised when the user chose to recover from a failed assertion.
class LumoAssertException : public Exception {
public:
    LumoAssertException();
};

// Counterparts of the toolkit's exception kinds; each maps to its own error code.
class ConvertError : public Exception {
    using Exception::Exception;
};
class InvalidPointerError : public Exception {
    using Exception::Exception;
};
class RangeError : public Exception {
    using Exception::Exception;
};
class ListIndexError : public Exception {
    using Exception::Exception;
};
class AccessViolationError : public Exception {
    using Exception::Exception;
};
class OutOfMemoryError : public Exception {
    using Exception::Exception;
};

// The system's text for code: trailing line break and full stop removed;
// "An unknown error has occurred" for a code without text.
std::string FormatSystemMessage(uint32_t code);

[[noreturn]] void ThrowWinError(uint32_t code);

// Raises the calling thread's last error (1359 when it is 0), with its subject.
[[noreturn]] void ThrowLastError();

// The error code that stands for a caught exception.
uint32_t ErrorCodeFromException(const Exception& error) noexcept;
