// The media item model through a real host: content types, media modules, details, containers
// and media classes, with the in-memory media module as the only media knowledge.
#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <lumo/Errors.h>
#include <lumo/Platform.h>

#include "common/Exceptions.h"
#include "host/ContentType.h"
#include "host/HostInternals.h"
#include "host/MediaItem.h"
#include "host/UrlImpl.h"
#include "support/HostFolder.h"

using namespace LumoApi;

namespace {

class MediaModelTest : public ::testing::Test {
protected:
    HostFolder m_folder;
    HostInternals m_host{m_folder.Path()};

    std::string Decide(const std::string& text)
    {
        ApiRef<UrlApi> url = MakeUrl(text);
        return m_host.FormatGroup().DecideContentType(url.Get(), nullptr);
    }
    ApiRef<UrlApi> Url(const std::string& text) { return MakeUrl(text); }
};

uint32_t CodeOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const WinErrorException& error) {
        return error.ErrorCode();
    }
    return 0;
}

} // namespace

TEST(ContentTypes, PairsAndLists)
{
    EXPECT_EQ(ContentTypeMajor("audio/mpeg"), "audio");
    EXPECT_EQ(ContentTypeMinor("audio/mpeg"), "mpeg");
    EXPECT_EQ(ContentTypeMajor("x-container"), "x-container");
    EXPECT_EQ(ContentTypeMinor("x-container"), "");
    EXPECT_FALSE(IsValidPair(SplitContentType("x-container")));
    EXPECT_TRUE(PairsMatch(SplitContentType("*/*"), SplitContentType("image/jpeg")));
    EXPECT_TRUE(PairsMatch(SplitContentType("audio/*"), SplitContentType("audio/flac")));
    EXPECT_FALSE(PairsMatch(SplitContentType("audio/*"), SplitContentType("image/jpeg")));

    const ContentTypePair jpeg = SplitContentType("image/jpeg");
    const ContentTypePair song = SplitContentType("audio/mpeg");
    EXPECT_FALSE(MatchesContentTypeList(song, {}));
    EXPECT_TRUE(MatchesContentTypeList(song, {"!image/*"}));
    EXPECT_FALSE(MatchesContentTypeList(jpeg, {"!image/*"}));
    EXPECT_TRUE(MatchesContentTypeList(jpeg, {"audio/*", "image/jpeg"}));
    // The first deciding entry wins: a plain match before a negation.
    EXPECT_TRUE(MatchesContentTypeList(jpeg, {"image/*", "!image/jpeg"}));
    EXPECT_EQ(SplitCommaList(" a, ,b ,"), (std::vector<std::string>{"a", "b"}));
}

TEST_F(MediaModelTest, ContentTypesComeFromModulesThenExtensions)
{
    EXPECT_EQ(Decide("mem://fixture/root/Album.2003"), "x-container/mem");
    // No module recognises it; the system's file types know the extension in any case.
    EXPECT_EQ(Decide("file:///music/Song.MP3"), "audio/mpeg");
    EXPECT_EQ(Decide(".fxa"), "audio/x-fixture");
    EXPECT_EQ(Decide("file:///x/nothing.qqqzz"), "");
    EXPECT_EQ(Decide("file:///x/dotted.folder/noextension"), "");
}

TEST_F(MediaModelTest, OneContentTypeFromTwoSourcesKeepsBothExtensionLists)
{
    const std::vector<std::string> extensions = m_host.FormatGroup().ExtensionsOf("audio/mpeg");
    EXPECT_NE(std::find(extensions.begin(), extensions.end(), ".mp3"), extensions.end());
    EXPECT_NE(std::find(extensions.begin(), extensions.end(), ".lumomp3"), extensions.end());
    EXPECT_EQ(Decide("file:///x/a.lumomp3"), "audio/mpeg");
}

