#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/Assert.h"
#include "common/Exceptions.h"
#include "platform/MessageBox.h"

using namespace LumoApi;

// Real functions of each shape, so the names come from the compiler as they will in the
// program. Outside the anonymous namespace so they are named as ordinary code is.
struct Outer {
    static inline int s_checkLine = 0;
    static void Method(bool condition)
    {
        s_checkLine = __LINE__ + 1;
        LUMO_ASSERT(condition);
    }
    bool operator<(const Outer&) const
    {
        LUMO_ASSERT(false);
        return false;
    }
    void operator()() const { LUMO_ASSERT(false); }
    template <class T>
    static T Templated(T value)
    {
        LUMO_ASSERT(value == T());
        return value;
    }
    struct Inner {
        const char* Nested() const
        {
            LUMO_ASSERT(1 + 1 == 3);
            return "";
        }
    };
    void WithLambda(int count)
    {
        auto body = [count] { LUMO_ASSERT(count < 0); };
        body();
    }
};

template <class T>
struct Box {
    T Get() const
    {
        LUMO_ASSERT(!"empty box");
        return T();
    }
};

namespace {

// What the scripted message box saw and answers.
struct Script {
    int answer = Platform::IDCANCEL;
    // Set inside the "dialog", to prove the check restores its own code afterwards.
    uint32_t lastErrorInDialog = ERROR_NOT_FOUND;
    std::vector<std::string> texts;
    std::vector<std::string> captions;
    std::vector<uint32_t> styles;
};
Script* g_script = nullptr;

int ScriptedMessageBox(const char* text, const char* caption, uint32_t style)
{
    g_script->texts.push_back(text);
    g_script->captions.push_back(caption);
    g_script->styles.push_back(style);
    LumoSetLastError(g_script->lastErrorInDialog);
    return g_script->answer;
}

class AssertDialog : public testing::Test {
protected:
    void SetUp() override
    {
        g_script = &m_script;
        m_previous = Platform::SetMessageBoxHandler(ScriptedMessageBox);
    }
    void TearDown() override
    {
        Platform::SetMessageBoxHandler(m_previous);
        g_script = nullptr;
    }

    Script m_script;
    Platform::MessageBoxHandler m_previous = nullptr;
};

std::string FunctionLine(const std::string& text)
{
    const size_t begin = text.find("Function: ");
    const size_t end = text.find('\n', begin);
    return begin == std::string::npos ? std::string() : text.substr(begin + 10, end - begin - 10);
}

class ScopedAssertAnswer {
public:
    explicit ScopedAssertAnswer(const char* answer)
    {
        if (const char* previous = std::getenv("LUMO_ASSERT"))
            m_previous = previous;
        if (answer)
            setenv("LUMO_ASSERT", answer, 1);
        else
            unsetenv("LUMO_ASSERT");
    }
    ~ScopedAssertAnswer()
    {
        if (m_previous)
            setenv("LUMO_ASSERT", m_previous->c_str(), 1);
        else
            unsetenv("LUMO_ASSERT");
    }
    ScopedAssertAnswer(const ScopedAssertAnswer&) = delete;
    ScopedAssertAnswer& operator=(const ScopedAssertAnswer&) = delete;

private:
    std::optional<std::string> m_previous;
};

} // namespace

TEST(Assert, PassedCheckLeavesInternalError)
{
    LumoSetLastError(ERROR_SUCCESS);
    LUMO_ASSERT(true);
    EXPECT_EQ(LumoGetLastError(), ERROR_INTERNAL_ERROR);
}

TEST_F(AssertDialog, CancelContinuesAfterTheCheck)
{
    m_script.answer = Platform::IDCANCEL;
    EXPECT_NO_THROW(Outer::Method(false));
    ASSERT_EQ(m_script.texts.size(), 1u);
    EXPECT_EQ(m_script.texts[0],
        "Condition: condition\nFunction: Outer::Method\nLocation: tests/common/AssertTest, "
            + std::to_string(Outer::s_checkLine) + "\n\nBreak into debugger?");
    EXPECT_EQ(m_script.captions[0], "Assertion Failure");
    EXPECT_EQ(m_script.styles[0], 0x42113u);
}

TEST_F(AssertDialog, NoRaisesTheRecoveryException)
{
    m_script.answer = Platform::IDNO;
    try {
        Outer::Method(false);
        FAIL() << "No must raise";
    } catch (const LumoAssertException& error) {
        EXPECT_STREQ(error.what(),
            "The program has successfully recovered from the last assertion failure.  However, it may also now be "
            "in an unstable state.  You should save your work and exit as soon as possible.");
    }
    EXPECT_EQ(m_script.texts.size(), 1u);
}

