#include "Assert.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/Exceptions.h"
#include "platform/MessageBox.h"

namespace {

// Per thread: AssertEnd reads the answer AssertFailed stored on the same thread, so a check
// failing on another thread at the same moment cannot swap the two answers.
thread_local AssertResult t_lastResult = AssertResult::Ignore;

AssertResult AnswerFromEnvironment()
{
    const char* answer = std::getenv("LUMO_ASSERT");
    if (!answer)
        return AssertResult::Recover;
    if (std::strcmp(answer, "ignore") == 0)
        return AssertResult::Ignore;
    if (std::strcmp(answer, "break") == 0)
        return AssertResult::BreakAndRecover;
    return AssertResult::Recover;
}

AssertResult AssertionDialog(const char* condition, const char* function, const char* location, int line)
{
    const std::string text = AssertionText(condition, function, location, line);
    if (!Platform::HasMessageBoxHandler()) {
        std::fprintf(stderr, "Assertion Failure: %s\n", text.c_str());
        std::fflush(stderr);
        return AnswerFromEnvironment();
    }
    using namespace Platform;
    const uint32_t style = MB_YESNOCANCEL | MB_ICONERROR | MB_DEFBUTTON2 | MB_TASKMODAL | MB_TOPMOST;
    switch (ShowMessageBox(text.c_str(), "Assertion Failure", style)) {
    case IDYES:
        return AssertResult::BreakAndRecover;
    case IDCANCEL:
        return AssertResult::Ignore;
    default:
        return AssertResult::Recover;
    }
}

} // namespace

std::string AssertionText(const char* condition, const char* function, const char* location, int line)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%d", line);
    return std::string("Condition: ") + condition + "\nFunction: " + function + "\nLocation: " + location + ", "
        + buffer + "\n\nBreak into debugger?";
}

std::string QualifiedFunctionName(const char* prettyFunction)
{
    std::string text = prettyFunction ? prettyFunction : "";
    if (size_t with = text.find(" [with "); with != std::string::npos)
        text.erase(with);
    // Inside a lambda, name the function that holds it: "Outer::Run(int)::<lambda()>".
    if (size_t lambda = text.find("::<lambda"); lambda != std::string::npos)
        text.erase(lambda);
    // The parameter list is the last balanced "(...)"; what stands before it is the name.
    size_t end = text.size();
    if (end > 0 && text[end - 1] != ')') {
        // Trailing qualifiers such as " const" or " noexcept".
        end = text.rfind(')');
        end = end == std::string::npos ? text.size() : end + 1;
    }
    if (end > 0 && text[end - 1] == ')') {
        int depth = 0;
        size_t i = end;
        while (i > 0) {
            --i;
            if (text[i] == ')')
                ++depth;
            else if (text[i] == '(' && --depth == 0)
                break;
        }
        end = i;
    }
    // The name begins after the last space outside template brackets (the return type). An
    // operator name ("operator<", "operator()") is taken whole.
    size_t scanFrom = end;
    if (size_t op = text.rfind("operator", end); op != std::string::npos && (op == 0 || text[op - 1] == ':'))
        scanFrom = op;
    size_t begin = 0;
    int angle = 0;
    for (size_t i = scanFrom; i > 0; --i) {
        const char c = text[i - 1];
        if (c == '>')
            ++angle;
        else if (c == '<' && angle > 0)
            --angle;
        else if (c == ' ' && angle == 0) {
            begin = i;
            break;
        }
    }
    text = text.substr(begin, end - begin);
    while (!text.empty() && (text[0] == '*' || text[0] == '&'))
        text.erase(0, 1);
    return text;
}

std::string SourceLocationName(const char* file)
{
    std::string text = file ? file : "";
    const size_t slash = text.rfind('/');
    const size_t dot = text.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        text.erase(dot);
    return text;
}

bool AssertFailed(const char* condition, const char* prettyFunction, const char* file, int line)
{
    const uint32_t saved = LumoGetLastError();
    const std::string function = QualifiedFunctionName(prettyFunction);
    const std::string location = SourceLocationName(file);
    t_lastResult = AssertionDialog(condition, function.c_str(), location.c_str(), line);
    LumoSetLastError(saved);
    return t_lastResult == AssertResult::Break || t_lastResult == AssertResult::BreakAndRecover;
}

void AssertEnd()
{
    if (t_lastResult == AssertResult::Recover || t_lastResult == AssertResult::BreakAndRecover)
        throw LumoAssertException();
}

void DebugBreak()
{
    std::raise(SIGTRAP);
}
