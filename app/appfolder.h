// The application folder: where pac.ini lives and what becomes the working
// directory. It is the executable's folder; tests that run side by side point
// it at a folder of their own.
#pragma once

#include <QString>

QString ApplicationFolder();
// Empty text returns to the executable's folder.
void SetApplicationFolderForTesting(const QString &folder);
