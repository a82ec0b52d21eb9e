// The contents of one Windows shortcut file (".lnk"), read once by our own reader of the
// Shell Link binary format. Shortcuts are only ever read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

// A shortcut that cannot be read (missing, not a regular file, larger than c_MaxFileBytes, not
// a shortcut, truncated, or with sizes or offsets pointing outside the file) keeps every field
// empty and show command 1, as if nothing had been read; only the link path is set. Reading
// never throws and never reads outside the bytes it was given.
//
// Texts are UTF-8: Unicode strings come from UTF-16LE (lone surrogates become U+FFFD), the
// others from code page 1252. Each text ends at its first NUL and is cut to its limit in
// characters (code points), never inside a UTF-8 sequence. Paths keep the backslashes they
// were written with; TargetAsLocalPath turns the target into a path of this system.
class ShellLink {
public:
    static constexpr size_t c_DescriptionChars = 200;
    static constexpr size_t c_PathChars = 260; // target, relative path, working folder, arguments
    static constexpr size_t c_MaxFileBytes = size_t(1) << 20;
    static constexpr int32_t c_ShowNormal = 1;
    static constexpr int32_t c_ShowMaximized = 3;
    static constexpr int32_t c_ShowMinNoActive = 7;

    // Reads the shortcut file at path.
    explicit ShellLink(const std::string& path);
    // Reads a shortcut held in memory as if it had been read from linkPath.
    static ShellLink FromBytes(const uint8_t* data, size_t sizeBytes, std::string linkPath);

    // False when the shortcut could not be read (all other fields then empty, show command 1).
    bool Loaded() const noexcept { return m_loaded; }
    const std::string& LinkPath() const noexcept { return m_linkPath; }
    const std::string& Description() const noexcept { return m_description; }
    // LocalBasePath + CommonPathSuffix, or "\\server\share\" + CommonPathSuffix for a target on a
    // network share only; failing both, the relative path as written (relative to the
    // shortcut's folder).
    const std::string& TargetPath() const noexcept { return m_targetPath; }
    // The target relative to the shortcut's folder, as written ("..\Music\song.mp3").
    const std::string& RelativePath() const noexcept { return m_relativePath; }
    const std::string& Arguments() const noexcept { return m_arguments; }
    const std::string& WorkingDirectory() const noexcept { return m_workingDirectory; }
    // 1, 3 or 7; any other stored value reads as 1.
    int32_t ShowCommand() const noexcept { return m_showCommand; }

    // The target as a path of this system, "" without a target. Backslashes become "/". A target
    // that is a Windows drive path ("C:/Music/a.mp3") or a share ("//server/share/a.mp3") has no
    // counterpart here; when the shortcut also holds a relative path, that path resolved against
    // the shortcut's folder is answered instead (it finds targets on copied or mounted Windows
    // disks), otherwise the drive or share form is kept and simply will not exist. A relative
    // target is made absolute against the shortcut's folder; "." and ".." are resolved by name.
    std::string TargetAsLocalPath() const;

private:
    struct InMemory { };
    ShellLink(InMemory, std::string linkPath) noexcept : m_linkPath(std::move(linkPath)) { }
    void Read(const uint8_t* data, size_t sizeBytes) noexcept;

    std::string m_linkPath;
    bool m_loaded = false;
    std::string m_description;
    std::string m_targetPath;
    std::string m_relativePath;
    std::string m_arguments;
    std::string m_workingDirectory;
    int32_t m_showCommand = c_ShowNormal;
};
