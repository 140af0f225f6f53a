// The Manual Command tab against simulated cards: register tables, block
// transfers, register-table files, diagnostics and the family switches that
// offer a register table.
#include "pelrasim.h"
#include "simprotocol.h"
#include "windowfixture.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QtTest>

namespace {

// An OSTERA card whose 0x0102 has bit 4 set and auto-increment off.
const char kOsteraCard[] = R"([card1]
id = 0x0601
firmware = ostera
asics = ostera
slot1_name = PELRA TAMBRIL v2.7
slot1_type = tambril
slot2_name = PELRA OSTERA v1.4
slot2_type = ostera
reload_ms = 50
registers = 0x0102:0x0010
error_counters = 9:4
gige = 127.1.1.1
)";

// A TAMBRIL card with FIFO1 and FIFO2 and a few raised error counters.
const char kTwoFifoCard[] = R"([card1]
id = 0x0700
firmware = tambril
asics = tambril
fifos = 2
error_counters = 0:5, 9:3, 22:7
gige = 127.1.1.1
)";

const char kTambrilTable[] =
    "[Application.ASIC]\n"
    "DMA_MSPI=0\n"
    "[Application.ASIC_Blocks]\n"
    "R_24BIT=1\n"
    "R_ADDR=7000\n"
    "R_LEN=2\n"
    "W_ADDR=7000\n"
    "W_VAL\\1\\DATA=012345\n"
    "W_VAL\\2\\DATA=\n"
    "W_VAL\\size=2\n"
    "[Application.ASIC_Registers]\n"
    "ASIC\\1\\REG=6928\n"
    "ASIC\\1\\WVAL=0fff\n"
    "ASIC\\1\\RVAL=0000\n"
    "ASIC\\1\\24BIT_MSPI=0\n"
    "ASIC\\2\\REG=7001\n"
    "ASIC\\2\\WVAL=012345\n"
    "ASIC\\2\\RVAL=000000\n"
    "ASIC\\2\\24BIT_MSPI=true\n"
    "ASIC\\size=2\n"
    "[Application.PELRA_Registers]\n"
    "PELRA\\1\\REG=0010\n"
    "PELRA\\1\\WVAL=0027\n"
    "PELRA\\1\\RVAL=0000\n"
    "PELRA\\size=1\n"
    "[Application.PELRA_Blocks]\n"
    "R_ADDR=0010\n"
    "R_LEN=1\n"
    "W_ADDR=0200\n"
    "W_VAL\\1\\DATA=0001\n"
    "W_VAL\\size=1\n";

const char kOsteraTable[] =
    "[Application.ASIC]\n"
    "DMA_MSPI=1\n"
    "[Application.ASIC_Registers]\n"
    "ASIC\\1\\REG=04f9\n"
    "ASIC\\1\\WVAL=0000\n"
    "ASIC\\1\\RVAL=0000\n"
    "ASIC\\1\\24BIT_MSPI=1\n"
    "ASIC\\size=1\n"
    "[Application.PELRA_Registers]\n"
    "PELRA\\size=0\n";

}  // namespace

