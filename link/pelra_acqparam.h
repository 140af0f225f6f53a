// One parameter group of the acquisition configuration file: which ASIC
// registers take the ramp counts, how an exposure is triggered and stopped,
// which test pattern the card makes, the frame geometry, pixel sorting and
// the guide-window layout. The defaults are what a group holds before any of
// its lines set a field.
#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

namespace PELRA_Global {

// A register address range; 0xFFFF marks an end that was not given.
struct RegRange {
    quint16 first = 0xFFFF;
    quint16 last = 0xFFFF;
};

// 0xFFFFFF in stopVal / trgDefVal: the group defines no such value.
constexpr quint32 ACQ_VALUE_UNDEFINED = 0xFFFFFF;

struct AcqParam {
    QString name;
    quint16 xSize = 2048;
    quint16 ySize = 2048;
    quint16 resetReg = 0;
    quint16 readReg = 0;
    quint16 groupReg = 0;
    quint16 dropReg = 0;
    quint16 drop2Reg = 0;
    qint32 dropWait = 1500;
    quint16 sendRstReg = 0;
    quint16 sendRstValue = 0;
    quint16 clkDrpReg = 0;
    quint16 clkDrpBit = 2;
    quint8 trgDest = 1;          // 1 images from the ASICs, 0 the card's test pattern
    QString testPattern = QStringLiteral("PORT_FIFO");
    quint16 trgReg = 0;
    quint16 trgVal = 1;
    quint32 stopVal = ACQ_VALUE_UNDEFINED;
    quint32 trgDefVal = ACQ_VALUE_UNDEFINED;
    quint16 preTrgReg = 0;
    quint16 preTrgVal = 0;
    quint16 preTrgWait = 1000;
    quint16 timeout = 1500;
    quint16 clWidth = 2048;
    quint16 clHeight = 2048;
    QVector<RegRange> pelraRanges;
    QVector<RegRange> asicRanges;
    quint8 dataFormat = 0;
    bool resetPolarity = false;
    quint16 camLinkOverhead = 0;
    quint32 extraPixels = 0;
    quint8 sortMode = 0;
    quint8 sortChans = 32;
    quint8 sciHeaders = 0;
    bool guideModeEn = false;
    quint16 guideXSize = 16;
    quint16 guideYSize = 16;
    quint16 guideStartRow = 256;
    quint16 guideNRows = 256;
    quint16 guideNReads = 1;
    quint16 guideEnd = 0;
    QString syncScript;
};

}  // namespace PELRA_Global
