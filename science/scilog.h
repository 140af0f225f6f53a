// A diagnostic stream log (usbSciLog.txt, gigESciLog.txt) that the GUI thread
// and a receiver thread may both write to. Lines are written as given; the
// caller puts the time stamp in front.
#pragma once

#include <QFile>
#include <QMutex>
#include <QString>
#include <QTextStream>

class SciLog
{
public:
    SciLog() = default;
    ~SciLog() { Close(); }
    SciLog(const SciLog &) = delete;
    SciLog &operator=(const SciLog &) = delete;

    // Truncates and opens `path` (owner read/write, group read). False when it
    // cannot be opened; the log then stays off.
    bool Open(const QString &path);
    void Close();
    bool IsOpen() const { return open; }

    void Line(const QString &text);
    void Flush();

    // Milliseconds since the epoch, the stamp of the GigE log lines.
    static QString EpochMs();
    // "hh:mm:ss.zzz", the stamp of the USB log lines.
    static QString TimeOfDay();
    // The application's folder, where both logs are written.
    static QString FolderPath(const QString &fileName);

private:
    QMutex mutex;
    QFile file;
    QTextStream stream;
    bool open = false;
};
