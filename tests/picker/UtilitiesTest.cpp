// The display texts of dates, durations and sizes, and the broken-item test.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "common/Exceptions.h"
#include "host/HostInternals.h"
#include "host/MediaItem.h"
#include "host/UrlImpl.h"
#include "picker/Utilities.h"
#include "support/HostFolder.h"

namespace {

std::string UtcSeconds(int year, int month, int day, int hour, int minute, int second)
{
    tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    return std::to_string(timegm(&time));
}

} // namespace

TEST(FormatDate, LongLocalDateWithTwelveHourClock)
{
    setenv("TZ", "UTC", 1);
    tzset();
    const struct {
        std::string seconds;
        const char* expected;
    } cases[] = {
        {UtcSeconds(2004, 3, 5, 14, 7, 9), "Friday, March 5, 2004, 2:07:09 PM"},
        {UtcSeconds(2004, 3, 5, 0, 5, 0), "Friday, March 5, 2004, 12:05:00 AM"},
        {UtcSeconds(2004, 3, 5, 12, 0, 0), "Friday, March 5, 2004, 12:00:00 PM"},
        {UtcSeconds(2021, 5, 2, 11, 59, 59), "Sunday, May 2, 2021, 11:59:59 AM"},
        {"0", "Thursday, January 1, 1970, 12:00:00 AM"},
        {"abc", "Thursday, January 1, 1970, 12:00:00 AM"},
        {"", ""},
        {"-5", ""},
    };
    for (const auto& entry : cases)
        EXPECT_EQ(FormatDate(entry.seconds), entry.expected) << entry.seconds;

    setenv("TZ", "EST5", 1);
    tzset();
    EXPECT_EQ(FormatDate("0"), "Wednesday, December 31, 1969, 7:00:00 PM");
}

TEST(FormatDuration, HoursOnlyWhenPresentAndAtLeastOneSecond)
{
    const struct {
        const char* milliseconds;
        const char* expected;
    } cases[] = {
        {"", ""},
        {"0", ""},
        {"-3000", ""},
        {"1", "00:01"},
        {"500", "00:01"},
        {"61000", "01:01"},
        {"3599999", "59:59"},
        {"3600000", "1:00:00"},
        {"90061000", "25:01:01"},
    };
    for (const auto& entry : cases)
        EXPECT_EQ(FormatDuration(entry.milliseconds), entry.expected) << entry.milliseconds;
    for (const char* text : {"abc", "12x", " 5", "1.5", "99999999999999999999"})
        EXPECT_THROW(FormatDuration(text), ConvertError) << text;
}

TEST(FormatSize, BytesWithTwoCommasThenMegabytesAndGigabytes)
{
    const double mb = 1 << 20, gb = 1 << 30;
    const struct {
        double bytes;
        const char* expected;
    } cases[] = {
        {999, "999 Bytes"},
        {1000, "1,000 Bytes"},
        {123456, "123,456 Bytes"},
        {999999.6, "1,000,000 Bytes"},
        {1048575, "1,048,575 Bytes"},
        {mb, "1.00 MB"},
        {1.5 * mb, "1.50 MB"},
        {gb, "1.00 GB"},
        {2.25 * gb, "2.25 GB"},
        {-5, "0 Bytes"},
        {std::nan(""), "0 Bytes"},
    };
    for (const auto& entry : cases)
        EXPECT_EQ(FormatSize(entry.bytes), entry.expected) << entry.bytes;
    // Text that is not wholly a number reads as 0.
    EXPECT_EQ(FormatSize(std::string("1073741824")), "1.00 GB");
    for (const char* text : {"abc", "12abc", "", "1e999"})
        EXPECT_EQ(FormatSize(std::string(text)), "0 Bytes") << text;
}

TEST(IsBroken, OnlyTheExactBrokenTypeCounts)
{
    EXPECT_TRUE(IsBrokenContentType("x-application/lumo-broken"));
    for (const char* other : {"x-application/lumo-link", "X-Application/lumo-broken", "x-application/Lumo-Broken",
             "x-application/lumo-broken/more", "x-application", ""})
        EXPECT_FALSE(IsBrokenContentType(other)) << other;

    HostFolder folder;
    HostInternals host(folder.Path());
    auto addChild = folder.MediaFunction<void (*)(const char*, const char*, const char*, int)>("Fixture_AddChild");
    ASSERT_NE(addChild, nullptr);
    addChild("mem://fixture/root", "mem://fixture/root/gone.fxa", "x-application/lumo-broken", 0);
    MediaItem gone(MakeUrl("mem://fixture/root/gone.fxa"));
    MediaItem song(MakeUrl("mem://fixture/root/song1.fxa"));
    EXPECT_TRUE(IsBroken(gone));
    EXPECT_FALSE(IsBroken(song));
}

TEST(ChangeFailureReason, TheSystemsWordsUnlessTheyWouldMislead)
{
    struct Row {
        uint32_t code;
        bool publishing;
        const char* reason;
    };
    const Row rows[] = {
        {183, true, "It is already published."},
        {183, false, "Cannot create a file when that file already exists."},
        {1168, false, "It is not published."},
        {1168, true, "Element not found."},
        {5, true, "Access is denied."},
        {112, true, "There is not enough space on the disk."},
        {13, true, "The list of published items is damaged."},
        {1012, false, "The list of published items could not be read."},
        {1013, true, "The list of published items could not be written."},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ChangeFailureReason(std::make_exception_ptr(WinErrorException(row.code)), row.publishing), row.reason)
            << row.code;
    }
    EXPECT_EQ(ChangeFailureReason(std::make_exception_ptr(std::runtime_error("It is not a local file")), true),
        "It is not a local file.");
    EXPECT_EQ(ChangeFailureReason(std::make_exception_ptr(42), true), "");
    EXPECT_EQ(ChangeFailureReason(nullptr, true), "");
}

TEST(ItemDisplayPath, AFileByItsWholePathAnythingElseByItsUrl)
{
    HostFolder folder;
    HostInternals host(folder.Path());
    EXPECT_EQ(ItemDisplayPath(MakeUrl("file:///tmp/Morning%20Light").Get()), "/tmp/Morning Light");
    EXPECT_EQ(ItemDisplayPath(MakeUrl("mem://fixture/root/song1.fxa").Get()), "mem://fixture/root/song1.fxa");
    EXPECT_EQ(ItemDisplayPath(nullptr), "");
}
