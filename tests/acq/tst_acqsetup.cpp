// The acquisition set-up as data: ramp register steps and time-outs, the
// test pattern's geometry registers and FIFO enable bits, and the USB
// transfer-buffer sizing.
#include "patternfifo.h"
#include "pelrainterface.h"
#include "rampplan.h"

#include <QtTest>

using PELRA_Global::AcqParam;
using AcqRamp::Step;

Q_DECLARE_METATYPE(AcqRamp::CountsCheck)
Q_DECLARE_METATYPE(PELRA_Global::AcqParam)

namespace {

AcqRamp::Counts MakeCounts(quint16 reads, quint16 groups, quint16 resets, qint32 drops)
{
    AcqRamp::Counts c;
    c.reads = reads;
    c.exposures = 1;
    c.groups = groups;
    c.resets = resets;
    c.drops = drops;
    return c;
}

// "op reg value" per step, e.g. "W 4001 2", "S 4002 4" (set bit 4), "C 4006 2".
QStringList Describe(const QVector<Step> &steps)
{
    QStringList out;
    for (const Step &s : steps)
        out << QStringLiteral("%1 %2 %3")
                   .arg(s.op == Step::Write ? "W" : s.op == Step::SetBit ? "S" : "C")
                   .arg(s.reg, 0, 16)
                   .arg(s.value, 0, 16);
    return out;
}

AcqParam RampGroup()
{
    AcqParam g;
    g.readReg = 0x4001;
    g.resetReg = 0x4003;
    g.groupReg = 0x4000;
    g.dropReg = 0x4004;
    return g;
}

}  // namespace

class TestAcqSetup : public QObject
{
    Q_OBJECT

private slots:
    void readCounts_data()
    {
        QTest::addColumn<QStringList>("fields");   // reads, exposures, groups, drops, resets
        QTest::addColumn<AcqRamp::CountsCheck>("check");
        QTest::newRow("all given") << QStringList{" 2 ", "1", "4", "0", "3"} << AcqRamp::CountsCheck::Ok;
        QTest::newRow("exposures 0") << QStringList{"2", "0", "4", "0", "3"} << AcqRamp::CountsCheck::RangeError;
        QTest::newRow("reads not a number") << QStringList{"two", "1", "4", "0", "3"} << AcqRamp::CountsCheck::RangeError;
        QTest::newRow("groups above 65535") << QStringList{"2", "1", "65536", "0", "3"} << AcqRamp::CountsCheck::RangeError;
        QTest::newRow("negative drops") << QStringList{"2", "1", "4", "-1", "3"} << AcqRamp::CountsCheck::NegativeDrops;
        QTest::newRow("resets not a number count 0") << QStringList{"2", "1", "4", "0", "x"} << AcqRamp::CountsCheck::Ok;
    }

    void readCounts()
    {
        QFETCH(QStringList, fields);
        QFETCH(AcqRamp::CountsCheck, check);
        AcqRamp::Counts c;
        QCOMPARE(AcqRamp::ReadCounts(fields[0], fields[1], fields[2], fields[3], fields[4], c), check);
    }

    void steps_data()
    {
        QTest::addColumn<AcqParam>("group");
        QTest::addColumn<qint32>("drops");
        QTest::addColumn<bool>("sendResets");
        QTest::addColumn<bool>("clockDrops");
        QTest::addColumn<QStringList>("steps");

        QTest::newRow("no registers: nothing to write") << AcqParam() << 70000 << true << true << QStringList();
        QTest::newRow("counts in order") << RampGroup() << 5 << false << false
                                         << QStringList{"W 4001 2", "W 4003 3", "W 4000 4", "W 4004 5"};
        QTest::newRow("drops above 65535 go whole to DROP without DROP2")
            << RampGroup() << 0x12345 << false << false
            << QStringList{"W 4001 2", "W 4003 3", "W 4000 4", "W 4004 12345"};
        AcqParam split = RampGroup();
        split.drop2Reg = 0x4005;
        QTest::newRow("drops above 65535 split with DROP2") << split << 0x12345 << false << false
            << QStringList{"W 4001 2", "W 4003 3", "W 4000 4", "W 4004 2345", "W 4005 1"};
        AcqParam highOnly;
        highOnly.drop2Reg = 0x4005;
        QTest::newRow("DROP2 without DROP takes the high half only") << highOnly << 0x30000 << false << false
                                                                     << QStringList{"W 4005 3"};
        AcqParam bits;
        bits.sendRstReg = 0x4002;
        bits.sendRstValue = 0x24;        // bit 4 (0x24 AND 31)
        bits.clkDrpReg = 0x4006;
        bits.clkDrpBit = 34;             // bit 2
        QTest::newRow("send reset and clock drops set their bits") << bits << 0 << true << true
                                                                   << QStringList{"S 4002 4", "S 4006 2"};
        QTest::newRow("unticked clear them") << bits << 0 << false << false << QStringList{"C 4002 4", "C 4006 2"};
        AcqParam pre;
        pre.preTrgReg = 0x6900;
        pre.preTrgVal = 0x10;
        QTest::newRow("pre-trigger last") << pre << 0 << false << false << QStringList{"W 6900 10"};
    }

