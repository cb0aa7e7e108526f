#include "platform/projectorfiles.h"

#include <QDir>
#include <QFileInfo>

namespace ProjectorFiles {

bool isProjectorName(const QString &fileName)
{
    const QString name = fileName.section(u'/', -1);
    return name.startsWith(QLatin1String("mmproj"), Qt::CaseInsensitive) && name.size() > 6
           && (name.at(6) == u'-' || name.at(6) == u'_' || name.at(6) == u'.')
           && name.endsWith(QLatin1String(".gguf"), Qt::CaseInsensitive);
}

std::optional<QString> beside(const QString &modelPath)
{
    const QFileInfo model(modelPath);
    if (!model.isFile())
        return std::nullopt;
    const QStringList found = model.dir().entryList({QStringLiteral("mmproj*.gguf")},
                                                    QDir::Files | QDir::Readable,
                                                    QDir::Name | QDir::IgnoreCase);
    for (const QString &name : found) {
        if (isProjectorName(name))
            return model.dir().filePath(name);
    }
    return std::nullopt;
}

} // namespace ProjectorFiles
