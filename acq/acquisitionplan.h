// What one acquisition run does, captured when Acquire is pressed, and the
// pure pieces of a run: frame file names and their padding, the sync script's
// path, per-ASIC splitting of a frame, the test-pattern check and the
// progress read-out. Nothing here touches a widget or the card.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

namespace Acquisition {

// When the group's sync script is loaded into the selected ASICs.
enum class SyncMode { Never, OnAcquisition, OnEveryExposure };

// A plain value: the run reads nothing else.
struct AcquisitionPlan {
    bool testPattern = false;         // the card's test pattern instead of the ASICs' images
    quint32 exposures = 1;
    quint32 resetFrames = 0;          // per exposure; 0 when reset frames are not sent
    quint32 readFrames = 1;           // groups × reads, per exposure
    int firstFrameTimeoutMs = 0;
    int frameTimeoutMs = 0;
    QString basePath;                 // from Utility::CreateImageFileName
    QString syncScript;               // resolved; empty for none
    SyncMode syncMode = SyncMode::Never;
    bool viewer = false;              // open the first frame in the viewer
    QStringList asicNames;            // "1" ... "8" of the selected ASICs
    bool splitPerAsic = false;        // several ASICs and "Process Multi-FIFO Science Data at Runtime"

    quint64 TotalFrames() const { return quint64(exposures) * (quint64(resetFrames) + readFrames); }
    int FrameTimeoutMs() const { return qMax(firstFrameTimeoutMs, frameTimeoutMs); }
};

// Digits a number up to `count` is padded to: ceil(log10(count)), 0 for 1 or less.
int PaddingWidth(quint64 count);
// Pads with '0' to `width` digits; never shortens.
QString PadNumber(quint64 number, int width);

// X + "_E" + e + "_RST" and X + "_E" + e + "_N", e padded for `exposures`.
QString ResetBase(const QString &basePath, quint32 exposure, quint32 exposures);
QString ReadBase(const QString &basePath, quint32 exposure, quint32 exposures);
// Frame numbers from 1: reset frames padded to 4 digits, read frames for `readFrames`.
QString ResetFrameName(const QString &resetBase, quint32 frame);
QString ReadFrameName(const QString &readBase, quint32 frame, quint32 readFrames);
// The FITS files one saved frame leaves: one per ASIC when split, else one.
QStringList FrameFiles(const QString &name, const AcquisitionPlan &plan);

// A relative sync script is taken beside the acquisition configuration file;
// a leading "./" (or ".\") style part up to its first separator is dropped.
QString ResolveSyncScript(const QString &script, const QString &acqConfigFile);

// Image k (from 0) of a frame made of `blockSize`-pixel blocks taken from the
// ASICs in turn. Empty when the frame cannot be split that way (no block size,
// no images, k out of range).
QVector<quint16> AsicImage(const quint16 *frame, quint32 pixels, int images, quint32 blockSize, int k);

// Pixel i of test-pattern frame f (from 0) holds (i + 256 f) mod 65536.
struct PatternMismatch {
    quint32 pixel = 0;
    quint16 value = 0;
    quint16 expected = 0;
};
// The first `limit` mismatches of a frame.
QVector<PatternMismatch> PatternMismatches(const quint16 *pixels, quint32 count, quint32 frame, int limit = 5);

// "12 / 40 frames, 35.2 MB/s, 4 s left": frames saved out of the run's
// total, the data rate and the expected time left.
QString ProgressText(quint64 saved, quint64 total, qint64 elapsedMs, quint64 bytesPerFrame);

}  // namespace Acquisition
