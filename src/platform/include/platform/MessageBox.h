// The one message-box function of the program. The interface installs a handler that shows
// a real dialog; tests install one that answers from a script. Without a handler the text
// goes to standard error and the default button answers.
#pragma once

#include <cstdint>

namespace Platform {

// Button sets and flags, with the values of the platform's message-box styles.
constexpr uint32_t MB_OK = 0x0;
constexpr uint32_t MB_OKCANCEL = 0x1;
constexpr uint32_t MB_YESNOCANCEL = 0x3;
constexpr uint32_t MB_YESNO = 0x4;
constexpr uint32_t MB_RETRYCANCEL = 0x5;
constexpr uint32_t MB_TYPEMASK = 0xF;
constexpr uint32_t MB_ICONERROR = 0x10;
constexpr uint32_t MB_ICONQUESTION = 0x20;
constexpr uint32_t MB_ICONWARNING = 0x30;
constexpr uint32_t MB_ICONINFORMATION = 0x40;
constexpr uint32_t MB_ICONMASK = 0xF0;
constexpr uint32_t MB_DEFBUTTON2 = 0x100;
constexpr uint32_t MB_DEFBUTTON3 = 0x200;
constexpr uint32_t MB_DEFMASK = 0xF00;
constexpr uint32_t MB_TASKMODAL = 0x2000;
constexpr uint32_t MB_SETFOREGROUND = 0x10000;
constexpr uint32_t MB_TOPMOST = 0x40000;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

using MessageBoxHandler = int (*)(const char* text, const char* caption, uint32_t style);

// Shows a message box through the installed handler; any thread.
int ShowMessageBox(const char* text, const char* caption, uint32_t style);

// Installs handler (null: the standard-error fallback) and returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// True when a handler is installed, i.e. someone can actually answer.
bool HasMessageBoxHandler();

// The answer of the default button of style.
int DefaultButton(uint32_t style);

} // namespace Platform