TEST_F(AssertDialog, AnyOtherAnswerRecovers)
{
    for (int answer : {0, Platform::IDOK, Platform::IDABORT, Platform::IDIGNORE}) {
        m_script.answer = answer;
        EXPECT_THROW(Outer::Method(false), LumoAssertException) << answer;
    }
}

TEST_F(AssertDialog, YesBreaksThenRaises)
{
    // With the trap ignored, the check goes on to recover as it does after the debugger.
    m_script.answer = Platform::IDYES;
    struct sigaction ignore { };
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous { };
    ASSERT_EQ(sigaction(SIGTRAP, &ignore, &previous), 0);
    EXPECT_THROW(Outer::Method(false), LumoAssertException);
    sigaction(SIGTRAP, &previous, nullptr);
    EXPECT_EQ(m_script.texts.size(), 1u);
}

TEST(AssertDialogDeathTest, YesTrapsWithoutADebugger)
{
    EXPECT_EXIT(
        {
            struct sigaction fallback { };
            fallback.sa_handler = SIG_DFL;
            sigaction(SIGTRAP, &fallback, nullptr);
            Platform::SetMessageBoxHandler([](const char*, const char*, uint32_t) { return Platform::IDYES; });
            try {
                Outer::Method(false);
            } catch (...) {
            }
            std::exit(0);
        },
        testing::KilledBySignal(SIGTRAP), "");
}

TEST_F(AssertDialog, FailedCheckLeavesInternalErrorWhateverTheDialogDid)
{
    m_script.answer = Platform::IDCANCEL;
    m_script.lastErrorInDialog = ERROR_NOT_FOUND;
    Outer::Method(false);
    EXPECT_EQ(LumoGetLastError(), ERROR_INTERNAL_ERROR);

    m_script.answer = Platform::IDNO;
    EXPECT_THROW(Outer::Method(false), LumoAssertException);
    EXPECT_EQ(LumoGetLastError(), ERROR_INTERNAL_ERROR);
}

TEST_F(AssertDialog, NamesTheQualifiedFunction)
{
    m_script.answer = Platform::IDCANCEL;
    Outer::Method(false);
    (void)(Outer() < Outer());
    Outer()();
    Outer::Templated(7);
    Outer::Inner().Nested();
    Box<std::string>().Get();
    Outer().WithLambda(3);
    const std::vector<std::string> expected = {"Outer::Method", "Outer::operator<", "Outer::operator()",
        "Outer::Templated", "Outer::Inner::Nested", "Box<T>::Get", "Outer::WithLambda"};
    ASSERT_EQ(m_script.texts.size(), expected.size());
    for (size_t index = 0; index < expected.size(); ++index)
        EXPECT_EQ(FunctionLine(m_script.texts[index]), expected[index]) << m_script.texts[index];
}

TEST_F(AssertDialog, UnconditionalFailureNamesFalse)
{
    m_script.answer = Platform::IDCANCEL;
    Outer()();
    ASSERT_EQ(m_script.texts.size(), 1u);
    EXPECT_EQ(m_script.texts[0].rfind("Condition: false\n", 0), 0u);
}

TEST(AssertWithoutDialog, EnvironmentAnswers)
{
    ASSERT_FALSE(Platform::HasMessageBoxHandler());
    {
        ScopedAssertAnswer answer("ignore");
        EXPECT_NO_THROW(Outer::Method(false));
        EXPECT_EQ(LumoGetLastError(), ERROR_INTERNAL_ERROR);
    }
    {
        ScopedAssertAnswer answer("recover");
        EXPECT_THROW(Outer::Method(false), LumoAssertException);
    }
    {
        // Unattended runs recover unless told otherwise.
        ScopedAssertAnswer answer(nullptr);
        EXPECT_THROW(Outer::Method(false), LumoAssertException);
    }
}

TEST(AssertWithoutDialogDeathTest, BreakTraps)
{
    EXPECT_EXIT(
        {
            setenv("LUMO_ASSERT", "break", 1);
            struct sigaction fallback { };
            fallback.sa_handler = SIG_DFL;
            sigaction(SIGTRAP, &fallback, nullptr);
            try {
                Outer::Method(false);
            } catch (...) {
            }
            std::exit(0);
        },
        testing::KilledBySignal(SIGTRAP), "Assertion Failure: Condition: condition");
}

TEST(AssertNames, SourceLocationDropsTheExtensionOnly)
{
    EXPECT_EQ(SourceLocationName("src/host/ModuleGroup.cpp"), "src/host/ModuleGroup");
    EXPECT_EQ(SourceLocationName("src/v1.2/Header"), "src/v1.2/Header");
    EXPECT_EQ(SourceLocationName("Plain.h"), "Plain");
}
