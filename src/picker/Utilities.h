// Display texts for the picker's property values (dates, durations, byte sizes), for the items
// and failures named in message boxes, and the test for a broken item. Stateless; safe on any
// thread.
#pragma once

#include <exception>
#include <string>

#include <lumo/Url.h>

class MediaItem;

// Under a translated interface dates and sizes are written as the locale writes them; in
// English they keep the fixed forms below. Off until the interface is translated.
void SetLocaleFormats(bool on);

// "Friday, March 5, 2004, 2:07:09 PM" in local time for a count of seconds since 1970 UTC; an
// unreadable text reads as 0. Empty for empty text, a negative count, or a time the C library
// cannot convert.
std::string FormatDate(const std::string& secondsText);

// "[h:]mm:ss" for a count of milliseconds, rounded up to at least one second; empty for an
// empty text or a count below 1. Raises ConvertError when the text is not a decimal integer.
std::string FormatDuration(const std::string& millisecondsText);

// "1.50 GB", "3.25 MB" or "123,456 Bytes". Negative and non-finite counts read as 0.
std::string FormatSize(double bytes);
// The text read as a floating-point number; an unreadable text reads as 0.
std::string FormatSize(const std::string& bytesText);

// Whether a content type is exactly "x-application/lumo-broken" (case matters).
bool IsBrokenContentType(const std::string& contentType);
// Whether the item stands for something that is gone, by its "ContentType".
bool IsBroken(MediaItem& item);

// How a message box names an item: the full local path of a file, else the whole URL text.
std::string ItemDisplayPath(LumoApi::UrlApi* url);

// Why publishing (publishing true) or unpublishing an item failed, as the sentence its box
// adds: the system's text for the error, except where that would mislead (an item published
// already, the published set's own store failing). Empty when nothing is known.
std::string ChangeFailureReason(const std::exception_ptr& failure, bool publishing);
