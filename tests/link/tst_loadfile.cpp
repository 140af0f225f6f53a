// DownloadSingleFile against a simulated card: the packets each file sends,
// the writes the card carries out (order, timing, final state), and the
// failure texts for files that are wrong, missing or no files at all.
#include "simfixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using pelrasim::RegisterWrite;

namespace {

constexpr quint16 kCard = 0x0412;

QStringList Describe(const QVector<RegisterWrite> &writes)
{
    QStringList lines;
    for (const RegisterWrite &w : writes)
        lines << w.describe();
    return lines;
}

}  // namespace

class TestLoadFile : public QObject
{
    Q_OBJECT

private:
    SimFixture f;
    QTemporaryDir files;

    QString writeFile(const QString &name, const QByteArray &content)
    {
        const QString path = files.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qWarning("cannot write %s", qPrintable(path));
        return path;
    }

    // Every write sent before this read has been carried out once it returns.
    // A busy machine may answer one read late; the link drops that reply
    // before the next request, so asking again is safe.
    static void sync(PelraInterface &link)
    {
        quint32 id = 0;
        bool answered = false;
        for (int attempt = 0; attempt < 3 && !answered; ++attempt)
            answered = link.ReadPELRAReg(0xFFFC, id, 0x01);
        QVERIFY2(answered, qPrintable(link.ErrorString()));
    }

private slots:
    void initTestCase() { QVERIFY2(f.start(OneCardScenario()).isEmpty(), "simulator did not start"); }
    void init()
    {
        f.sim->clearRegisterWrites();
        f.sim->clearTraffic();
    }

    void syntaxExample_sendsEachLineAsItsPacket_data();
    void syntaxExample_sendsEachLineAsItsPacket();
    void waits_pauseBetweenTheWrites();
    void failure_keepsWhatWasWrittenBefore();
    void asicMaskAndDma_reachTheNamedAsics();
    void writeFailure_endsWithTheLinksOwnText();
    void files_thatCannotBeRead_failWithAClearText_data();
    void files_thatCannotBeRead_failWithAClearText();
    void sampleLoadFiles_bringTheCardToItsReadyState();
};

void TestLoadFile::syntaxExample_sendsEachLineAsItsPacket_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("linkOfSim");
    QTest::newRow("USB") << int(InterfaceUSB) << int(pelrasim::Link::USB);
    QTest::newRow("UART") << int(InterfaceUART) << int(pelrasim::Link::UART);
    QTest::newRow("GigE") << int(InterfaceGigE) << int(pelrasim::Link::GigE);
}

void TestLoadFile::syntaxExample_sendsEachLineAsItsPacket()
{
    QFETCH(int, kind);
    QFETCH(int, linkOfSim);
    PelraInterface link;
    QVERIFY(f.attach(link, kCard, PELRA_InterfaceType(kind)));
    const QString path = writeFile(QStringLiteral("example.glf"),
                                   "# set-up\npelra_mode\n0010 0001\n0011 00ff\nwait 20\nasic_mode\nblockstart\n"
                                   "address 4000\nlength 3\n0001\n0002\n0003\nblockend\n");
    QVERIFY2(link.DownloadSingleFile(path, 0x01, 0x01, false), qPrintable(link.ErrorString()));

    // Writes have no reply: wait until the card has taken all of them.
    const auto sent = [&] {
        QStringList hex;
        for (const QByteArray &p : f.sim->receivedPackets(kCard, pelrasim::Link(linkOfSim)))
            hex << QString::fromLatin1(p.toHex());
        return hex;
    };
    QTRY_COMPARE_WITH_TIMEOUT(sent(), (QStringList{"080100100001", "0801001100ff", "40014000000200010002" "0003"}), 3000);
    QCOMPARE(Describe(f.sim->registerWrites(kCard)),
             (QStringList{"card 0x0010=0x1", "card 0x0011=0xff", "asic0 0x4000=0x1", "asic0 0x4001=0x2",
                          "asic0 0x4002=0x3"}));
    QCOMPARE(f.sim->cardRegister(kCard, 0x0011), quint16(0x00FF));
    QCOMPARE(f.sim->asicRegister(kCard, 0, 0x4002), quint32(3));
}

