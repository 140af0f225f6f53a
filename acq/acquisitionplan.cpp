#include "acquisitionplan.h"

#include <QDir>
#include <QFileInfo>

namespace Acquisition {

int PaddingWidth(quint64 count)
{
    int width = 0;
    quint64 power = 1;
    while (power < count) {
        ++width;
        if (power > Q_UINT64_C(1844674407370955161))   // the next power of ten would not fit
            break;
        power *= 10;
    }
    return width;
}

QString PadNumber(quint64 number, int width)
{
    return QStringLiteral("%1").arg(number, width, 10, QLatin1Char('0'));
}

QString ResetBase(const QString &basePath, quint32 exposure, quint32 exposures)
{
    return basePath + QStringLiteral("_E") + PadNumber(exposure, PaddingWidth(exposures)) + QStringLiteral("_RST");
}

QString ReadBase(const QString &basePath, quint32 exposure, quint32 exposures)
{
    return basePath + QStringLiteral("_E") + PadNumber(exposure, PaddingWidth(exposures)) + QStringLiteral("_N");
}

QString ResetFrameName(const QString &resetBase, quint32 frame)
{
    return resetBase + PadNumber(frame, 4);
}

QString ReadFrameName(const QString &readBase, quint32 frame, quint32 readFrames)
{
    return readBase + PadNumber(frame, PaddingWidth(readFrames));
}

QStringList FrameFiles(const QString &name, const AcquisitionPlan &plan)
{
    QStringList files;
    if (plan.splitPerAsic && plan.asicNames.size() > 1) {
        for (int k = 1; k <= plan.asicNames.size(); ++k)
            files << name + QStringLiteral("_ASIC") + QString::number(k) + QStringLiteral(".fits");
    } else {
        files << name + QStringLiteral(".fits");
    }
    return files;
}

QString ResolveSyncScript(const QString &script, const QString &acqConfigFile)
{
    QString s = script;
    if (s.isEmpty() || !QDir::isRelativePath(s))
        return s;
    if (s.startsWith(QLatin1Char('.'))) {
        const int slash = s.indexOf(QLatin1Char('/'));
        const int backslash = s.indexOf(QLatin1Char('\\'));
        int cut = slash;
        if (backslash > 0 && (slash < 0 || backslash < slash))
            cut = backslash;
        if (cut >= 0)
            s = s.mid(cut + 1);
    }
    return QFileInfo(acqConfigFile).path() + QLatin1Char('/') + s;
}

QVector<quint16> AsicImage(const quint16 *frame, quint32 pixels, int images, quint32 blockSize, int k)
{
    QVector<quint16> image;
    if (!frame || images < 1 || blockSize == 0 || k < 0 || k >= images)
        return image;
    image.reserve(int(pixels / quint32(images)));
    const quint64 stride = quint64(blockSize) * quint64(images);
    for (quint64 start = quint64(blockSize) * quint64(k); start < pixels; start += stride) {
        const quint64 end = qMin<quint64>(start + blockSize, pixels);
        for (quint64 i = start; i < end; ++i)
            image.append(frame[i]);
    }
    return image;
}

QVector<PatternMismatch> PatternMismatches(const quint16 *pixels, quint32 count, quint32 frame, int limit)
{
    QVector<PatternMismatch> found;
    for (quint32 i = 0; i < count && found.size() < limit; ++i) {
        const quint16 expected = quint16((quint64(i) + 256u * quint64(frame)) & 0xFFFFu);
        if (pixels[i] != expected)
            found.append({i, pixels[i], expected});
    }
    return found;
}

QString ProgressText(quint64 saved, quint64 total, qint64 elapsedMs, quint64 bytesPerFrame)
{
    QString text = QStringLiteral("%1 / %2 frames").arg(saved).arg(total);
    if (saved == 0 || elapsedMs <= 0)
        return text;
    const double seconds = double(elapsedMs) / 1000.0;
    const double rate = double(saved * bytesPerFrame) / seconds / 1e6;
    const double left = seconds / double(saved) * double(total > saved ? total - saved : 0);
    return text + QStringLiteral(", %1 MB/s, %2 s left").arg(rate, 0, 'f', 1).arg(qint64(left + 0.5));
}

}  // namespace Acquisition