TEST_F(MediaModelTest, HostFormatApi)
{
    FormatApi& formats = m_host.FormatGroup();
    const int32_t count = formats.GetFormatCount();
    ASSERT_GT(count, 4);
    FormatInfo info{};
    ASSERT_NE(formats.GetFormat(0, &info), 0);
    ASSERT_NE(formats.GetFormat(count - 1, &info), 0);
    EXPECT_EQ(formats.GetFormat(count, &info), 0);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_INDEX);

    ApiRef<UrlApi> song = Url("mem://fixture/root/song1.fxa");
    const int32_t index = formats.Identify(song.Get(), nullptr);
    ASSERT_GE(index, 0);
    ASSERT_NE(formats.GetFormat(index, &info), 0);
    EXPECT_STREQ(info.contentType, "audio/x-fixture");
    EXPECT_STREQ(info.extensions, ".fxa");

    ApiRef<UrlApi> unknown = Url("file:///x/nothing.qqqzz");
    LumoSetLastError(1359);
    EXPECT_EQ(formats.Identify(unknown.Get(), nullptr), -1);
    EXPECT_EQ(LumoGetLastError(), ERROR_SUCCESS);
}

TEST_F(MediaModelTest, ItemsWithoutAModuleAreUnsupported)
{
    EXPECT_EQ(CodeOf([&] { MediaItem item(Url("file:///x/nothing.qqqzz")); }), ERROR_UNSUPPORTED_TYPE);
    // The system knows the type, but no module handles it.
    EXPECT_EQ(CodeOf([&] { MediaItem item(Url("file:///x/song.mp3")); }), ERROR_UNSUPPORTED_TYPE);
    ApiRef<UrlApi> url = Url("file:///x/song.mp3");
    EXPECT_EQ(m_host.MediaGroup().GetApi("DetailsApi", url.Get()), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_UNSUPPORTED_TYPE);
}

TEST_F(MediaModelTest, TitleRules)
{
    MediaItem song(Url("mem://fixture/root/Album.2003/track01.fxa"));
    EXPECT_EQ(song.Property("Title"), "track01");
    EXPECT_EQ(song.Property("FileName"), "track01");
    EXPECT_EQ(song.Property("ContentType"), "audio/x-fixture");
    EXPECT_EQ(song.Property("NoSuchProperty"), "");

    MediaItem folder(Url("mem://fixture/root/Album.2003"));
    EXPECT_EQ(folder.Property("Title"), "Album.2003");

    MediaItem external(Url("mem://fixture/root/song1.fxa?LumoExternalUrl=http%3A%2F%2Fradio"));
    EXPECT_EQ(external.Property("Title"), "song1.fxa");
}

TEST_F(MediaModelTest, KindsComeFromTheContentTypeProperty)
{
    MediaItem folder(Url("mem://fixture/root/Album.2003"));
    EXPECT_TRUE(folder.IsContainer());
    EXPECT_FALSE(folder.IsAudio());
    MediaItem song(Url("mem://fixture/root/song1.fxa"));
    EXPECT_TRUE(song.IsAudio());
    EXPECT_FALSE(song.IsContainer());
    MediaItem photo(Url("mem://fixture/root/photo1.fxi"));
    EXPECT_TRUE(photo.IsImage());

    // A container answers without asking, whatever its properties say.
    auto setProperty = m_folder.MediaFunction<void (*)(const char*, const char*, const char*)>("Fixture_SetProperty");
    ASSERT_NE(setProperty, nullptr);
    Container root(Url("mem://fixture/root"));
    EXPECT_TRUE(root.IsContainer());
    EXPECT_FALSE(root.IsImage());
}

TEST_F(MediaModelTest, DetailsListNames)
{
    MediaItem song(Url("mem://fixture/root/song1.fxa"));
    Details& details = song.GetDetails();
    ASSERT_EQ(details.Count(), 4u);
    EXPECT_EQ(details.NameAt(0), "FileName");
    EXPECT_EQ(details.NameAt(3), "SourceLocation");
    EXPECT_THROW(details.NameAt(4), RangeError);
}