void TestLoadFile::waits_pauseBetweenTheWrites()
{
    PelraInterface link;
    QVERIFY(f.attach(link, kCard, InterfaceUSB));
    const QString path = writeFile(QStringLiteral("waits.glf"), "pelra_mode\n0020 1\nwait 80\n0021 2\nWAIT 0\n0022 3\n");
    QVERIFY2(link.DownloadSingleFile(path, 0x01, 0x01, false), qPrintable(link.ErrorString()));
    sync(link);
    const QVector<RegisterWrite> writes = f.sim->registerWrites(kCard);
    QCOMPARE(writes.size(), 3);
    QVERIFY2(writes.at(1).timeMs - writes.at(0).timeMs >= 80, "the wait line did not pause");
}

void TestLoadFile::failure_keepsWhatWasWrittenBefore()
{
    PelraInterface link;
    QVERIFY(f.attach(link, kCard, InterfaceUSB));
    const QString path = writeFile(QStringLiteral("broken.glf"),
                                   "pelra_mode\n0030 0001\n\n# next is wrong\n0031  0002\n0032 0003\n");
    QVERIFY(!link.DownloadSingleFile(path, 0x01, 0x01, false));
    QCOMPARE(link.ErrorString(), QStringLiteral("Unexpected register value at line 5"));
    sync(link);
    QCOMPARE(Describe(f.sim->registerWrites(kCard)), QStringList{"card 0x0030=0x1"});

    // A block one value too long is refused at the extra value; nothing of it is sent.
    const QString longBlock = writeFile(QStringLiteral("long.ald"),
                                        "0040 0001\nblockstart\naddress 4100\nlength 2\n1\n2\n3\nblockend\n");
    f.sim->clearRegisterWrites();
    QVERIFY(!link.DownloadSingleFile(longBlock, 0x01, 0x01, false));
    QCOMPARE(link.ErrorString(),
             QStringLiteral("ERROR: Amount of data exceeds block length at line 7 of file ") + longBlock);
    sync(link);
    QCOMPARE(Describe(f.sim->registerWrites(kCard)), QStringList{"asic0 0x0040=0x1"});
}

void TestLoadFile::asicMaskAndDma_reachTheNamedAsics()
{
    PelraInterface link;
    QVERIFY(f.attach(link, kCard, InterfaceUSB));
    const QString path = writeFile(QStringLiteral("dma.mcd"), "0050 0001\nasic_mode dma\n0051 0002\nasic_mode normal\n0052 3\n");
    QVERIFY2(link.DownloadSingleFile(path, 0x01, 0x03, false), qPrintable(link.ErrorString()));
    sync(link);
    QCOMPARE(Describe(f.sim->registerWrites(kCard)),
             (QStringList{"asic0 0x0050=0x1", "asic1 0x0050=0x1", "asic0 0x0051=0x2 dma", "asic1 0x0051=0x2 dma",
                          "asic0 0x0052=0x3", "asic1 0x0052=0x3"}));

    f.sim->clearRegisterWrites();
    QVERIFY2(link.DownloadSingleFile(path, 0x01, 0x02, true), qPrintable(link.ErrorString()));
    sync(link);
    QCOMPARE(Describe(f.sim->registerWrites(kCard)),
             (QStringList{"asic1 0x0050=0x1 dma", "asic1 0x0051=0x2 dma", "asic1 0x0052=0x3"}));
}

void TestLoadFile::writeFailure_endsWithTheLinksOwnText()
{
    PelraInterface link;
    QVERIFY(f.attach(link, kCard, InterfaceUSB));
    const QString empty = writeFile(QStringLiteral("zero.glf"), "0060 1\nblockstart\nlength 0\nblockend\n0061 1\n");
    QVERIFY(!link.DownloadSingleFile(empty, 0x01, 0x01, false));
    QCOMPARE(link.ErrorString(), QStringLiteral("WriteASICBlock failed: n=0"));
    sync(link);
    QCOMPARE(Describe(f.sim->registerWrites(kCard)), QStringList{"asic0 0x0060=0x1"});

    PelraInterface unlinked;
    QVERIFY(!unlinked.DownloadSingleFile(empty, 0x01, 0x01, false));
    QCOMPARE(unlinked.ErrorString(), QStringLiteral("Cannot write to PELRA, no available interface."));
}