    void steps()
    {
        QFETCH(AcqParam, group);
        QFETCH(qint32, drops);
        QFETCH(bool, sendResets);
        QFETCH(bool, clockDrops);
        QFETCH(QStringList, steps);
        QCOMPARE(Describe(AcqRamp::Steps(group, MakeCounts(2, 4, 3, drops), sendResets, clockDrops)), steps);
    }

    void steps_carryTheirFailureTexts()
    {
        AcqParam g = RampGroup();
        g.drop2Reg = 0x4005;
        g.sendRstReg = 0x4002;
        g.clkDrpReg = 0x4006;
        g.preTrgReg = 0x6900;
        const auto s = AcqRamp::Steps(g, MakeCounts(1, 1, 0, 1), true, true);
        QStringList writes, reads;
        for (const Step &step : s) {
            writes << step.writeFailure;
            reads << step.readFailure;
        }
        QCOMPARE(writes, (QStringList{"Configuration for number of read frames failed ",
                                      "Configuration for number of reset frames failed ",
                                      "Configuration for number of groups failed ",
                                      "Configuration for  number of drops failed ",
                                      "Configuration for number of drops to ASIC failed ",
                                      "Configuration for sending reset frame failed",
                                      "Configuration for clocking SCA in drops failed",
                                      "Writing ASIC pre-trigger register failed"}));
        QCOMPARE(reads.mid(5, 2), (QStringList{"Reading configuration of sending reset frame failed",
                                               "Reading ASIC register for configuring clocking SCA in drops failed"}));
    }

    void modify_touchesOnlyItsBit()
    {
        QCOMPARE(AcqRamp::Modify({Step::SetBit, 0x4002, 4, {}, {}}, 0x0003), quint32(0x0013));
        QCOMPARE(AcqRamp::Modify({Step::ClearBit, 0x4002, 4, {}, {}}, 0xFFFF), quint32(0xFFEF));
        QCOMPARE(AcqRamp::Modify({Step::SetBit, 0x4002, 31, {}, {}}, 0), quint32(0x80000000));
    }

    void timing_data()
    {
        QTest::addColumn<bool>("sendResets");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("frames");
        QTest::newRow("resets not sent are counted") << false << 12500 << 20;
        QTest::newRow("resets sent are not") << true << 8000 << 8;
    }

    void timing()
    {
        QFETCH(bool, sendResets);
        QFETCH(int, first);
        QFETCH(int, frames);
        AcqParam g;
        g.timeout = 1500;
        g.dropWait = 100;
        const auto t = AcqRamp::ComputeTiming(g, MakeCounts(2, 4, 3, 7), sendResets);
        QCOMPARE(t.firstFrameTimeoutMs, first);
        QCOMPARE(t.frameTimeoutMs, 1500 + 2 * 7 * 100 + 5000);
        QCOMPARE(t.framesPerExposure, frames);
    }

    void timing_holdsHugeFiguresAtTheLimit()
    {
        AcqParam g;
        g.timeout = 65535;
        g.dropWait = 1 << 30;
        const auto t = AcqRamp::ComputeTiming(g, MakeCounts(65535, 65535, 65535, 1 << 30), false);
        QCOMPARE(t.firstFrameTimeoutMs, INT_MAX);
        QCOMPARE(t.frameTimeoutMs, INT_MAX);
        QCOMPARE(t.framesPerExposure, INT_MAX);
        g.dropWait = -(1 << 30);
        QCOMPARE(AcqRamp::ComputeTiming(g, MakeCounts(1, 1, 0, 1 << 30), false).frameTimeoutMs, 0);
    }

