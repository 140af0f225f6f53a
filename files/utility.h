// File operations of an acquisition run that need no widget.
#pragma once

#include <QDateTime>
#include <QString>

class Utility
{
public:
    Utility() = default;

    // Makes the folder for a new run's image files under dataPath and returns
    // the base name the run appends exposure and frame numbers to, or an
    // empty text when the folder cannot be made:
    //   prefix Frame:       <dataPath>/Frame/<yyyyMMddhhmmss>/Frame
    //   prefix SingleFrame: <dataPath>/SingleFrame/Frame_<yyyyMMddhhmmss>
    // A blank prefix becomes "Frame"; any other prefix is used as written.
    static QString CreateImageFileName(QString dataPath, QString prefix);
    // The same at a given local time.
    static QString CreateImageFileName(QString dataPath, QString prefix, const QDateTime &now);
};
