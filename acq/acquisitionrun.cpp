#include "acquisitionrun.h"

#include "fitsfile.h"

#include <QFile>

namespace Acquisition {

AcquisitionRun::AcquisitionRun(const AcquisitionPlan &plan, Steps &steps, QObject *parent)
    : QObject(parent), plan(plan), steps(steps)
{
}

bool AcquisitionRun::LoadSync()
{
    QString error;
    if (!steps.LoadSyncScript(plan.syncScript, error)) {
        emit LogLine(QStringLiteral("Loading sync file ") + plan.syncScript + QStringLiteral(" failed. ") + error);
        return false;
    }
    emit LogLine(QStringLiteral("Loading sync file ") + plan.syncScript + QStringLiteral(" succeeded"));
    return true;
}

bool AcquisitionRun::Run()
{
    saved = 0;
    const bool haveSync = !plan.syncScript.isEmpty();
    if (haveSync && plan.syncMode == SyncMode::OnAcquisition && !LoadSync())
        return false;

    clock.start();
    emit Progress(0, plan.TotalFrames(), 0);
    QString readBase;
    for (quint32 n = 1; n <= plan.exposures; ++n) {
        if (haveSync && plan.syncMode == SyncMode::OnEveryExposure && !LoadSync())
            return false;
        emit LogLine(QStringLiteral("Acquire exposure ") + QString::number(n - 1) + QStringLiteral(" .... "));
        const QString resetBase = ResetBase(plan.basePath, n, plan.exposures);
        readBase = ReadBase(plan.basePath, n, plan.exposures);
        if (steps.Trigger(plan.firstFrameTimeoutMs) != 0)
            return false;
        const bool viewerOnReset = plan.viewer && n == 1 && plan.resetFrames > 0;
        const bool viewerOnRead = plan.viewer && n == 1 && plan.resetFrames == 0;
        if (!TakeFrames(plan.resetFrames, true, resetBase, viewerOnReset))
            return false;
        if (!TakeFrames(plan.readFrames, false, readBase, viewerOnRead))
            return false;
    }
    emit LogLine(QStringLiteral("Exposure acquisition succeeded. Total time: ~")
                 + QString::number(clock.elapsed() / 1000) + QStringLiteral("s"));

    if (plan.testPattern && (plan.asicNames.size() < 2 || plan.splitPerAsic))
        VerifyPattern(readBase);
    return true;
}

bool AcquisitionRun::TakeFrames(quint32 count, bool reset, const QString &base, bool openViewer)
{
    const QString what = reset ? QStringLiteral("Start to acquire reset frame ") : QStringLiteral("Start to acquire read frame ");
    QElapsedTimer sinceLine;
    for (quint32 i = 0; i < count; ++i) {
        // A line per frame would flood the log panel at high frame rates.
        if (i == 0 || sinceLine.elapsed() >= 1) {
            emit LogLine(what + QString::number(i) + QStringLiteral("..."));
            sinceLine.start();
        }
        const QString name = reset ? ResetFrameName(base, i + 1) : ReadFrameName(base, i + 1, plan.readFrames);
        if (!steps.TakeFrame(plan.FrameTimeoutMs(), name))
            return false;
        ++saved;
        emit Progress(saved, plan.TotalFrames(), clock.elapsed());
        if (i == 0 && openViewer)
            emit ViewerRequested(FrameFiles(name, plan));
        if (steps.StopCheck() != 0)
            return false;
    }
    return true;
}

void AcquisitionRun::VerifyPattern(const QString &readBase)
{
    const bool perAsic = plan.asicNames.size() > 1;
    for (quint32 f = 0; f < plan.readFrames; ++f) {
        const QString name = ReadFrameName(readBase, f + 1, plan.readFrames);
        const QStringList files = FrameFiles(name, plan);
        for (int k = 0; k < files.size(); ++k) {
            const QString fifo = perAsic ? QStringLiteral(" FIFO") + plan.asicNames.at(k) : QString();
            FitsImage<unsigned short> image;
            FitsHeader header;
            if (!image.ReadFitsFile(QFile::encodeName(files.at(k)).toStdString(), header)) {
                emit LogLine(QStringLiteral("Pattern verification for frame ") + QString::number(f)
                             + QStringLiteral(" failed. Reading file failed - ") + files.at(k));
                continue;
            }
            const QVector<PatternMismatch> wrong =
                PatternMismatches(image.pixels.data(), quint32(image.pixels.size()), f);
            for (const PatternMismatch &m : wrong)
                emit LogLine(QStringLiteral("Pattern verification failed: frame") + QString::number(f) + fifo
                             + QStringLiteral(", pixel") + QString::number(m.pixel) + QStringLiteral(", val ")
                             + QString::number(m.value) + QStringLiteral(", expect ") + QString::number(m.expected));
            if (wrong.isEmpty())
                emit LogLine(QStringLiteral("Pattern verification for frame") + QString::number(f) + fifo
                             + QStringLiteral(" succeeded"));
        }
    }
}

}  // namespace Acquisition
