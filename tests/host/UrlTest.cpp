#include <functional>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <lumo/Errors.h>
#include <lumo/Platform.h>
#include <lumo/Url.h>

#include "common/Exceptions.h"
#include "host/Url.h"
#include "host/UrlBuilder.h"
#include "host/UrlImpl.h"

using namespace LumoApi;

namespace {

// The last error a failed text operation left, or 0 when it answered text.
uint32_t FailureOf(const std::function<const char*()>& operation)
{
    LumoSetLastError(ERROR_SUCCESS);
    return operation() ? 0 : LumoGetLastError();
}

std::string TextOf(UrlApi* url)
{
    const char* text = url->GetText();
    return text ? text : "<null>";
}

ApiRef<UrlBuilderApi> NewBuilder()
{
    return ApiRef<UrlBuilderApi>::Adopt(new UrlBuilder());
}

TEST(UrlImplTest, PartsAreUnescapedAndEmptyOnesAreAbsent)
{
    const struct {
        std::string text;
        const char* scheme; // null: absent
        const char* host;
        const char* path;
    } cases[] = {
        {"file:///C:/My%20Music/a.mp3", "file", nullptr, "C:/My Music/a.mp3"},
        {"http://host", "http", "host", nullptr},
        {"/only/path", nullptr, nullptr, "only/path"},
        {"s%3Ax://h%2Fx/p%3Fq", "s:x", "h/x", "p?q"},
    };
    for (const auto& c : cases) {
        ApiRef<UrlApi> url = MakeUrl(c.text);
        const std::pair<const char*, std::function<const char*()>> parts[] = {
            {c.scheme, [&] { return url->GetScheme(); }},
            {c.host, [&] { return url->GetHost(); }},
            {c.path, [&] { return url->GetPath(); }},
        };
        for (const auto& [expected, read] : parts) {
            if (expected)
                EXPECT_STREQ(read(), expected) << c.text;
            else
                EXPECT_EQ(FailureOf(read), ERROR_NOT_FOUND) << c.text;
        }
        EXPECT_EQ(TextOf(url.Get()), c.text);
    }
    EXPECT_EQ(FailureOf([] { return MakeUrl("")->GetText(); }), ERROR_NOT_FOUND);
}

TEST(UrlImplTest, ParametersByIndexAndName)
{
    ApiRef<UrlApi> url = MakeUrl("s://h/p?b=2&&a=1&a=3&e=%C3%A9");
    EXPECT_EQ(url->GetParamCount(), 3);
    EXPECT_STREQ(url->GetParamName(0), "b");
    EXPECT_STREQ(url->GetParamValue(1), "1");
    EXPECT_STREQ(url->GetParam("e"), "\xC3\xA9");
    EXPECT_EQ(FailureOf([&] { return url->GetParam("z"); }), ERROR_NOT_FOUND);
    for (const int32_t index : {3, -1}) {
        EXPECT_EQ(FailureOf([&] { return url->GetParamName(index); }), ERROR_INVALID_INDEX);
        EXPECT_EQ(FailureOf([&] { return url->GetParamValue(index); }), ERROR_INVALID_INDEX);
    }
}

TEST(UrlImplTest, LocalPartStartsAtThePath)
{
    const std::pair<std::string, std::string> cases[] = {
        {"s://host/a/b?x=1", "/a/b?x=1"},
        {"file:///home/me", "/home/me"},
        {"s://my%20host/p", "/p"},
        {"s://h?x=1", "?x=1"},
        {"://h/p", "/p"},
        {"a/b", "a/b"},
    };
    for (const auto& [text, local] : cases)
        EXPECT_STREQ(MakeUrl(text)->GetLocalPart(), local.c_str()) << text;
}

TEST(UrlImplTest, TruncatedEscapeFailsWithInvalidIndex)
{
    ApiRef<UrlApi> badPath = MakeUrl("s://h/p%4");
    EXPECT_EQ(FailureOf([&] { return badPath->GetPath(); }), ERROR_INVALID_INDEX);
    // Left unsplit: the next read fails the same way rather than answering a stale part.
    EXPECT_EQ(FailureOf([&] { return badPath->GetScheme(); }), ERROR_INVALID_INDEX);

    ApiRef<UrlApi> badQuery = MakeUrl("s://h/p?a=1&b=%");
    EXPECT_STREQ(badQuery->GetPath(), "p");
    EXPECT_EQ(FailureOf([&] { return badQuery->GetParam("a"); }), ERROR_INVALID_INDEX);
}

TEST(UrlImplTest, TextIsSetOnceAndRequiredFirst)
{
    ApiRef<UrlImpl> url = ApiRef<UrlImpl>::Adopt(new UrlImpl());
    EXPECT_EQ(FailureOf([&] { return url->GetScheme(); }), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(FailureOf([&] { return url->GetParamName(0); }), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(FailureOf([&] { return url->GetLocalPart(); }), ERROR_INVALID_FUNCTION);
    LumoSetLastError(ERROR_SUCCESS);
    EXPECT_EQ(url->GetParamCount(), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_FUNCTION);

    EXPECT_NE(url->SetText("s://first"), 0);
    EXPECT_EQ(url->SetText("s://second"), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_ALREADY_INITIALIZED);
    EXPECT_EQ(TextOf(url.Get()), "s://first");

    UrlApi& zombie = ZombieUrl::Instance();
    EXPECT_EQ(FailureOf([&] { return zombie.GetText(); }), ERROR_NOT_FOUND);
    EXPECT_EQ(FailureOf([&] { return zombie.GetParamValue(0); }), ERROR_INVALID_INDEX);
    EXPECT_EQ(zombie.SetText("s://x"), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_ALREADY_INITIALIZED);
}

TEST(UrlBuilderTest, NeverChangesAUrlAlreadyHandedOut)
{
    ApiRef<UrlApi> original = MakeUrl("s://h/p?b=2&a=1");
    ApiRef<UrlBuilderApi> builder = NewBuilder();
    ASSERT_NE(builder->SetUrl(original.Get()), 0);
    EXPECT_EQ(ApiRef<UrlApi>::Adopt(builder->GetUrl()).Get(), original.Get());

    ASSERT_NE(builder->SetParam("a", "9"), 0);
    ApiRef<UrlApi> first = ApiRef<UrlApi>::Adopt(builder->GetUrl());
    ASSERT_NE(builder->SetHost("g"), 0);
    ASSERT_NE(builder->SetParam("b", ""), 0);
    ApiRef<UrlApi> second = ApiRef<UrlApi>::Adopt(builder->GetUrl());

    EXPECT_EQ(TextOf(original.Get()), "s://h/p?b=2&a=1");
    EXPECT_EQ(TextOf(first.Get()), "s://h/p?a=9&b=2");
    EXPECT_EQ(TextOf(second.Get()), "s://g/p?a=9");
}

TEST(UrlBuilderTest, SetPathTurnsBackslashesOfWindowsPathsIntoSlashes)
{
    ApiRef<UrlBuilderApi> builder = NewBuilder();
    builder->SetScheme("file");
    ASSERT_NE(builder->SetPath("C:\\My Music\\a b.mp3"), 0);
    ApiRef<UrlApi> url = ApiRef<UrlApi>::Adopt(builder->GetUrl());
    EXPECT_EQ(TextOf(url.Get()), "file:///C:/My%20Music/a%20b.mp3");
    EXPECT_STREQ(url->GetPath(), "C:/My Music/a b.mp3");

    // An absolute path of this platform gives the same text as the one parsed from a URL.
    ApiRef<UrlBuilderApi> absolute = NewBuilder();
    absolute->SetScheme("file");
    absolute->SetPath("/home/me/a b.mp3");
    ApiRef<UrlApi> built = ApiRef<UrlApi>::Adopt(absolute->GetUrl());
    EXPECT_EQ(TextOf(built.Get()), "file:///home/me/a%20b.mp3");
    EXPECT_STREQ(built->GetPath(), "home/me/a b.mp3");

    // Here "\\" is a character of a name; every path was taken for a Windows one.
    ApiRef<UrlBuilderApi> named = NewBuilder();
    named->SetScheme("file");
    named->SetPath("/home/me/a\\b.mp3");
    ApiRef<UrlApi> linux = ApiRef<UrlApi>::Adopt(named->GetUrl());
    EXPECT_EQ(TextOf(linux.Get()), "file:///home/me/a%5Cb.mp3");
    EXPECT_STREQ(linux->GetPath(), "home/me/a\\b.mp3");
    named->SetPath("\\Music\\a.mp3");
    EXPECT_EQ(TextOf(ApiRef<UrlApi>::Adopt(named->GetUrl()).Get()), "file:///Music/a.mp3");
    named->SetPath("d:\\x");
    EXPECT_EQ(TextOf(ApiRef<UrlApi>::Adopt(named->GetUrl()).Get()), "file:///d:/x");
}

TEST(UrlBuilderTest, ComposedTextReadsBackAsTheSameParts)
{
    ApiRef<UrlBuilderApi> builder = NewBuilder();
    builder->SetScheme("my scheme");
    builder->SetHost("a host:80");
    builder->SetPath("dir/x?y#z");
    builder->SetParam("LumoExternalUrl", "http://other/x?y=1&z");
    ApiRef<UrlApi> built = ApiRef<UrlApi>::Adopt(builder->GetUrl());

    ApiRef<UrlApi> reread = MakeUrl(TextOf(built.Get()));
    EXPECT_STREQ(reread->GetScheme(), "my scheme");
    EXPECT_STREQ(reread->GetHost(), "a host:80");
    EXPECT_STREQ(reread->GetPath(), "dir/x?y#z");
    EXPECT_STREQ(reread->GetParam("LumoExternalUrl"), "http://other/x?y=1&z");
    EXPECT_STREQ(built->GetLocalPart(), "/dir/x%3Fy%23z?LumoExternalUrl=http%3A%2F%2Fother%2Fx%3Fy%3D1%26z");

    // A "/" in the host would end it when the text is read back: it is escaped.
    ApiRef<UrlBuilderApi> slashed = NewBuilder();
    slashed->SetScheme("s");
    slashed->SetHost("a/b");
    slashed->SetPath("p");
    ApiRef<UrlApi> slashedUrl = ApiRef<UrlApi>::Adopt(slashed->GetUrl());
    EXPECT_EQ(TextOf(slashedUrl.Get()), "s://a%2Fb/p");
    ApiRef<UrlApi> slashedBack = MakeUrl(TextOf(slashedUrl.Get()));
    EXPECT_STREQ(slashedBack->GetHost(), "a/b");
    EXPECT_STREQ(slashedBack->GetPath(), "p");
}

TEST(UrlBuilderTest, ChangeFailsWhenTheSourceCannotBeRead)
{
    ApiRef<UrlBuilderApi> builder = NewBuilder();
    builder->SetUrl(MakeUrl("s://h%4/p").Get());
    EXPECT_EQ(builder->SetPath("q"), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_INDEX);

    // The placeholder reads as all parts absent: a copy of it is an empty URL.
    builder->SetUrl(&ZombieUrl::Instance());
    EXPECT_NE(builder->SetHost("h"), 0);
    EXPECT_EQ(TextOf(ApiRef<UrlApi>::Adopt(builder->GetUrl()).Get()), "h");
}

TEST(UrlWrapperTest, ReadsPartsAndParameters)
{
    const Url url = Url::FromText("mem://fixture/root?LumoExternalUrl=http%3A%2F%2Fx&n=1");
    EXPECT_EQ(url.Host(), "fixture");
    EXPECT_EQ(url.ParamValue(0), "http://x");
    const std::string external = url.Param("LumoExternalUrl");
    EXPECT_EQ(external, "http://x");
    EXPECT_TRUE(url["n"] == "1");
    EXPECT_FALSE(url["missing"].Exists());
    EXPECT_EQ(Url::FromText("s://h").Path(), "");
    EXPECT_THROW(url.ParamName(2), WinErrorException);
    EXPECT_THROW((void)Url::FromText("s://h/%4").Path(), WinErrorException);

    // The proxy holds its own reference to the URL it reads.
    const Url::ValueProxy proxy = Url::FromText("s://h?k=v")["k"];
    EXPECT_EQ(proxy.Value(), "v");

    const Url empty;
    EXPECT_TRUE(empty.IsNull());
    EXPECT_EQ(empty.Text(), "");
    EXPECT_EQ(empty.ParamCount(), 0);
    EXPECT_TRUE(Url(ApiRef<UrlApi>()).IsNull());

    EXPECT_TRUE(Url::FromText("s://h/p") == Url::FromText("s://h/p"));
    EXPECT_FALSE(Url::FromText("s://h/p") == Url::FromText("s://h/P"));
}

// One URL object read from several threads at once, the first read of each part contested;
// under ThreadSanitizer this catches any split or compose outside the lock.
TEST(UrlConcurrencyTest, ParallelFirstReadsOfOneObject)
{
    constexpr int c_Threads = 6;
    const std::string text = "s://some%20host/a/b%2Fc?x=1&y=%C3%A9";

    for (int round = 0; round < 50; ++round) {
        // Odd rounds read a built URL, whose text is composed by the first reader.
        ApiRef<UrlApi> url = MakeUrl(text);
        std::string expectedText = text;
        if (round % 2) {
            ApiRef<UrlBuilderApi> builder = NewBuilder();
            builder->SetUrl(url.Get());
            builder->SetParam("w", "0");
            url = ApiRef<UrlApi>::Adopt(builder->GetUrl());
            expectedText = "s://some%20host/a/b/c?w=0&x=1&y=%C3%A9";
        }
        const std::pair<std::function<const char*()>, std::string> reads[] = {
            {[&] { return url->GetHost(); }, "some host"},
            {[&] { return url->GetParam("y"); }, "\xC3\xA9"},
            {[&] { return url->GetText(); }, expectedText},
            {[&] { return url->GetPath(); }, "a/b/c"},
            {[&] { return url->GetLocalPart(); }, expectedText.substr(expectedText.find("/a/"))},
        };

        std::latch start(c_Threads);
        std::vector<int> failures(c_Threads, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < c_Threads; ++t) {
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                for (size_t step = 0; step < std::size(reads); ++step) {
                    const auto& [read, expected] = reads[(t + step) % std::size(reads)];
                    const char* got = read();
                    failures[t] += !got || expected != got;
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        for (int t = 0; t < c_Threads; ++t)
            EXPECT_EQ(failures[t], 0) << "round " << round << " thread " << t;
    }
}

} // namespace
