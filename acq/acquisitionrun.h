// The sequence of one acquisition run, once the science path is configured:
//  1. load the sync script once for the run, or before every exposure;
//  2. for each exposure: trigger, then take the reset frames and the read
//     frames one by one, each saved under its own name, checking for a stop
//     after every frame; the viewer opens on the first frame saved;
//  3. test pattern: check the read frames of the last exposure.
// The card, the receiver and the frame writer are reached through Steps, so
// that the window and a command-line front end drive the same run. The run
// reports through signals only.
#pragma once

#include "acquisitionplan.h"

#include <QElapsedTimer>
#include <QObject>

namespace Acquisition {

class AcquisitionRun : public QObject
{
    Q_OBJECT

public:
    // What a run needs from its driver. Each step logs its own failures.
    class Steps
    {
    public:
        virtual ~Steps() = default;
        // Loads the sync script into the selected ASICs; false leaves `error`.
        virtual bool LoadSyncScript(const QString &path, QString &error) = 0;
        // 0 data are coming, 1 stopped by the operator, 2 failed or timed out.
        virtual int Trigger(int timeoutMs) = 0;
        // Receives one frame and saves it under `name` (".fits" and "_ASIC" k
        // are added by the writer).
        virtual bool TakeFrame(int timeoutMs, const QString &name) = 0;
        // 0 go on, 1 stopped cleanly, 2 stop requested but stopping failed.
        virtual int StopCheck() = 0;
    };

    AcquisitionRun(const AcquisitionPlan &plan, Steps &steps, QObject *parent = nullptr);

    // The whole sequence; true when every frame was saved.
    bool Run();

signals:
    void LogLine(const QString &text);
    // Files to open in the viewer, one command each.
    void ViewerRequested(const QStringList &files);
    // After every saved frame, and once with 0 at the start.
    void Progress(quint64 saved, quint64 total, qint64 elapsedMs);

private:
    bool LoadSync();
    bool TakeFrames(quint32 count, bool reset, const QString &base, bool openViewer);
    void VerifyPattern(const QString &readBase);

    AcquisitionPlan plan;
    Steps &steps;
    quint64 saved = 0;
    QElapsedTimer clock;
};

}  // namespace Acquisition