class TestWindowManual : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<WindowFixture> f;
    std::unique_ptr<pelrasim::Simulator> sim;
    QString tambrilFile;
    QString osteraFile;

    // Starts the simulator and the window; the register-table files exist
    // only when their content is given.
    bool start(const QString &scenario, const QByteArray &tambril = QByteArray(), const QByteArray &ostera = QByteArray())
    {
        sim = std::make_unique<pelrasim::Simulator>();
        sim->setDeviceDir(f->simDir.path());
        QString error;
        const bool ok = scenario.startsWith(QLatin1Char('['))
                            ? sim->loadScenarioText(scenario, &error)
                            : sim->loadScenarioFile(QStringLiteral(PAC_SOURCE_DIR "/config/") + scenario, &error);
        if (!ok || !sim->start(&error)) {
            qWarning("simulator: %s", qPrintable(error));
            return false;
        }
        tambrilFile = f->appDir.filePath(QStringLiteral("ManualReg_TAMBRIL.ini"));
        osteraFile = f->appDir.filePath(QStringLiteral("ManualReg_OSTERA.ini"));
        if ((!tambril.isEmpty() && !writeFile(tambrilFile, tambril)) || (!ostera.isEmpty() && !writeFile(osteraFile, ostera)))
            return false;
        QByteArray ini(WindowFixture::kIni);
        ini.replace("MANUALREG_TAMBRIL=\n", "MANUALREG_TAMBRIL=" + tambrilFile.toUtf8() + "\n");
        ini.replace("MANUALREG_OSTERA=\n", "MANUALREG_OSTERA=" + osteraFile.toUtf8() + "\n");
        if (!f->writeIni(ini))
            return false;
        f->makeWindow();
        return true;
    }

    static bool writeFile(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
    }
    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    template <class T>
    T *w(const char *name) { return f->widget<T>(name); }
    QTableWidget *asicTable() { return w<QTableWidget>("tblASIC"); }
    QTableWidget *pelraTable() { return w<QTableWidget>("tblPELRA"); }
    void click(const char *name) { w<QAbstractButton>(name)->click(); }

    // Log messages without their time stamps; a gap shows as an empty entry.
    QStringList messages() const
    {
        static const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d:  "));
        QStringList out;
        for (QString line : f->panelLines())
            out << line.remove(stamp);
        return out;
    }
    QStringList lastMessages(int n) const { return messages().mid(messages().size() - n); }
    void clearLog() { w<QPlainTextEdit>("txtLog")->clear(); }

    // A row added with "+" and then typed into.
    int addRow(QTableWidget *table, const QString &reg, const QString &value, bool flag = false)
    {
        table->clearSelection();
        click(table == asicTable() ? "btnAddASICReg" : "btnAddPELRAReg");
        const int row = table->rowCount() - 1;
        table->item(row, 0)->setText(reg);
        table->item(row, 1)->setText(value);
        if (table == asicTable())
            table->item(row, 3)->setCheckState(flag ? Qt::Checked : Qt::Unchecked);
        return row;
    }
    QPushButton *rowButton(QTableWidget *table, int row, bool read)
    {
        const int column = (table == asicTable() ? 4 : 3) + (read ? 0 : 1);
        return qobject_cast<QPushButton *>(table->cellWidget(row, column));
    }
    QStringList column(QTableWidget *table, int c)
    {
        QStringList out;
        for (int r = 0; r < table->rowCount(); ++r)
            out << table->item(r, c)->text();
        return out;
    }
    QList<int> highlighted(QTableWidget *table)
    {
        QList<int> rows;
        for (const QModelIndex &index : table->selectionModel()->selectedRows())
            rows << index.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    // The ASIC block write packets the card received so far.
    QList<pelrasim::protocol::Command> asicBlockWrites(quint16 cardId)
    {
        QList<pelrasim::protocol::Command> out;
        for (const QByteArray &packet : sim->receivedPackets(cardId, pelrasim::Link::GigE)) {
            pelrasim::protocol::Command c;
            if (pelrasim::protocol::decode(packet, &c, nullptr) && c.kind == pelrasim::protocol::Kind::AsicBlockWrite)
                out << c;
        }
        return out;
    }

private slots:
    void init() { f = std::make_unique<WindowFixture>(); }
    void cleanup()
    {
        f->window.reset();
        sim.reset();
        f.reset();
    }

    void tab_hasItsControlsAndColumnWidths()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        QCOMPARE(asicTable()->columnCount(), 6);
        QCOMPARE(pelraTable()->columnCount(), 5);
        QStringList headers;
        for (int c = 0; c < 5; ++c)
            headers << pelraTable()->horizontalHeaderItem(c)->text();
        QCOMPARE(headers, QStringList({"Addr", "Val (W)", "Val (R)", "R", "W"}));
        QCOMPARE(asicTable()->horizontalHeaderItem(3)->text(), QStringLiteral("24Bit"));
        QCOMPARE(asicTable()->columnWidth(0), 45);
        QCOMPARE(asicTable()->columnWidth(3), 35);
        QCOMPARE(asicTable()->columnWidth(4), 30);
        QCOMPARE(asicTable()->columnWidth(5), 30);
        QCOMPARE(pelraTable()->columnWidth(3), 30);
        QCOMPARE(pelraTable()->columnWidth(4), 30);
        QCOMPARE(asicTable()->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(asicTable()->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(w<QLineEdit>("txtASICBlkLen")->text(), QStringLiteral("3"));
        QCOMPARE(w<QPlainTextEdit>("txtASICBlockData")->toPlainText(), QStringLiteral("000000\n"));
        QCOMPARE(w<QPlainTextEdit>("txtPELRABlockData")->toPlainText(), QStringLiteral("0000"));
        QCOMPARE(w<QPushButton>("btnReset")->text(), QStringLiteral("Reset\nAll ASICs"));
        QCOMPARE(w<QPushButton>("btnSaveManualReg")->text(), QStringLiteral("Save\nRegisters"));
        QCOMPARE(w<QCheckBox>("chkOSTERAAddrInc")->text(), QStringLiteral("Addr Auto\nIncrement"));
        // TAMBRIL firmware: 24-bit block read shown, DMA named so.
        QVERIFY(!w<QCheckBox>("chkASICRd24bit")->isHidden());
        QVERIFY(w<QCheckBox>("chkOSTERAAddrInc")->isHidden());
        QCOMPARE(w<QCheckBox>("chkDMA")->text(), QStringLiteral("DMA"));
    }

    void rows_areReadAndWrittenOnTheSimulatedCard()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        const int asicRow = addRow(asicTable(), QStringLiteral("7001"), QStringLiteral("12345"), true);
        rowButton(asicTable(), asicRow, false)->click();
        QCOMPARE(messages().last(), QStringLiteral("Writing ASIC 0x7001 with val 0x12345 succeeded"));
        QTRY_COMPARE_WITH_TIMEOUT(sim->asicRegister(0x0412, 0, 0x7001), 0x12345u, 2000);
        sim->setAsicRegister(0x0412, 0, 0x7001, 0xABCDEF);
        rowButton(asicTable(), asicRow, true)->click();
        QCOMPARE(messages().last(), QStringLiteral("Reading ASIC 0x7001 succeeded"));
        QCOMPARE(asicTable()->item(asicRow, 2)->text(), QStringLiteral("abcdef"));

        const int cardRow = addRow(pelraTable(), QStringLiteral("0010"), QStringLiteral("2b"));
        rowButton(pelraTable(), cardRow, false)->click();
        QCOMPARE(messages().last(), QStringLiteral("Writing PELRA 1 0x0010 with val 0x002b succeeded"));
        QTRY_COMPARE_WITH_TIMEOUT(sim->cardRegister(0x0412, 0x0010), quint16(0x2b), 2000);
        sim->setCardRegister(0x0412, 0x0010, 0x0007);
        rowButton(pelraTable(), cardRow, true)->click();
        QCOMPARE(messages().last(), QStringLiteral("Reading PELRA 1 0x0010 succeeded"));
        QCOMPARE(pelraTable()->item(cardRow, 2)->text(), QStringLiteral("0007"));
        // The read column is grey and not editable.
        QVERIFY(!(pelraTable()->item(cardRow, 2)->flags() & Qt::ItemIsEditable));
        QCOMPARE(pelraTable()->item(cardRow, 2)->background().color(), QColor(242, 242, 242));
    }

    void invalidAddress_ownButtonAndRdAll()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        const int bad = addRow(pelraTable(), QStringLiteral("zz"), QStringLiteral("0000"));
        addRow(pelraTable(), QStringLiteral("0010"), QStringLiteral("0000"));
        rowButton(pelraTable(), bad, true)->click();
        QCOMPARE(messages().last(), QStringLiteral("Invalid register"));
        click("btnRdAllPELRAs");
        QCOMPARE(messages().last(), QStringLiteral("Invalid register 0"));
        QVERIFY(pelraTable()->property("Err").toString() == QStringLiteral("Invalid register 0"));

        // A later failing row is what the summary reports; its read column shows 0000.
        const int failing = addRow(pelraTable(), QStringLiteral("0011"), QStringLiteral("0000"));
        pelraTable()->item(failing, 2)->setText(QStringLiteral("1234"));
        sim->setFault(0x0412, pelrasim::Link::GigE, pelrasim::Fault::WrongEcho, 2);
        clearLog();
        click("btnRdAllPELRAs");
        QVERIFY2(messages().last().startsWith(QStringLiteral("reading PELRA 1 0x0011 failed ReadPELRARegister failed: unexpected code 0x40 addr ")),
                 qPrintable(messages().last()));
        QCOMPARE(pelraTable()->item(failing, 2)->text(), QStringLiteral("0000"));
    }

    void rdAllAndWrtAll_reportTheRowCount()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        click("btnRdAllASICs");
        QCOMPARE(messages().last(), QStringLiteral("Reading 0 registers succeeded"));
        addRow(asicTable(), QStringLiteral("6928"), QStringLiteral("0001"));
        addRow(asicTable(), QStringLiteral("6a01"), QStringLiteral("0002"));
        addRow(asicTable(), QStringLiteral("7002"), QStringLiteral("fedcba"), true);
        click("btnRdAllASICs");
        QCOMPARE(messages().last(), QStringLiteral("Reading 3 registers succeeded"));
        // A read shows at least four digits, also for a 24-bit register.
        QCOMPARE(column(asicTable(), 2), QStringList({"0fff", "0001", "0000"}));
        click("btnWrtAllASICs");
        QCOMPARE(messages().last(), QStringLiteral("3 registers written successfully"));
        QTRY_COMPARE_WITH_TIMEOUT(sim->asicRegister(0x0412, 0, 0x7002), 0xfedcbau, 2000);
        QCOMPARE(sim->asicRegister(0x0412, 0, 0x6928), 0x0001u);
        // ASIC 2 was not selected.
        QCOMPARE(sim->asicRegister(0x0412, 1, 0x6928), 0x0FFFu);
    }

    void writeLimit_24BitsOnlyForTambrilFrom7000_data()
    {
        QTest::addColumn<bool>("osteraTab");
        QTest::addColumn<bool>("cardTable");
        QTest::addColumn<QString>("reg");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("TAMBRIL ASIC 7001") << false << false << "7001" << true;
        QTest::newRow("TAMBRIL ASIC 6fff") << false << false << "6fff" << false;
        QTest::newRow("OSTERA ASIC 7001") << true << false << "7001" << false;
        QTest::newRow("card register 7001") << false << true << "7001" << false;
    }
    void writeLimit_24BitsOnlyForTambrilFrom7000()
    {
        QFETCH(bool, osteraTab);
        QFETCH(bool, cardTable);
        QFETCH(QString, reg);
        QFETCH(bool, accepted);
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        if (osteraTab)
            click("rdOSTERA");
        QTableWidget *table = cardTable ? pelraTable() : asicTable();
        const int row = addRow(table, reg, QStringLiteral("12345"));
        const int before = sim->packetCount(0x0412, pelrasim::Link::GigE);
        rowButton(table, row, false)->click();
        if (accepted) {
            QCOMPARE(messages().last(), QStringLiteral("Writing ASIC 0x7001 with val 0x12345 succeeded"));
            QTRY_COMPARE_WITH_TIMEOUT(sim->asicRegister(0x0412, 0, 0x7001), 0x12345u, 2000);
        } else {
            QCOMPARE(messages().last(), QStringLiteral("Invalid written value"));
            QCOMPARE(sim->packetCount(0x0412, pelrasim::Link::GigE), before);
        }
    }

    void wrtAll_invalidValueIsNotReportedAsWritten()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        addRow(pelraTable(), QStringLiteral("0010"), QStringLiteral("12345"));
        addRow(pelraTable(), QStringLiteral("0011"), QStringLiteral("0001"));
        click("btnWrtAllPELRAs");
        QCOMPARE(lastMessages(2), QStringList({"Invalid written value", "Invalid written value"}));
        QTRY_COMPARE_WITH_TIMEOUT(sim->cardRegister(0x0412, 0x0011), quint16(1), 2000);
    }

    void plus_addsTheNextRegisterBelowTheReference()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        click("btnAddPELRAReg");
        QCOMPARE(column(pelraTable(), 0), QStringList{"ffff"});
        QCOMPARE(column(pelraTable(), 1), QStringList{"0000"});
        QCOMPARE(column(pelraTable(), 2), QStringList{"0000"});
        QCOMPARE(highlighted(pelraTable()), QList<int>{0});
        // "+" below ffff wraps to 0000; below 00ff gives 0100.
        click("btnAddPELRAReg");
        QCOMPARE(column(pelraTable(), 0), QStringList({"ffff", "0000"}));
        pelraTable()->item(1, 0)->setText(QStringLiteral("00ff"));
        click("btnAddPELRAReg");
        QCOMPARE(column(pelraTable(), 0), QStringList({"ffff", "00ff", "0100"}));
        // With row 0 highlighted the new row goes directly below it.
        pelraTable()->selectRow(0);
        click("btnAddPELRAReg");
        QCOMPARE(column(pelraTable(), 0), QStringList({"ffff", "0000", "00ff", "0100"}));
        QCOMPARE(highlighted(pelraTable()), QList<int>{1});

        // A ticked 24-bit TAMBRIL row is followed by a ticked row of six digits.
        addRow(asicTable(), QStringLiteral("7000"), QStringLiteral("000000"), true);
        click("btnAddASICReg");
        QCOMPARE(asicTable()->item(1, 0)->text(), QStringLiteral("7001"));
        QCOMPARE(asicTable()->item(1, 1)->text(), QStringLiteral("000000"));
        QCOMPARE(asicTable()->item(1, 2)->text(), QStringLiteral("000000"));
        QCOMPARE(asicTable()->item(1, 3)->checkState(), Qt::Checked);
        // The new row's own buttons work.
        rowButton(asicTable(), 1, true)->click();
        QCOMPARE(messages().last(), QStringLiteral("Reading ASIC 0x7001 succeeded"));

        // The address column widens from 100 rows on.
        while (pelraTable()->rowCount() < 99)
            click("btnAddPELRAReg");
        QCOMPARE(pelraTable()->columnWidth(0), 45);
        click("btnAddPELRAReg");
        QCOMPARE(pelraTable()->columnWidth(0), 50);
        click("btnRemovePELRAReg");
        QCOMPARE(pelraTable()->columnWidth(0), 45);
    }

    void upDwnMinus_moveAndRemoveHighlightedRows()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        for (int i = 0; i < 5; ++i)
            addRow(asicTable(), QStringLiteral("000%1").arg(i), QStringLiteral("%1").arg(i), i == 3);
        asicTable()->clearSelection();
        asicTable()->selectionModel()->select(asicTable()->model()->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        asicTable()->selectionModel()->select(asicTable()->model()->index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        click("btnMoveUpASICReg");
        QCOMPARE(column(asicTable(), 0), QStringList({"0000", "0001", "0003", "0004", "0002"}));
        QCOMPARE(column(asicTable(), 1), QStringList({"0", "1", "3", "4", "2"}));
        QCOMPARE(asicTable()->item(2, 3)->checkState(), Qt::Checked);
        QCOMPARE(asicTable()->item(3, 3)->checkState(), Qt::Unchecked);
        QCOMPARE(highlighted(asicTable()), QList<int>({2, 3}));
        QCOMPARE(asicTable()->selectionMode(), QAbstractItemView::ExtendedSelection);

        click("btnMoveDownASICReg");
        QCOMPARE(column(asicTable(), 0), QStringList({"0000", "0001", "0002", "0003", "0004"}));
        QCOMPARE(highlighted(asicTable()), QList<int>({3, 4}));
        // At the bottom nothing moves.
        click("btnMoveDownASICReg");
        QCOMPARE(column(asicTable(), 0), QStringList({"0000", "0001", "0002", "0003", "0004"}));
        asicTable()->selectRow(0);
        click("btnMoveUpASICReg");
        QCOMPARE(column(asicTable(), 0).first(), QStringLiteral("0000"));

        asicTable()->selectionModel()->select(asicTable()->model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        click("btnRemoveASICReg");
        QCOMPARE(column(asicTable(), 0), QStringList({"0001", "0003", "0004"}));
        QVERIFY(highlighted(asicTable()).isEmpty());
    }

    void blockRead_formatsValuesByWidth_data()
    {
        QTest::addColumn<bool>("asic");
        QTest::addColumn<bool>("wide");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QString>("message");
        QTest::newRow("ASIC 24-bit") << true << true << "4000" << "3"
                                     << "Blk read 0x4000 len 3:  000123, 000000, 00ffff, ";
        QTest::newRow("ASIC 16-bit") << true << false << " 4000" << "2" << "Blk read 0x 4000 len 2:  0123, 0000, ";
        QTest::newRow("PELRA") << false << false << "0010" << "2" << "Blk read 0x0010 len 2:  0027, 0000, ";
        QTest::newRow("length is decimal") << false << false << "0010" << "10"
                                           << "Blk read 0x0010 len 10:  0027, 0000, 0000, 0000, 0000, 0000, 0000, 0000, 0000, 0000, ";
        QTest::newRow("length 0") << true << false << "4000" << "0" << "Invalid block length. Expect [1, FFFF]";
        QTest::newRow("length not a number") << false << false << "0010" << "x" << "Invalid block length. Expect [1, FFFF]";
        QTest::newRow("address not a number") << true << false << "zz" << "3" << "Invalid block address. Expect [0, FFFF]";
    }
    void blockRead_formatsValuesByWidth()
    {
        QFETCH(bool, asic);
        QFETCH(bool, wide);
        QFETCH(QString, address);
        QFETCH(QString, length);
        QFETCH(QString, message);
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        sim->setAsicRegister(0x0412, 0, 0x4000, 0x0123);
        sim->setAsicRegister(0x0412, 0, 0x4002, 0xFFFF);
        w<QCheckBox>("chkASICRd24bit")->setChecked(wide);
        w<QLineEdit>(asic ? "txtASICBlkRdAddr" : "txtPELRABlkRdAddr")->setText(address);
        w<QLineEdit>(asic ? "txtASICBlkLen" : "txtPELRABlkLen")->setText(length);
        click(asic ? "btnASICBlkRead" : "btnPELRABlkRead");
        QCOMPARE(lastMessages(2), QStringList({QString(), message}));
    }

    void blockRead_failures()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        sim->setFault(0x0412, pelrasim::Link::GigE, pelrasim::Fault::WrongCode, 2);
        click("btnASICBlkRead");
        QCOMPARE(messages().last(), QStringLiteral("ASIC block read failed"));
        click("btnPELRABlkRead");
        QVERIFY2(messages().last().startsWith(QStringLiteral("PELRA 1 block read failed. ReadPELRABlock failed: readback code 0x40")),
                 qPrintable(messages().last()));
    }

    void asicBlockWrite_dataLines()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        // The default text (one value and a line feed) writes exactly one value.
        click("btnASICBlkWrite");
        QCOMPARE(lastMessages(2), QStringList({QString(), "Writing ASIC block succeeded"}));
        QTRY_COMPARE_WITH_TIMEOUT(asicBlockWrites(0x0412).size(), 1, 2000);
        QCOMPARE(asicBlockWrites(0x0412).last().values, QVector<quint32>{0});

        // An empty line between two values stops there; nothing is sent.
        w<QPlainTextEdit>("txtASICBlockData")->setPlainText(QStringLiteral("0001\n\n0002"));
        click("btnASICBlkWrite");
        QCOMPARE(messages().last(), QStringLiteral("Invalid line "));
        w<QLineEdit>("txtASICBlkWrtAddr")->setText(QStringLiteral(" 7g00 "));
        click("btnASICBlkWrite");
        QCOMPARE(lastMessages(2), QStringList({QString(), "Invalid block 7g00"}));

        // Values above ffff are taken; TAMBRIL registers from 0x7000 are 24-bit.
        w<QLineEdit>("txtASICBlkWrtAddr")->setText(QStringLiteral("7000"));
        w<QPlainTextEdit>("txtASICBlockData")->setPlainText(QStringLiteral("12345\r\nabcdef\n"));
        click("btnASICBlkWrite");
        QCOMPARE(messages().last(), QStringLiteral("Writing ASIC block succeeded"));
        QTRY_COMPARE_WITH_TIMEOUT(sim->asicRegister(0x0412, 0, 0x7001), 0xabcdefu, 2000);
        QCOMPARE(sim->asicRegister(0x0412, 0, 0x7000), 0x12345u);
        QCOMPARE(asicBlockWrites(0x0412).size(), 2);
    }

    void pelraBlockWrite_dataLines()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        // Start address 0000 is refused.
        click("btnPELRABlkWrite");
        QCOMPARE(lastMessages(2), QStringList({QString(), "Invalid block 0000"}));
        w<QLineEdit>("txtPELRABlkWrtAddr")->setText(QStringLiteral("0200"));
        w<QPlainTextEdit>("txtPELRABlockData")->setPlainText(QStringLiteral("0001\n12345"));
        click("btnPELRABlkWrite");
        QCOMPARE(messages().last(), QStringLiteral("Invalid block data 12345"));
        w<QPlainTextEdit>("txtPELRABlockData")->setPlainText(QStringLiteral("\n\n"));
        click("btnPELRABlkWrite");
        QCOMPARE(messages().last(), QStringLiteral("Invalid block 0200"));
        QCOMPARE(sim->cardRegister(0x0412, 0x0200), quint16(0));

        // Empty lines are dropped.
        w<QPlainTextEdit>("txtPELRABlockData")->setPlainText(QStringLiteral("0001\n\nbeef\n"));
        click("btnPELRABlkWrite");
        QCOMPARE(lastMessages(2), QStringList({QString(), "Writing PELRA 1 block succeeded"}));
        QTRY_COMPARE_WITH_TIMEOUT(sim->cardRegister(0x0412, 0x0201), quint16(0xbeef), 2000);
        QCOMPARE(sim->cardRegister(0x0412, 0x0200), quint16(1));
    }

    void addressIncrement_readModifyWriteOf0x0102()
    {
        QVERIFY(start(QString::fromLatin1(kOsteraCard)));
        auto *box = w<QCheckBox>("chkOSTERAAddrInc");
        QVERIFY(!box->isHidden());
        QVERIFY(!box->isChecked());
        QCOMPARE(w<QCheckBox>("chkDMA")->text(), QStringLiteral("mSPI\nBlk R/W"));
        box->click();
        QCOMPARE(messages().last(), QStringLiteral("Configuration of OSTERA address increment (17) succeeded"));
        QTRY_COMPARE_WITH_TIMEOUT(sim->cardRegister(0x0601, 0x0102), quint16(0x0011), 2000);

        // With the card auto-incrementing again, a block covers consecutive registers.
        w<QLineEdit>("txtASICBlkWrtAddr")->setText(QStringLiteral("0100"));
        w<QPlainTextEdit>("txtASICBlockData")->setPlainText(QStringLiteral("11\n22"));
        click("btnASICBlkWrite");
        QTRY_COMPARE_WITH_TIMEOUT(sim->asicRegister(0x0601, 0, 0x0101), 0x22u, 2000);

        box->click();
        QCOMPARE(messages().last(), QStringLiteral("Configuration of OSTERA address increment (16) succeeded"));
        QTRY_COMPARE_WITH_TIMEOUT(sim->cardRegister(0x0601, 0x0102), quint16(0x0010), 2000);

        sim->setFault(0x0601, pelrasim::Link::GigE, pelrasim::Fault::WrongEcho, 1);
        box->click();
        QCOMPARE(messages().last(), QStringLiteral("Reading PELRA 1 h0102 for modification of OSTERA Address Increment failed"));
        QVERIFY(box->isChecked());
        QCOMPARE(sim->cardRegister(0x0601, 0x0102), quint16(0x0010));
    }

    void familySwitch_adaptsTheTabAndAsksToLoadTheTable()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini"), kTambrilTable, kOsteraTable));
        // Start-up with TAMBRIL firmware loaded the TAMBRIL table without a question.
        QVERIFY(f->seam.asked.isEmpty());
        QCOMPARE(column(asicTable(), 0), QStringList({"6928", "7001"}));

        f->seam.answers = {true};
        click("rdOSTERA");
        QCOMPARE(f->seam.asked, QStringList{QStringLiteral("Select ASIC |Update register table registers?")});
        QCOMPARE(asicTable()->horizontalHeaderItem(3)->text(), QStringLiteral("mSPI"));
        QVERIFY(w<QCheckBox>("chkASICRd24bit")->isHidden());
        QVERIFY(!w<QCheckBox>("chkOSTERAAddrInc")->isHidden());
        // The card's 0x0102 bit 0 is on at power-up.
        QVERIFY(w<QCheckBox>("chkOSTERAAddrInc")->isChecked());
        QCOMPARE(column(asicTable(), 0), QStringList{"04f9"});
        QCOMPARE(asicTable()->item(0, 3)->checkState(), Qt::Checked);
        QVERIFY(w<QCheckBox>("chkDMA")->isChecked());
        QCOMPARE(pelraTable()->rowCount(), 0);

        // OSTERA writes are 16-bit even from 0x7000 on; answering No keeps the table.
        f->seam.answers = {false};
        click("rdTAMBRIL");
        QCOMPARE(f->seam.asked.size(), 2);
        QCOMPARE(column(asicTable(), 0), QStringList{"04f9"});
        QCOMPARE(asicTable()->horizontalHeaderItem(3)->text(), QStringLiteral("24Bit"));
        QVERIFY(w<QCheckBox>("chkOSTERAAddrInc")->isHidden());
    }

    void registerFile_pelraBlockReadFieldsAreNotOfferedAtClose()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini"), kTambrilTable));
        QCOMPARE(w<QLineEdit>("txtASICBlkRdAddr")->text(), QStringLiteral("7000"));
        QCOMPARE(w<QPlainTextEdit>("txtASICBlockData")->toPlainText(), QStringLiteral("012345\n"));
        QVERIFY(w<QCheckBox>("chkASICRd24bit")->isChecked());
        QCOMPARE(asicTable()->item(1, 3)->checkState(), Qt::Checked);
        QCOMPARE(column(pelraTable(), 1), QStringList{"0027"});
        const QByteArray before = readFile(tambrilFile);

        w<QLineEdit>("txtPELRABlkRdAddr")->setText(QStringLiteral("01a0"));
        w<QLineEdit>("txtPELRABlkLen")->setText(QStringLiteral("12"));
        f->seam.answers = {true};
        QVERIFY(f->window->close());
        QCOMPARE(f->seam.asked, QStringList{QStringLiteral("PAC|Are you sure to close the application?\n")});
        QCOMPARE(readFile(tambrilFile), before);
    }

    void registerFile_rdAllChangesAreOfferedAtClose()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini"), kTambrilTable));
        // "Rd All" changes the read column, which the file keeps too.
        sim->setAsicRegister(0x0412, 0, 0x7001, 0x00BEEF);
        click("btnRdAllASICs");
        QCOMPARE(messages().last(), QStringLiteral("Reading 2 registers succeeded"));
        QCOMPARE(column(asicTable(), 2), QStringList({"0fff", "beef"}));
        // Delete one row and change a block read field, then save at close.
        asicTable()->selectRow(0);
        click("btnRemoveASICReg");
        w<QLineEdit>("txtPELRABlkRdAddr")->setText(QStringLiteral("01a0"));
        f->seam.answers = {true, true};
        QVERIFY(f->window->close());
        QCOMPARE(f->seam.asked, QStringList({QStringLiteral("PAC|Are you sure to close the application?\n"),
                                             QStringLiteral("PAC|Save Manual Register config file ") + tambrilFile + QStringLiteral("?")}));
        const QByteArray saved = readFile(tambrilFile);
        QVERIFY(saved.contains("ASIC\\size=1\n"));
        QVERIFY(saved.contains("ASIC\\1\\REG=7001\nASIC\\1\\RVAL=beef\nASIC\\1\\WVAL=012345\n"));
        QVERIFY(saved.contains("W_VAL\\1\\DATA=012345\nW_VAL\\2\\DATA=\nW_VAL\\size=2\n"));
        QVERIFY(saved.contains("R_ADDR=01a0\n"));
    }

    void loadAndSaveButtons()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        QVERIFY(messages().contains(QStringLiteral("Manual Config Register file ") + tambrilFile + QStringLiteral(" doesn't exist")));
        // Loading through the dialog makes the chosen file the family's file.
        const QString other = f->appDir.filePath(QStringLiteral("other.ini"));
        QVERIFY(writeFile(other, kTambrilTable));
        f->seam.fileAnswer = other;
        click("btnLoadManualReg");
        QCOMPARE(f->seam.fileDialogs, QStringList{QStringLiteral("Manual Register File .ini|") + tambrilFile
                                                  + QStringLiteral("|ini file (*.ini)")});
        QCOMPARE(messages().last(), QStringLiteral("Loading ") + other + QStringLiteral(" succeeded"));
        QCOMPARE(asicTable()->rowCount(), 2);

        addRow(pelraTable(), QStringLiteral("0020"), QStringLiteral("0005"));
        f->seam.answers = {true};
        click("btnSaveManualReg");
        QCOMPARE(f->seam.asked.last(), QStringLiteral("PAC |Update ") + other + QStringLiteral("?"));
        QCOMPARE(messages().last(), QStringLiteral("Saving ") + other + QStringLiteral(" succeeded"));
        QVERIFY(readFile(other).contains("PELRA\\2\\REG=0020\n"));
        QVERIFY(readFile(other).contains("PELRA\\size=2\n"));

        // A file deleted meanwhile is not made anew.
        QVERIFY(QFile::remove(other));
        f->seam.answers = {true};
        click("btnSaveManualReg");
        QCOMPARE(lastMessages(2), QStringList({QStringLiteral("Manual Config Register file ") + other + QStringLiteral(" doesn't exist"),
                                               QStringLiteral("Saving ") + other + QStringLiteral(" failed")}));
        QVERIFY(!QFile::exists(other));
        // No answers No: nothing is saved or logged.
        const int lines = messages().size();
        f->seam.answers = {false};
        click("btnSaveManualReg");
        QCOMPARE(messages().size(), lines);
    }

    void sampleTables_workAgainstTheSimulator_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("family");
        QTest::addColumn<QStringList>("asicRead");
        QTest::addColumn<QStringList>("cardRead");
        // Read values show at least four digits, so a 24-bit value may show five.
        QTest::newRow("TAMBRIL") << QStringLiteral("sim-one-card.ini") << QStringLiteral("TAMBRIL")
                                 << QStringList({"0fff", "0001", "12345", "abcdef"}) << QStringList({"0027", "0000"});
        QTest::newRow("OSTERA") << QString::fromLatin1(kOsteraCard) << QStringLiteral("OSTERA")
                                << QStringList({"a501", "0011", "0022"}) << QStringList({"0027", "0001"});
    }
    void sampleTables_workAgainstTheSimulator()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, family);
        QFETCH(QStringList, asicRead);
        QFETCH(QStringList, cardRead);
        QFile sample(QStringLiteral(PAC_SOURCE_DIR "/config/ManualReg_") + family + QStringLiteral(".ini"));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        const QByteArray table = sample.readAll();
        QVERIFY(start(scenario, table, table));
        QCOMPARE(messages().filter(QStringLiteral("doesn't exist")), QStringList());

        click("btnWrtAllASICs");
        QCOMPARE(messages().last(), QStringLiteral("%1 registers written successfully").arg(asicRead.size()));
        click("btnRdAllASICs");
        QCOMPARE(messages().last(), QStringLiteral("Reading %1 registers succeeded").arg(asicRead.size()));
        QCOMPARE(column(asicTable(), 2), asicRead);
        click("btnWrtAllPELRAs");
        click("btnRdAllPELRAs");
        QCOMPARE(messages().last(), QStringLiteral("Reading 2 registers succeeded"));
        QCOMPARE(column(pelraTable(), 2), cardRead);

        clearLog();
        click("btnASICBlkWrite");
        click("btnASICBlkRead");
        click("btnPELRABlkRead");
        const QStringList log = messages();
        QCOMPARE(log.filter(QStringLiteral("failed")), QStringList());
        QCOMPARE(log.filter(QStringLiteral("Invalid")), QStringList());
        QVERIFY(log.contains(QStringLiteral("Writing ASIC block succeeded")));
        QVERIFY(!log.filter(QStringLiteral("Blk read 0x01a0 len 12:  ")).isEmpty());
    }

    void errorCounters_listedByName()
    {
        QVERIFY(start(QString::fromLatin1(kTwoFifoCard)));
        sim->raiseErrorCounter(0x0700, 32, 0x12);
        click("btnReadErrCnt");
        QCOMPARE(lastMessages(5), QStringList({QString(), "PELRA 1 Error Counters (with errors):",
                                               "ParityErrorCounter_UART: 0x0005", "ASIC1 Stop Bit Error: 0x0003",
                                               "Science CRC Error2: 0x0012"}));
        click("btnClearErr");
        QCOMPARE(lastMessages(2), QStringList({QString(), "Reset error counters succeeded"}));
        click("btnReadErrCnt");
        QCOMPARE(lastMessages(2), QStringList({"PELRA 1 Error Counters (with errors):", "No Error found"}));

        sim->setFault(0x0700, pelrasim::Link::GigE, pelrasim::Fault::WrongCode, 1);
        click("btnReadErrCnt");
        QCOMPARE(messages().last(), QStringLiteral("Read PELRA 1 error counters failed.Reading PELRA h02b-h02f failed"));
    }

    void errorCounters_osteraNamesSkipEmptyOnes()
    {
        QVERIFY(start(QString::fromLatin1(kOsteraCard)));
        click("btnReadErrCnt");
        QCOMPARE(lastMessages(2), QStringList({"PELRA 1 Error Counters (with errors):", "No Error found"}));
        sim->raiseErrorCounter(0x0601, 16, 1);
        click("btnReadErrCnt");
        QCOMPARE(messages().last(), QStringLiteral("ASIC2_mSPI_RxFIFO_Error: 0x0001"));
    }

    void fifoStatus_oneFifo()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        click("btnFIFO");
        QCOMPARE(lastMessages(3), QStringList({"Main FIFO: Empty. ", "GigE FIFO: Empty. ", "USB FIFO: Empty. "}));
        sim->setCardRegister(0x0412, 0x01A0, 0x0011);
        sim->setCardRegister(0x0412, 0x01A4, 300);
        click("btnFIFO");
        QCOMPARE(lastMessages(3), QStringList({"Main FIFO: Full. Empty. ", "GigE FIFO: Count of 32bit words = 300",
                                               "USB FIFO: Count of 32bit words = 300"}));
        sim->setFault(0x0412, pelrasim::Link::GigE, pelrasim::Fault::WrongCode, 1);
        click("btnFIFO");
        QVERIFY(messages().last().startsWith(QStringLiteral("Reading PELRA 1 block 0x01a0 for FIFO status failed: ReadPELRABlock failed")));
    }

    void fifoStatus_twoFifos()
    {
        QVERIFY(start(QString::fromLatin1(kTwoFifoCard)));
        click("btnFIFO");
        QCOMPARE(messages().at(messages().size() - 3), QStringLiteral("Main FIFO: FIFO1 & FIFO2 Empty. "));
        sim->setCardRegister(0x0700, 0x01A0, 0x0101);
        sim->setCardRegister(0x0700, 0x01A2, 1);
        sim->setCardRegister(0x0700, 0x01A3, 0x0010);
        click("btnFIFO");
        QCOMPARE(messages().at(messages().size() - 3),
                 QStringLiteral("Main FIFO: FIFO1 is Full. Total Count of 16bit words (FIFO1 + FIFO2) = 4112. "
                                "FIFO1 Count of 16bit words = 0. FIFO2 Count of 16bit words = 0. "));
    }

    void asicReset_withoutGroupsUsesALowPulse()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini")));
        sim->setCardRegister(0x0412, 0x0210, 0x0005);
        sim->setAsicRegister(0x0412, 0, 0x6928, 0x1234);
        sim->clearRegisterWrites();
        click("btnReset");
        QCOMPARE(lastMessages(3), QStringList({QString(), "Reset ASICs, wait....", "Succeeded. Please reload ASIC firmware for operation"}));
        QTRY_COMPARE_WITH_TIMEOUT(sim->cardRegister(0x0412, 0x0210), quint16(0x000D), 2000);
        QVector<quint16> resetWrites;
        for (const pelrasim::RegisterWrite &write : sim->registerWrites(0x0412))
            if (write.asic < 0 && write.address == 0x0210)
                resetWrites << quint16(write.value);
        QCOMPARE(resetWrites, QVector<quint16>({0x0005, 0x000D}));
        QCOMPARE(sim->asicResetPulses(0x0412), 1);
        QCOMPARE(sim->asicRegister(0x0412, 0, 0x6928), 0x0FFFu);

        sim->setFault(0x0412, pelrasim::Link::GigE, pelrasim::Fault::WrongEcho, 1);
        click("btnReset");
        QCOMPARE(lastMessages(2), QStringList({QString(), "Failed: Reset ASIC by reading PELRA h0210 failed"}));
    }

    void interfaceCheck_familyChangeAsksBeforeLoading()
    {
        QVERIFY(start(QStringLiteral("sim-one-card.ini"), kTambrilTable, kOsteraTable));
        QCOMPARE(asicTable()->rowCount(), 2);
        // The operator ticks OSTERA (and declines its table); the check finds TAMBRIL again.
        f->seam.answers = {false, true};
        click("rdOSTERA");
        asicTable()->setRowCount(0);
        click("btnInterface");
        QCOMPARE(f->seam.asked, QStringList({QStringLiteral("Select ASIC |Update register table registers?"),
                                             QStringLiteral("PAC|Different ASIC type detected (TAMBRIL instead of OSTERA). "
                                                            "Load the corresponding TAMBRIL register table for the Manual Command Tab?")}));
        QVERIFY(w<QRadioButton>("rdTAMBRIL")->isChecked());
        QCOMPARE(asicTable()->horizontalHeaderItem(3)->text(), QStringLiteral("24Bit"));
        QCOMPARE(column(asicTable(), 0), QStringList({"6928", "7001"}));
        // The same family again: nothing asked.
        click("btnInterface");
        QCOMPARE(f->seam.asked.size(), 2);
    }
};

QTEST_MAIN(TestWindowManual)
#include "tst_windowmanual.moc"
