#include "SystemFileTypes.h"

#include <algorithm>
#include <map>
#include <set>
#include <string_view>

#include <QFile>
#include <QMimeDatabase>
#include <QMimeType>
#include <QStandardPaths>

#include "host/ContentType.h"

namespace {

// The extension of a simple "*.ext" glob, lower case; empty for any other pattern.
std::string ExtensionOfGlob(std::string_view glob)
{
    // Only plain extension globs: "*.tar.gz" counts, "*.[ch]" or "README*" do not.
    if (!glob.starts_with("*.") || glob.size() < 3)
        return std::string();
    const std::string_view extension = glob.substr(1);
    if (extension.find_first_of("*?[") != std::string_view::npos)
        return std::string();
    return ToLower(extension);
}

std::string_view Trimmed(std::string_view text)
{
    constexpr std::string_view c_Space = " \t\n\v\f\r";
    const size_t first = text.find_first_not_of(c_Space);
    if (first == std::string_view::npos)
        return std::string_view();
    return text.substr(first, text.find_last_not_of(c_Space) - first + 1);
}

// The field of line that starts at from, up to the next ":".
std::string_view FieldAt(std::string_view line, size_t& from)
{
    const size_t colon = std::min(line.find(':', from), line.size());
    const std::string_view field = line.substr(from, colon - from);
    from = colon + 1;
    return field;
}

} // namespace

std::vector<FileType> SystemFileTypes()
{
    std::vector<FileType> types;
    const QMimeDatabase database;
    for (const QMimeType& mimeType : database.allMimeTypes()) {
        FileType type;
        for (const QString& glob : mimeType.globPatterns()) {
            std::string extension = ExtensionOfGlob(glob.toStdString());
            if (!extension.empty())
                type.extensions.push_back(std::move(extension));
        }
        if (type.extensions.empty())
            continue;
        type.contentType = ToLower(mimeType.name().toStdString());
        type.description = mimeType.comment().toStdString();
        types.push_back(std::move(type));
    }
    return types;
}

std::optional<std::vector<FileType>> SystemGlobTypes()
{
    // Most important folder first: a type it names keeps its globs from there, as the toolkit
    // takes a type's whole definition from the first folder that defines it.
    const QStringList files = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, "mime/globs2");
    if (files.isEmpty())
        return std::nullopt;
    std::map<std::string, std::vector<std::string>> byType;
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        // Read whole and cut by hand: it is read on the first question about an extension,
        // which a listing may be waiting for.
        const QByteArray bytes = file.readAll();
        const std::string_view text(bytes.constData(), size_t(bytes.size()));
        std::set<std::string> seenHere;
        for (size_t start = 0; start < text.size();) {
            const size_t end = std::min(text.find('\n', start), text.size());
            const std::string_view line = Trimmed(text.substr(start, end - start));
            start = end + 1;
            // weight:type:glob[:flags]
            if (line.empty() || line[0] == '#' || std::count(line.begin(), line.end(), ':') < 2)
                continue;
            size_t at = 0;
            FieldAt(line, at);
            const std::string type = ToLower(FieldAt(line, at));
            const std::string_view glob = FieldAt(line, at);
            if (byType.count(type) && !seenHere.count(type))
                continue;
            seenHere.insert(type);
            std::vector<std::string>& extensions = byType[type];
            std::string extension = ExtensionOfGlob(glob);
            if (!extension.empty() && std::find(extensions.begin(), extensions.end(), extension) == extensions.end())
                extensions.push_back(std::move(extension));
        }
    }
    std::vector<FileType> types;
    for (auto& [type, extensions] : byType) {
        if (!extensions.empty())
            types.push_back(FileType{type, std::move(extensions), std::string()});
    }
    return types;
}
