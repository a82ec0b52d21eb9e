// The byte ranges clients ask for, judged before the engine sees them. The engine reads a
// suffix range ("bytes=-500", the last 500 bytes) as the first 501 bytes, and the empty
// suffix "bytes=-0", which no resource can satisfy, as its first byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct RangeVerdict {
    enum Kind {
        // Left to the engine as it stands (no range, or one it reads right or refuses itself).
        Keep,
        // Replaced by header, which means the same to the engine.
        Rewrite,
        // Dropped: the whole resource is served (a suffix of a resource of unknown size).
        Drop,
        // Answered 416 with "Content-Range: bytes */size".
        Unsatisfiable,
    };
    Kind kind = Keep;
    std::string header;
};

// What to do with a Range header for a resource of sizeBytes (-1 when not known).
RangeVerdict JudgeRange(std::string_view header, int64_t sizeBytes);

// The object id and resource a media URL path names ("/LumoServer/i/<base64 id>/res/primary.mp3"
// gives the id and "primary"; ".../th/0.jpg" gives "th"). False for any other path.
bool ParseResourcePath(std::string_view path, std::string& objectId, std::string& resource);