TEST_F(MediaModelTest, ContainersEnumerate)
{
    Container root(Url("mem://fixture/root"));
    std::vector<std::string> children;
    for (ApiRef<UrlApi> child = root.GetFirst(); child; child = root.GetNext())
        children.push_back(child->GetText());
    EXPECT_EQ(children,
        (std::vector<std::string>{
            "mem://fixture/root/Album.2003", "mem://fixture/root/song1.fxa", "mem://fixture/root/photo1.fxi"}));

    auto setFailure = m_folder.MediaFunction<void (*)(const char*, int, uint32_t)>("Fixture_SetFailure");
    ASSERT_NE(setFailure, nullptr);
    setFailure("mem://fixture/root", 1, ERROR_CANTREAD);
    EXPECT_TRUE(root.GetFirst());
    EXPECT_EQ(CodeOf([&] { root.GetNext(); }), ERROR_CANTREAD);
    setFailure("mem://fixture/root", -1, 0);
}

TEST_F(MediaModelTest, NotificationsReachTheHandlers)
{
    auto addChild = m_folder.MediaFunction<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild");
    auto notify = m_folder.MediaFunction<void (*)(const char*, int, const char*, int)>("Fixture_Notify");
    ASSERT_TRUE(addChild && notify);

    Container root(Url("mem://fixture/root"));
    std::vector<std::string> added, removed, changed;
    std::vector<std::thread::id> threads;
    root.SetChildAddedHandler([&](const ApiRef<UrlApi>& child) {
        added.push_back(child->GetText());
        threads.push_back(std::this_thread::get_id());
    });
    root.SetChildRemovedHandler([&](const ApiRef<UrlApi>& child) { removed.push_back(child->GetText()); });
    root.SetChangedHandler([&](const ApiRef<UrlApi>& child) { changed.push_back(child ? "child" : "whole"); });
    root.Subscribe();
    EXPECT_TRUE(root.IsSubscribed());

    addChild("mem://fixture/root", "mem://fixture/root/new.fxa", "audio/x-fixture", 1);
    notify("mem://fixture/root", c_ChildRemoved, "mem://fixture/root/song1.fxa", 0);
    notify("mem://fixture/root", c_ContainerChanged, nullptr, 1);
    notify("mem://fixture/root", 7, nullptr, 0);
    EXPECT_EQ(added, std::vector<std::string>{"mem://fixture/root/new.fxa"});
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(threads[0], std::this_thread::get_id());
    EXPECT_EQ(removed, std::vector<std::string>{"mem://fixture/root/song1.fxa"});
    EXPECT_EQ(changed, std::vector<std::string>{"whole"});

    root.Unsubscribe();
    notify("mem://fixture/root", c_ChildRemoved, "mem://fixture/root/new.fxa", 0);
    EXPECT_EQ(removed.size(), 1u);
}

TEST_F(MediaModelTest, NotificationFromAnotherContainerIsAnAssertion)
{
    Container root(Url("mem://fixture/root"));
    Container album(Url("mem://fixture/root/Album.2003"));
    bool called = false;
    root.SetChildAddedHandler([&](const ApiRef<UrlApi>&) { called = true; });
    ApiRef<UrlApi> child = Url("mem://fixture/root/x.fxa");
    root.OnNotify(album.Interface(), c_ChildAdded, child.Get());
    EXPECT_FALSE(called);
    EXPECT_EQ(LumoGetLastError(), ERROR_INTERNAL_ERROR);
}

