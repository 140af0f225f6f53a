#include "appfolder.h"

#include <QCoreApplication>

namespace {
QString folderOverride;
}

QString ApplicationFolder()
{
    return folderOverride.isEmpty() ? QCoreApplication::applicationDirPath() : folderOverride;
}

void SetApplicationFolderForTesting(const QString &folder)
{
    folderOverride = folder;
}
