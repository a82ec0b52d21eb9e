#include "SystemFileTypes.h"

#include <algorithm>
#include <map>
#include <set>

#include <QFile>
#include <QMimeDatabase>
#include <QMimeType>
#include <QStandardPaths>

#include "host/ContentType.h"

namespace {

// The extension of a simple "*.ext" glob, lower case; empty for any other pattern.
std::string ExtensionOfGlob(const QString& glob)
{
    // Only plain extension globs: "*.tar.gz" counts, "*.[ch]" or "README*" do not.
    if (!glob.startsWith(QLatin1String("*.")) || glob.size() < 3)
        return std::string();
    const QString extension = glob.mid(1);
    if (extension.contains(QLatin1Char('*')) || extension.contains(QLatin1Char('?'))
        || extension.contains(QLatin1Char('[')))
        return std::string();
    return ToLower(extension.toStdString());
}

} // namespace

std::vector<FileType> SystemFileTypes()
{
    std::vector<FileType> types;
    const QMimeDatabase database;
    for (const QMimeType& mimeType : database.allMimeTypes()) {
        FileType type;
        for (const QString& glob : mimeType.globPatterns()) {
            std::string extension = ExtensionOfGlob(glob);
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
        std::set<std::string> seenHere;
        while (!file.atEnd()) {
            // weight:type:glob[:flags]
            const QList<QByteArray> fields = file.readLine().trimmed().split(':');
            if (fields.size() < 3 || fields[0].startsWith('#'))
                continue;
            const std::string type = ToLower(fields[1].toStdString());
            if (byType.count(type) && !seenHere.count(type))
                continue;
            seenHere.insert(type);
            std::vector<std::string>& extensions = byType[type];
            std::string extension = ExtensionOfGlob(QString::fromUtf8(fields[2]));
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