TEST_F(MediaModelTest, MediaClassPublishesAndUnpublishes)
{
    MediaClass& media = m_host.MediaClasses().ById("FixtureMedia");
    EXPECT_EQ(media.FirstRoot().UrlText(), "mem://fixture/root");
    EXPECT_EQ(media.SecondRoot().UrlText(), "mem://fixture/published");
    EXPECT_EQ(CodeOf([&] { m_host.MediaClasses().ById("LumoMusic"); }), ERROR_NOT_FOUND);

    std::vector<std::string> published;
    media.SecondRoot().SetChildAddedHandler(
        [&](const ApiRef<UrlApi>& child) { published.push_back(child->GetText()); });
    media.SecondRoot().Subscribe();

    ApiRef<UrlApi> song = Url("mem://fixture/root/song1.fxa");
    EXPECT_TRUE(media.CanPublish(song.Get()));
    ApiRef<UrlApi> entry = media.Publish(song.Get());
    EXPECT_STREQ(entry->GetText(), "mem://fixture/published/song1.fxa");
    EXPECT_EQ(published, std::vector<std::string>{"mem://fixture/published/song1.fxa"});
    // Published already: a plain "no", not a failure.
    EXPECT_FALSE(media.CanPublish(song.Get()));
    EXPECT_TRUE(media.CanUnpublish(entry.Get()));
    ApiRef<UrlApi> original = media.Unpublish(entry.Get());
    EXPECT_STREQ(original->GetText(), "mem://fixture/root/song1.fxa");
    EXPECT_FALSE(media.CanUnpublish(entry.Get()));
    EXPECT_EQ(CodeOf([&] { media.Unpublish(entry.Get()); }), ERROR_NOT_FOUND);
    media.SecondRoot().Unsubscribe();
}

TEST_F(MediaModelTest, DetailsAreCachedButNeverSharedByTwoHolders)
{
    MediaApi& media = m_host.MediaGroup();
    ApiRef<UrlApi> song = Url("mem://fixture/root/song1.fxa");
    ApiRef<Api> first = ApiRef<Api>::Adopt(media.GetApi("DetailsApi", song.Get()));
    ApiRef<Api> second = ApiRef<Api>::Adopt(media.GetApi("DetailsApi", song.Get()));
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.Get(), second.Get());
    Api* cached = first.Get();
    first.Reset();
    ApiRef<Api> third = ApiRef<Api>::Adopt(media.GetApi("DetailsApi", song.Get()));
    EXPECT_EQ(third.Get(), cached);
    EXPECT_STREQ(static_cast<DetailsApi*>(third.Get())->GetValue("FileName"), "song1.fxa");
}

TEST_F(MediaModelTest, AnItemLookedAtOnceAnswersAsAKeptOneAndLeavesTheDetailsCacheAlone)
{
    MediaApi& media = m_host.MediaGroup();
    const char* const texts[] = {"mem://fixture/root/Album.2003/track01.fxa", "mem://fixture/root/Album.2003",
        "mem://fixture/root/song1.fxa?LumoExternalUrl=http%3A%2F%2Fradio"};
    for (const char* text : texts) {
        MediaItem once(Url(text), Look::Once);
        MediaItem kept(Url(text));
        for (const char* name : {"ContentType", "Title", "FileName"})
            EXPECT_EQ(once.Property(name), kept.Property(name)) << text << " " << name;
        EXPECT_EQ(&once.Module(), &kept.Module());
    }

    // A look once takes its own details object from the module, and none from the cache: the
    // object the cache holds free for a URL is still handed to the next holder.
    ApiRef<UrlApi> song = Url("mem://fixture/root/song1.fxa");
    ApiRef<Api> first = ApiRef<Api>::Adopt(media.GetApi("DetailsApi", song.Get()));
    ASSERT_TRUE(first);
    Api* cached = first.Get();
    first.Reset();
    {
        MediaItem once(song, Look::Once);
        EXPECT_EQ(once.Property("FileName"), "song1");
        ApiRef<DetailsApi> details = once.GetApi<DetailsApi>();
        EXPECT_NE(static_cast<Api*>(details.Get()), cached);
    }
    ApiRef<Api> again = ApiRef<Api>::Adopt(media.GetApi("DetailsApi", song.Get()));
    EXPECT_EQ(again.Get(), cached);
}