    void geometryBase_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("link");
        QTest::addColumn<int>("base");
        QTest::newRow("port fifo on GigE") << "PORT_FIFO" << int(InterfaceGigE) << 0x1D2;
        QTest::newRow("port fifo on USB") << "PORT_FIFO" << int(InterfaceUSB) << 0x1E2;
        QTest::newRow("port fifo on Camera Link") << "PORT_FIFO" << int(InterfaceUART) << 0x1C2;
        QTest::newRow("asic fifo 2x") << "ASIC_FIFO_2X" << int(InterfaceUSB) << 0x1B2;
        QTest::newRow("asic fifo 1x") << "ASIC_FIFO_1X" << int(InterfaceGigE) << 0x1B2;
        QTest::newRow("lower case takes the link's base") << "asic_fifo_2x" << int(InterfaceGigE) << 0x1D2;
    }

    void geometryBase()
    {
        QFETCH(QString, pattern);
        QFETCH(int, link);
        QFETCH(int, base);
        QCOMPARE(int(AcqPattern::GeometryBase(pattern, PELRA_InterfaceType(link))), base);
    }

    void fifoMode_data()
    {
        QTest::addColumn<int>("trgDest");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("link");
        QTest::addColumn<int>("mode");
        QTest::newRow("image acquisition") << 1 << "ASIC_FIFO_2X" << int(InterfaceGigE) << int(AcqPattern::FifoMode::None);
        QTest::newRow("camera link") << 0 << "ASIC_FIFO_2X" << int(InterfaceUART) << int(AcqPattern::FifoMode::None);
        QTest::newRow("port fifo, any case") << 0 << "port_fifo" << int(InterfaceUSB) << int(AcqPattern::FifoMode::None);
        QTest::newRow("2x, any case") << 0 << "Asic_Fifo_2x" << int(InterfaceUSB) << int(AcqPattern::FifoMode::TwoX);
        QTest::newRow("1x") << 0 << "ASIC_FIFO_1X" << int(InterfaceGigE) << int(AcqPattern::FifoMode::OneX);
        QTest::newRow("unknown") << 0 << "STRIPES" << int(InterfaceGigE) << int(AcqPattern::FifoMode::Unknown);
    }

    void fifoMode()
    {
        QFETCH(int, trgDest);
        QFETCH(QString, pattern);
        QFETCH(int, link);
        QFETCH(int, mode);
        AcqParam g;
        g.trgDest = quint8(trgDest);
        g.testPattern = pattern;
        QCOMPARE(int(AcqPattern::FifoModeFor(g, PELRA_InterfaceType(link))), mode);
    }

    void fifoEnableWrites_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<quint32>("current");
        QTest::addColumn<int>("asics");
        QTest::addColumn<QStringList>("writes");   // "card=value"
        QTest::newRow("2x, ASICs 1 2 4") << int(AcqPattern::FifoMode::TwoX) << 0u << 0x0B << QStringList{"1=5", "2=4"};
        QTest::newRow("2x, ASIC 8") << int(AcqPattern::FifoMode::TwoX) << 0u << 0x80 << QStringList{"4=4"};
        QTest::newRow("2x, bits already set") << int(AcqPattern::FifoMode::TwoX) << 5u << 0x03 << QStringList{};
        QTest::newRow("2x keeps other bits") << int(AcqPattern::FifoMode::TwoX) << 0x10u << 0x01 << QStringList{"1=11"};
        QTest::newRow("1x, ASICs 1 2 4") << int(AcqPattern::FifoMode::OneX) << 0u << 0x0B << QStringList{"1=1", "2=1", "4=1"};
        QTest::newRow("unknown writes nothing") << int(AcqPattern::FifoMode::Unknown) << 0u << 0xFF << QStringList{};
    }

    void fifoEnableWrites()
    {
        QFETCH(int, mode);
        QFETCH(quint32, current);
        QFETCH(int, asics);
        QFETCH(QStringList, writes);
        QStringList got;
        for (const auto &w : AcqPattern::FifoEnableWrites(AcqPattern::FifoMode(mode), current, quint8(asics)))
            got << QStringLiteral("%1=%2").arg(w.card).arg(w.value, 0, 16);
        QCOMPARE(got, writes);
    }

    void usbBufferSize_data()
    {
        QTest::addColumn<int>("buffers");
        QTest::addColumn<quint32>("pixels");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("count");
        QTest::addColumn<quint32>("bytes");
        QTest::newRow("2048 x 2048, 20 buffers") << 20 << 2048u * 2048u << true << 160 << 0x100000u;
        QTest::newRow("64 x 64, 4 buffers: minimum request") << 4 << 64u * 64u << true << 4 << 0x4000u;
        QTest::newRow("exactly 1 MiB") << 3 << 0x80000u << true << 3 << 0x100000u;
        QTest::newRow("just above 1 MiB rounds up") << 3 << 0x80001u << true << 4 << 0x100000u;
        QTest::newRow("largest frame does not wrap") << 1 << 0xFFFFFFFFu << true << 8192 << 0x100000u;
        QTest::newRow("count beyond 16 bits") << 4096 << 65535u * 65535u << false << 0 << 0u;
        QTest::newRow("no buffers") << 0 << 100u << false << 0 << 0u;
        QTest::newRow("negative buffers") << -3 << 100u << false << 0 << 0u;
        QTest::newRow("no pixels") << 20 << 0u << false << 0 << 0u;
    }

    void usbBufferSize()
    {
        QFETCH(int, buffers);
        QFETCH(quint32, pixels);
        QFETCH(bool, ok);
        QFETCH(int, count);
        QFETCH(quint32, bytes);
        PelraInterface link;
        quint16 transferCount = 0;
        quint32 transferBytes = 0;
        QCOMPARE(link.GetUSBBufferSize(qint16(buffers), pixels, transferCount, transferBytes), ok);
        if (ok) {
            QCOMPARE(int(transferCount), count);
            QCOMPARE(transferBytes, bytes);
        } else {
            QVERIFY(link.ErrorString().startsWith(QLatin1String("Invalid input parameter imgSize or nBuffers")));
        }
    }
};

QTEST_GUILESS_MAIN(TestAcqSetup)
#include "tst_acqsetup.moc"