void TestLoadFile::files_thatCannotBeRead_failWithAClearText_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("error");

    const QString missing = files.filePath(QStringLiteral("gone.glf"));
    writeFile(QStringLiteral("gone.glf"), "1 1\n");
    QFile::remove(missing);
    QTest::newRow("deleted since it was listed") << missing << false << missing + QStringLiteral(" does not exist");
    QTest::newRow("empty path") << QString() << false << QStringLiteral(" does not exist");
    QTest::newRow("a folder") << files.path() << false << QStringLiteral("File opening failed: ") + files.path();
    const QString fifo = files.filePath(QStringLiteral("pipe.glf"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QTest::newRow("a named pipe is not waited on") << fifo << false << QStringLiteral("File opening failed: ") + fifo;
    QTest::newRow("an empty file does nothing") << writeFile(QStringLiteral("empty.glf"), QByteArray()) << true << QString();
    QByteArray junk;
    for (int i = 0; i < 256; ++i)
        junk += char(255 - i);
    QTest::newRow("binary junk") << writeFile(QStringLiteral("junk.glf"), junk) << false
                                 << QStringLiteral("Unexpected Addrress and value at line 1");
    const QString huge = writeFile(QStringLiteral("huge.glf"), "# fine\n" + QByteArray(200000, '#') + "\n0001 0001\n");
    QTest::newRow("a line longer than 64 KiB") << huge << false
                                               << QStringLiteral("ERROR: Line 2 is longer than 65536 characters in file ") + huge;
}

void TestLoadFile::files_thatCannotBeRead_failWithAClearText()
{
    QFETCH(QString, path);
    QFETCH(bool, ok);
    QFETCH(QString, error);
    PelraInterface link;
    QVERIFY(f.attach(link, kCard, InterfaceUSB));
    QCOMPARE(link.DownloadSingleFile(path, 0x01, 0x01, false), ok);
    if (!ok)
        QCOMPARE(link.ErrorString(), error);
    sync(link);
    QVERIFY(f.sim->registerWrites(kCard).isEmpty());
}

// The sample files of config/ are written for this card: after them its
// registers hold what the files say, in the order the files say it.
void TestLoadFile::sampleLoadFiles_bringTheCardToItsReadyState()
{
    PelraInterface link;
    QVERIFY(f.attach(link, kCard, InterfaceUSB));
    QVERIFY(link.GetAsicType(0x01) == AsicTambril);
    for (const char *name : {"pelra-card.glf", "tambril-asics.ald", "tambril-dma.mcd"}) {
        const QString path = QStringLiteral(PAC_SOURCE_DIR "/config/master/") + QLatin1String(name);
        QVERIFY2(link.DownloadSingleFile(path, 0x01, 0x03, false), qPrintable(link.ErrorString()));
    }
    sync(link);
    const QVector<RegisterWrite> writes = f.sim->registerWrites(kCard);
    QVERIFY(!writes.isEmpty());
    QCOMPARE(writes.first(), RegisterWrite::card(0x0010, 0x0027));
    QCOMPARE(f.sim->cardRegister(kCard, 0x0010), quint16(0x0027));
    for (int asic : {0, 1}) {
        QCOMPARE(f.sim->asicRegister(kCard, asic, 0x4000), quint32(0x0002));
        QCOMPARE(f.sim->asicRegister(kCard, asic, 0x4107), quint32(0x0080));
        QCOMPARE(f.sim->asicRegister(kCard, asic, 0x5010), quint32(0x00FF));
    }
}

QTEST_GUILESS_MAIN(TestLoadFile)
#include "tst_loadfile.moc"
