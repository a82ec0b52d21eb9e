#include "SystemFileTypes.h"

#include <QMimeDatabase>
#include <QMimeType>

#include "host/ContentType.h"

std::vector<FileType> SystemFileTypes()
{
    std::vector<FileType> types;
    const QMimeDatabase database;
    for (const QMimeType& mimeType : database.allMimeTypes()) {
        FileType type;
        for (const QString& glob : mimeType.globPatterns()) {
            // Only plain extension globs: "*.tar.gz" counts, "*.[ch]" or "README*" do not.
            if (!glob.startsWith(QLatin1String("*.")) || glob.size() < 3)
                continue;
            const QString extension = glob.mid(1);
            if (extension.contains(QLatin1Char('*')) || extension.contains(QLatin1Char('?'))
                || extension.contains(QLatin1Char('[')))
                continue;
            type.extensions.push_back(ToLower(extension.toStdString()));
        }
        if (type.extensions.empty())
            continue;
        type.contentType = ToLower(mimeType.name().toStdString());
        type.description = mimeType.comment().toStdString();
        types.push_back(std::move(type));
    }
    return types;
}
