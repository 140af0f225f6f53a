// Register load files: each line's write or pause is carried out as soon as
// the line has been read; the first failure ends the file and what was
// written before stays written.
#include "pelrainterface.h"

#include "loadfileparser.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace {

bool Perform(PelraInterface &link, const LoadFile::Step &step)
{
    const bool card = step.target == LoadFile::Target::Card;
    switch (step.kind) {
    case LoadFile::Step::Wait:
        QThread::msleep(static_cast<unsigned long>(step.waitMs));
        return true;
    case LoadFile::Step::RegisterWrite:
        return card ? link.WritePELRAReg(step.address, step.value, step.select)
                    : link.WriteASICReg(step.address, step.value, step.select, step.dma);
    case LoadFile::Step::BlockWrite:
        return card ? link.WritePELRABlock(step.address, step.values.size(), step.values, step.select)
                    : link.WriteASICBlock(step.address, step.values.size(), step.values, step.select, step.dma);
    case LoadFile::Step::Nothing:
    case LoadFile::Step::Failure:
        break;
    }
    return true;
}

}  // namespace

bool PelraInterface::DownloadSingleFile(const QString &path, quint8 cardMask, quint8 asicMask, bool dma)
{
    LoadFile::Parser parser(path, cardMask, asicMask, dma);
    const QFileInfo info(path);
    if (!info.exists()) {
        lastError = parser.MissingFile();
        return false;
    }
    // Only regular files: a FIFO or a device could block or never end.
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        lastError = parser.OpenFailed();
        return false;
    }
    for (;;) {
        QByteArray line;
        switch (LoadFile::ReadLine(file, line)) {
        case LoadFile::ReadResult::End:
            return true;
        case LoadFile::ReadResult::TooLong:
            lastError = parser.LineTooLong();
            return false;
        case LoadFile::ReadResult::Error:
            lastError = parser.ReadFailed(file.errorString());
            return false;
        case LoadFile::ReadResult::Line:
            break;
        }
        const LoadFile::Step step = parser.Feed(line);
        if (step.kind == LoadFile::Step::Failure) {
            lastError = step.error;
            return false;
        }
        if (!Perform(*this, step))
            return false;
    }
}
