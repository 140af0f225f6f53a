#include "scilog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QMutexLocker>
#include <QTime>

bool SciLog::Open(const QString &path)
{
    QMutexLocker locker(&mutex);
    if (open) {
        stream.flush();
        file.close();
    }
    open = false;
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    stream.setDevice(&file);
    open = true;
    return true;
}

void SciLog::Close()
{
    QMutexLocker locker(&mutex);
    if (!open)
        return;
    stream.flush();
    stream.setDevice(nullptr);
    file.close();
    open = false;
}

void SciLog::Line(const QString &text)
{
    QMutexLocker locker(&mutex);
    if (open)
        stream << text << '\n';
}

void SciLog::Flush()
{
    QMutexLocker locker(&mutex);
    if (open)
        stream.flush();
}

QString SciLog::EpochMs()
{
    return QString::number(QDateTime::currentMSecsSinceEpoch());
}

QString SciLog::TimeOfDay()
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz"));
}

QString SciLog::FolderPath(const QString &fileName)
{
    const QString folder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    return folder + QLatin1Char('/') + fileName;
}
