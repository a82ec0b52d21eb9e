#include "picker/ItemIconList.h"

#include <charconv>
#include <initializer_list>
#include <memory>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeDatabase>
#include <QStandardPaths>

#include "common/Assert.h"
#include "host/ContentType.h"
#include "host/MediaItem.h"

namespace {

struct SpecialFolderEntry {
    int number;
    const char* iconName;
};

// The special-folder numbers items carry in "ShellObjectCSIDL"; numbers without an entry have no
// icon, so the next number of the list is tried.
constexpr SpecialFolderEntry c_specialFolderIcons[] = {
    {0, "user-desktop"},       // the desktop
    {5, "folder-documents"},   // the user's documents
    {6, "user-bookmarks"},     // favourites
    {10, "user-trash"},        // the wastebasket
    {13, "folder-music"},      // the user's music
    {14, "folder-videos"},     // the user's videos
    {16, "user-desktop"},      // the desktop's folder
    {17, "computer"},          // the computer
    {18, "network-workgroup"}, // the network
    {19, "network-workgroup"}, // network shortcuts
    {21, "folder-templates"},  // templates
    {25, "user-desktop"},      // everyone's desktop
    {39, "folder-pictures"},   // the user's pictures
    {40, "user-home"},         // the user's profile
    {46, "folder-documents"},  // everyone's documents
    {53, "folder-music"},      // everyone's music
    {54, "folder-pictures"},   // everyone's pictures
    {55, "folder-videos"},     // everyone's videos
};

struct FolderTypeEntry {
    const char* type;
    const char* iconName;
};

constexpr FolderTypeEntry c_specialFolderTypeIcons[] = {
    {"music", "folder-music"},
    {"pictures", "folder-pictures"},
    {"videos", "folder-videos"},
    {"documents", "folder-documents"},
    {"desktop", "user-desktop"},
    {"download", "folder-download"},
};

bool ThemeInstalled(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (const QString& folder : QIcon::themeSearchPaths()) {
        if (QFileInfo::exists(folder + '/' + name + "/index.theme"))
            return true;
    }
    return false;
}

// Offscreen and bare X sessions name no theme and search no system folder, so every theme lookup
// would come back null.
void EnsureIconTheme()
{
    static std::once_flag once;
    std::call_once(once, [] {
        QStringList searchPaths = QIcon::themeSearchPaths();
        const QStringList standard = QStringList{QDir::homePath() + "/.icons"}
            + QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, "icons", QStandardPaths::LocateDirectory);
        bool added = false;
        for (const QString& folder : standard) {
            if (!searchPaths.contains(folder) && QFileInfo(folder).isDir()) {
                searchPaths.append(folder);
                added = true;
            }
        }
        if (added)
            QIcon::setThemeSearchPaths(searchPaths);

        QString installed;
        for (const char* name : {"Adwaita", "hicolor"}) {
            if (ThemeInstalled(name)) {
                installed = name;
                break;
            }
        }
        if (installed.isEmpty())
            return;
        if (!ThemeInstalled(QIcon::themeName()))
            QIcon::setThemeName(installed);
        if (!ThemeInstalled(QIcon::fallbackThemeName()))
            QIcon::setFallbackThemeName(installed);
    });
}

// The first of names the theme has, stored in list under its name; -1 when it has none. The
// theme is asked once per name: asking costs more than the rest of a row of 20,000 songs.
int ThemeIcon(ItemIconList& list, std::initializer_list<QString> names)
{
    for (const QString& name : names) {
        if (name.isEmpty() || list.KnownMissing(name))
            continue;
        const QString key = "theme:" + name;
        if (const int stored = list.Find(key); stored >= 0)
            return stored;
        if (!QIcon::hasThemeIcon(name)) {
            list.SetMissing(name);
            continue;
        }
        const int index = list.IndexOf(QIcon::fromTheme(name), key);
        if (index >= 0)
            return index;
    }
    return -1;
}

int SpecialFolderNumberIcon(ItemIconList& list, const std::string& entry)
{
    // An unreadable entry counts as out of range.
    int id = -1;
    const char* end = entry.data() + entry.size();
    if (const auto [stop, error] = std::from_chars(entry.data(), end, id); error != std::errc() || stop != end)
        id = -1;
    LUMO_ASSERT(id >= 0 && id <= 255);
    if (id < 0 || id > 255)
        return -1;
    for (const SpecialFolderEntry& folder : c_specialFolderIcons) {
        if (folder.number == id)
            return ThemeIcon(list, {folder.iconName, "folder"});
    }
    return -1;
}

int SpecialFolderTypeIcon(ItemIconList& list, const std::string& type)
{
    for (const FolderTypeEntry& folder : c_specialFolderTypeIcons) {
        if (type == folder.type)
            return ThemeIcon(list, {folder.iconName, "folder"});
    }
    return -1;
}

// "scheme://...": never looked up on the disk.
bool HasScheme(const std::string& location)
{
    const size_t separator = location.find("://");
    if (separator == std::string::npos || separator == 0)
        return false;
    return location.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.") == separator;
}

