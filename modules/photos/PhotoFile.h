// Photo files: the path a URL names, the file's stamp, and reading by ranges. File names are
// bytes; only the texts meant for people are made readable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <lumo/Url.h>

namespace LumoPhotos {

// The URL scheme of the photos class; its folder views prefix "lumophotos-" to "file".
constexpr const char c_ClassScheme[] = "lumophotos";

// The path of a "file" URL on this machine, or of the same URL with the class prefix
// ("lumophotos-file:///a.jpg"). False for anything else.
bool PathOfPhotoUrl(LumoApi::UrlApi* url, std::string& path);

// bytes as valid UTF-8: a byte outside a well-formed sequence becomes U+FFFD.
std::string ReadableText(std::string_view bytes);

// The last component of a path.
std::string_view LeafOf(std::string_view path);

// What identifies one version of a file's contents, and its dates.
struct FileStamp {
    uint64_t sizeBytes = 0;
    // Last modification, nanoseconds since 1970.
    int64_t modifiedNs = 0;
    // Seconds since 1970: birth where the file system keeps it, else the status change.
    int64_t createdSec = 0;

    int64_t ModifiedSec() const;
};

// The stamp of path without opening it. Throws PhotoError: 1168 when it is missing.
FileStamp StampOf(const std::string& path);

// A regular file opened for reading. Any thread; one thread at a time per object.
class PhotoFile {
public:
    // Throws PhotoError: 1168 when missing, 5 for a folder, device or pipe.
    explicit PhotoFile(const std::string& path);
    ~PhotoFile();
    PhotoFile(const PhotoFile&) = delete;
    PhotoFile& operator=(const PhotoFile&) = delete;

    const FileStamp& Stamp() const noexcept { return m_stamp; }
    int Descriptor() const noexcept { return m_fd; }

    // Reads up to sizeBytes at offset; answers how many were read (fewer at the end).
    // Throws PhotoError on a read error.
    size_t ReadAt(uint64_t offset, uint8_t* bytes, size_t sizeBytes) const;
    // The whole file. Throws PhotoError: 8 beyond maxBytes, 13 when it shrank meanwhile.
    std::vector<uint8_t> ReadAll(uint64_t maxBytes) const;

private:
    int m_fd = -1;
    FileStamp m_stamp;
};

// Random access to the bytes of a file or a memory block, for the header parsers.
class ByteSource {
public:
    // The sizeBytes bytes at offset, or null when the data ends first. Valid until the next
    // call. Throws PhotoError on a read error.
    virtual const uint8_t* At(uint64_t offset, size_t sizeBytes) = 0;

protected:
    ~ByteSource() = default;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const uint8_t* bytes, size_t sizeBytes) : m_bytes(bytes), m_size(sizeBytes) { }
    const uint8_t* At(uint64_t offset, size_t sizeBytes) override;

private:
    const uint8_t* m_bytes;
    size_t m_size;
};

// The head of a file, read in growing blocks as the parsers ask for more: a header lies in
// the first kilobytes, so a photo's details never read its image data.
class FileHead final : public ByteSource {
public:
    explicit FileHead(const PhotoFile& file) : m_file(file) { }
    const uint8_t* At(uint64_t offset, size_t sizeBytes) override;

private:
    const PhotoFile& m_file;
    std::vector<uint8_t> m_bytes;
    bool m_atEnd = false;
};

} // namespace LumoPhotos
