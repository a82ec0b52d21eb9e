#include "FolderMemo.h"

#include <cstring>

namespace LumoModules {

namespace {

// Far more folders than a large collection has; past it the memory copy starts again and the
// backing still answers.
constexpr size_t c_MaxEntries = 200000;
constexpr uint8_t c_EncodingVersion = 1;
constexpr const char c_KeyPrefix[] = "folder-memo:";

uint64_t Fnv1a(const void* bytes, size_t size, uint64_t hash = 0xcbf29ce484222325ull)
{
    const auto* at = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ at[i]) * 0x100000001b3ull;
    return hash;
}

void PutInt(std::string& out, uint64_t value)
{
    char bytes[8];
    std::memcpy(bytes, &value, 8);
    out.append(bytes, 8);
}

void PutText(std::string& out, const std::string& text)
{
    PutInt(out, text.size());
    out += text;
}

// Reads what PutInt and PutText wrote; every read checks the length left, so damaged bytes
// give nothing instead of reading past the end.
class Reader {
public:
    explicit Reader(const std::string& bytes) : m_bytes(bytes) { }
    bool Int(uint64_t& value)
    {
        if (m_bytes.size() - m_at < 8)
            return false;
        std::memcpy(&value, m_bytes.data() + m_at, 8);
        m_at += 8;
        return true;
    }
    bool Text(std::string& text)
    {
        uint64_t size = 0;
        if (!Int(size) || m_bytes.size() - m_at < size)
            return false;
        text.assign(m_bytes, m_at, size);
        m_at += size;
        return true;
    }
    bool AtEnd() const { return m_at == m_bytes.size(); }

private:
    const std::string& m_bytes;
    size_t m_at = 0;
};

} // namespace

FolderMemo::FolderMemo(const std::string& filter, MemoBacking* backing)
    : m_filterHash(Fnv1a(filter.data(), filter.size())), m_backing(backing)
{
}

uint32_t FolderMemo::TagOf(const FolderStamp& stamp) const
{
    uint64_t hash = Fnv1a(&stamp.mtimeNs, sizeof stamp.mtimeNs, m_filterHash);
    hash = Fnv1a(&stamp.ctimeNs, sizeof stamp.ctimeNs, hash);
    hash = Fnv1a(&stamp.inode, sizeof stamp.inode, hash);
    // A zero tag would match any stored block.
    return uint32_t(hash ^ (hash >> 32)) | 1u;
}

std::string FolderMemo::Encode(const MemoEntry& entry, uint64_t filterHash)
{
    std::string out;
    out += char(c_EncodingVersion);
    PutInt(out, filterHash);
    PutInt(out, uint64_t(entry.stamp.mtimeNs));
    PutInt(out, uint64_t(entry.stamp.ctimeNs));
    PutInt(out, entry.stamp.device);
    PutInt(out, entry.stamp.inode);
    PutInt(out, (entry.hasMedia ? 1 : 0) | (entry.witnessIsFolder ? 2 : 0));
    PutText(out, entry.witness);
    PutInt(out, entry.subfolders.size());
    for (const std::string& name : entry.subfolders)
        PutText(out, name);
    return out;
}

std::optional<MemoEntry> FolderMemo::Decode(const std::string& bytes, uint64_t filterHash)
{
    if (bytes.empty() || uint8_t(bytes[0]) != c_EncodingVersion)
        return std::nullopt;
    const std::string body = bytes.substr(1);
    Reader reader(body);
    MemoEntry entry;
    uint64_t hash = 0, mtime = 0, ctime = 0, flags = 0, count = 0;
    if (!reader.Int(hash) || hash != filterHash || !reader.Int(mtime) || !reader.Int(ctime)
        || !reader.Int(entry.stamp.device) || !reader.Int(entry.stamp.inode) || !reader.Int(flags)
        || !reader.Text(entry.witness) || !reader.Int(count))
        return std::nullopt;
    entry.stamp.mtimeNs = int64_t(mtime);
    entry.stamp.ctimeNs = int64_t(ctime);
    entry.hasMedia = flags & 1;
    entry.witnessIsFolder = flags & 2;
    for (uint64_t i = 0; i < count; ++i) {
        std::string name;
        if (!reader.Text(name))
            return std::nullopt;
        entry.subfolders.push_back(std::move(name));
    }
    if (!reader.AtEnd())
        return std::nullopt;
    return entry;
}

std::optional<MemoEntry> FolderMemo::Find(const std::string& path, const FolderStamp& stamp)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        auto found = m_entries.find(path);
        if (found != m_entries.end()) {
            if (found->second.stamp == stamp)
                return found->second;
            // The folder changed since: the backing's copy is as old.
            return std::nullopt;
        }
    }
    if (!m_backing)
        return std::nullopt;
    std::optional<std::string> bytes = m_backing->Load(c_KeyPrefix + path, TagOf(stamp));
    if (!bytes)
        return std::nullopt;
    std::optional<MemoEntry> entry = Decode(*bytes, m_filterHash);
    if (!entry || !(entry->stamp == stamp))
        return std::nullopt;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_entries.size() >= c_MaxEntries)
        m_entries.clear();
    m_entries[path] = *entry;
    return entry;
}

void FolderMemo::Store(const std::string& path, const MemoEntry& entry)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_entries.size() >= c_MaxEntries)
            m_entries.clear();
        m_entries[path] = entry;
    }
    if (m_backing)
        m_backing->Save(c_KeyPrefix + path, Encode(entry, m_filterHash), TagOf(entry.stamp));
}

} // namespace LumoModules