bool IsWebLink(const std::string& location)
{
    const std::string lower = ToLower(location.substr(0, 8));
    return lower.starts_with("http://") || lower.starts_with("https://");
}

int ExistingPathIcon(ItemIconList& list, const QFileInfo& info, uint32_t flags)
{
    QMimeDatabase mimeTypes;
    QMimeType mimeType;
    int index = -1;
    if (info.isDir()) {
        index = ThemeIcon(list, {(flags & c_ItemIconOpen) ? "folder-open" : "folder", "folder"});
    } else {
        mimeType = mimeTypes.mimeTypeForFile(info);
        index = ThemeIcon(list, {mimeType.iconName(), mimeType.genericIconName()});
    }
    if (index >= 0)
        return index;
    // The style's icons need a widget application.
    std::unique_ptr<QAbstractFileIconProvider> provider;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        provider = std::make_unique<QFileIconProvider>();
    else
        provider = std::make_unique<QAbstractFileIconProvider>();
    const QIcon icon = provider->icon(info);
    const QString key = !icon.name().isEmpty() ? "theme:" + icon.name()
        : info.isDir()                         ? QString("provider:folder")
                                               : "provider:" + mimeType.name();
    return list.IndexOf(icon, key);
}

int ExtensionIcon(ItemIconList& list, const std::string& location)
{
    const bool webLink = IsWebLink(location);
    std::string extension;
    if (webLink) {
        extension = ".url";
    } else {
        // A dot in a folder name is no extension.
        const size_t dot = location.rfind('.');
        const size_t slash = location.find_last_of("/\\");
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
            extension = location.substr(dot);
    }
    if (extension.empty())
        return -1;
    const QMimeType mimeType
        = QMimeDatabase().mimeTypeForFile(QString::fromStdString("item" + extension), QMimeDatabase::MatchExtension);
    // Themes seldom draw link files; a web page is the nearest.
    const bool link = EqualsIgnoreCase(extension, ".url");
    return ThemeIcon(list, {mimeType.iconName(), link ? "text-html" : "", mimeType.genericIconName()});
}

} // namespace

ItemIconList& ItemIconList::Small()
{
    // Never destroyed: at exit the toolkit may already be gone when an icon would be released.
    static ItemIconList* list = new ItemIconList(16);
    return *list;
}

ItemIconList& ItemIconList::Large()
{
    static ItemIconList* list = new ItemIconList(32);
    return *list;
}

int ItemIconList::IndexOf(const QIcon& icon, const QString& key)
{
    if (icon.isNull() || key.isEmpty())
        return -1;
    std::lock_guard<std::mutex> lock(m_lock);
    const auto found = m_indexOfKey.constFind(key);
    if (found != m_indexOfKey.constEnd())
        return found.value();
    m_icons.push_back(icon);
    const int index = static_cast<int>(m_icons.size()) - 1;
    m_indexOfKey.insert(key, index);
    return index;
}

int ItemIconList::Find(const QString& key) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_indexOfKey.value(key, -1);
}

bool ItemIconList::KnownMissing(const QString& name) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_missing.contains(name);
}

void ItemIconList::SetMissing(const QString& name)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_missing.insert(name);
}

QIcon ItemIconList::Icon(int index) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (index < 0 || static_cast<size_t>(index) >= m_icons.size())
        return QIcon();
    return m_icons[static_cast<size_t>(index)];
}

int ItemIconList::Count() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<int>(m_icons.size());
}

bool GetIconForProperties(const std::string& csidl, const std::string& specialFolderType,
    const std::string& sourceLocation, uint32_t flags, ItemIconList*& list, int& index)
{
    list = nullptr;
    index = -1;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    EnsureIconTheme();
    ItemIconList& target = (flags & c_ItemIconSmall) ? ItemIconList::Small() : ItemIconList::Large();

    for (const std::string& entry : SplitCommaList(csidl)) {
        index = SpecialFolderNumberIcon(target, entry);
        if (index >= 0)
            break;
    }
    if (index < 0)
        index = SpecialFolderTypeIcon(target, specialFolderType);
    if (index < 0 && !sourceLocation.empty() && !HasScheme(sourceLocation)) {
        const QFileInfo info(QFile::decodeName(sourceLocation.c_str()));
        if (info.exists())
            index = ExistingPathIcon(target, info, flags);
    }
    if (index < 0 && !sourceLocation.empty())
        index = ExtensionIcon(target, sourceLocation);
    if (index < 0)
        return false;
    list = &target;
    return true;
}

bool GetItemIcon(MediaItem& item, uint32_t flags, ItemIconList*& list, int& index)
{
    list = nullptr;
    index = -1;
    const std::string csidl = item.Property("ShellObjectCSIDL");
    const std::string specialFolderType = item.Property("SpecialFolderType");
    const std::string sourceLocation = item.Property("SourceLocation");
    return GetIconForProperties(csidl, specialFolderType, sourceLocation, flags, list, index);
}
