// The icons views show beside items, taken from the desktop's icon theme. Two process-wide lists
// (16 px and 32 px) hold every icon once; views share them and keep only indexes.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <QHash>
#include <QIcon>
#include <QSet>
#include <QString>

class MediaItem;

// An entry never moves once added, so an index stays valid for the life of the process. The lists
// are never destroyed; callers must not free them. Safe from any thread, though only the
// interface thread fills them (see GetItemIcon).
class ItemIconList {
public:
    static ItemIconList& Small();
    static ItemIconList& Large();

    ItemIconList(const ItemIconList&) = delete;
    ItemIconList& operator=(const ItemIconList&) = delete;

    int IconSizePx() const noexcept { return m_iconSizePx; }
    // The index of the icon stored under key, adding icon under it when the key is new; -1 for a
    // null icon or an empty key.
    int IndexOf(const QIcon& icon, const QString& key);
    // The index of the icon stored under key; -1 when none is.
    int Find(const QString& key) const;
    // Theme icon names found missing, so that a name is asked of the theme once.
    bool KnownMissing(const QString& name) const;
    void SetMissing(const QString& name);
    // A null icon for an index out of range.
    QIcon Icon(int index) const;
    int Count() const;

private:
    explicit ItemIconList(int iconSizePx) : m_iconSizePx(iconSizePx) { }

    const int m_iconSizePx;
    // Guards m_icons, m_indexOfKey and m_missing.
    mutable std::mutex m_lock;
    std::vector<QIcon> m_icons;
    QHash<QString, int> m_indexOfKey;
    QSet<QString> m_missing;
};

// Flags of GetItemIcon; without c_ItemIconSmall the icon is the large one.
inline constexpr uint32_t c_ItemIconLarge = 0x0;
inline constexpr uint32_t c_ItemIconSmall = 0x1;
// A folder drawn open, for expanded tree nodes; other icons are unaffected.
inline constexpr uint32_t c_ItemIconOpen = 0x2;

// The icon of an item, decided in this order:
// 1. "ShellObjectCSIDL": comma-separated special-folder numbers (0 to 255), the first one with an
//    icon wins; an out-of-range or unreadable entry fails an assertion and is skipped.
// 2. "SpecialFolderType": "music", "pictures", "videos", "documents", "desktop", "download".
// 3. "SourceLocation" naming an existing file or folder: the icon of what is there.
// 4. The extension of "SourceLocation" ("http://" and "https://" as web links), never touching
//    the disk, so unreachable network places do not stall the interface.
// On success list is Small() or Large() by the flags and index an entry in it; on failure list is
// null and index -1. Fails at once without a QGuiApplication. Interface thread only: the icon
// theme is not thread-safe. Reading the item's properties may raise its module's errors.
bool GetItemIcon(MediaItem& item, uint32_t flags, ItemIconList*& list, int& index);

// GetItemIcon for the three property texts.
bool GetIconForProperties(const std::string& csidl, const std::string& specialFolderType,
    const std::string& sourceLocation, uint32_t flags, ItemIconList*& list, int& index);
