#include "utility.h"

#include <QDir>

QString Utility::CreateImageFileName(QString dataPath, QString prefix)
{
    return CreateImageFileName(dataPath, prefix, QDateTime::currentDateTime());
}

QString Utility::CreateImageFileName(QString dataPath, QString prefix, const QDateTime &now)
{
    if (prefix.trimmed().isEmpty())
        prefix = QStringLiteral("Frame");
    const QChar separator = QDir::separator();
    if (!dataPath.endsWith(separator) && !dataPath.endsWith(QLatin1Char('/')))
        dataPath += separator;

    const QString stamp = now.toString(QStringLiteral("yyyyMMddhhmmss"));
    QString folder;
    QString baseName;
    // Single frames all go into one folder and differ by their time stamp;
    // every other run gets a folder of its own.
    if (prefix.compare(QLatin1String("SINGLEFRAME"), Qt::CaseInsensitive) == 0) {
        folder = dataPath + prefix + separator;
        baseName = folder + QStringLiteral("Frame_") + stamp;
    } else {
        folder = dataPath + prefix + separator + stamp + separator;
        baseName = folder + QStringLiteral("Frame");
    }

    if (!QDir(folder).exists())
        QDir().mkpath(folder);
    return QDir(folder).exists() ? baseName : QString();
}