TEST_F(MediaModelTest, TheSystemsTypesAreReadOnceWhenSeveralThreadsFirstNeedThemAtOnce)
{
    // The host reads the system's types when first needed: whoever asks first, on any thread,
    // sees the whole table, and no type is added twice.
    constexpr int c_Threads = 4;
    std::vector<int32_t> counts(c_Threads);
    std::vector<std::string> decided(c_Threads);
    std::vector<std::thread> threads;
    for (int thread = 0; thread < c_Threads; ++thread) {
        threads.emplace_back([&, thread] {
            if (thread % 2 == 0)
                decided[thread] = Decide("file:///x/notes" + std::to_string(thread) + ".txt");
            counts[thread] = m_host.FormatGroup().GetFormatCount();
            if (thread % 2 == 1)
                decided[thread] = Decide("file:///x/notes" + std::to_string(thread) + ".txt");
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int thread = 0; thread < c_Threads; ++thread) {
        EXPECT_EQ(decided[thread], "text/plain");
        EXPECT_EQ(counts[thread], counts[0]);
    }
    FormatInfo info{};
    std::vector<std::string> types;
    for (int32_t index = 0; index < counts[0]; ++index) {
        ASSERT_NE(m_host.FormatGroup().GetFormat(index, &info), 0);
        types.push_back(info.contentType);
    }
    EXPECT_TRUE(std::is_sorted(types.begin(), types.end()));
    EXPECT_EQ(std::adjacent_find(types.begin(), types.end()), types.end());
}

TEST_F(MediaModelTest, WhoClaimsAnExtensionIsAnsweredAsTheWholeTableWouldAnswer)
{
    // The lookup reads the database's globs, the table every type's definition: they must agree.
    FormatLookupApi& lookup = m_host.FormatGroup().Lookup();
    const std::string text = lookup.GetTypesOfExtension(".TXT");
    FormatInfo info{};
    std::map<std::string, std::string> expected;
    for (int32_t index = 0; index < m_host.FormatGroup().GetFormatCount(); ++index) {
        ASSERT_NE(m_host.FormatGroup().GetFormat(index, &info), 0);
        std::string_view list = info.extensions;
        while (!list.empty()) {
            const size_t comma = list.find(',');
            // A type may list an extension twice ("*.pl", "*.PL").
            std::string& types = expected[std::string(list.substr(0, comma))];
            if (types != info.contentType && !types.ends_with("," + std::string(info.contentType)))
                types += (types.empty() ? "" : ",") + std::string(info.contentType);
            list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        }
    }
    ASSERT_GT(expected.size(), 100u) << "the system's types were not read";
    EXPECT_EQ(text, expected[".txt"]);
    for (const auto& [extension, types] : expected)
        EXPECT_EQ(lookup.GetTypesOfExtension(extension.c_str()), types) << extension;
    EXPECT_STREQ(lookup.GetTypesOfExtension(".no-such-extension"), "");
    EXPECT_EQ(lookup.GetTypesOfExtension(nullptr), nullptr);
    EXPECT_EQ(LumoGetLastError(), ERROR_INVALID_PARAMETER);

    // An item's type is named as FormatApi's index into the table names it.
    for (const char* text : {"mem://fixture/root/Album.2003", "file:///music/Song.MP3", "file:///x/notes.TXT", ".fxa",
             "file:///x/nothing.qqqzz"}) {
        const ApiRef<UrlApi> url = Url(text);
        const int32_t index = m_host.FormatGroup().Identify(url.Get(), nullptr);
        if (index >= 0)
            ASSERT_NE(m_host.FormatGroup().GetFormat(index, &info), 0);
        EXPECT_STREQ(lookup.DecideContentType(url.Get(), nullptr), index < 0 ? "" : info.contentType) << text;
    }
}
