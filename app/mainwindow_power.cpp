// Power Control tab: applying the ASIC supplies, limits and power switches
// to the selected cards and reading them back.
#include "mainwindow.h"

#include "dialogseam.h"
#include "pelrainterface.h"
#include "powerconvert.h"
#include "ui_mainwindow.h"

#include <algorithm>

namespace {

using FieldMember = QLineEdit *Ui::MainWindow::*;
using BoxMember = QCheckBox *Ui::MainWindow::*;

// Value fields in register order (0x0321-0x0333, 0x0341-0x0353).
constexpr FieldMember Asic1Fields[Power::FieldsPerAsic] = {
    &Ui::MainWindow::txtVRef1,    &Ui::MainWindow::txtVddaH1,   &Ui::MainWindow::txtVddaH1VL,
    &Ui::MainWindow::txtVddaH1CL, &Ui::MainWindow::txtVddaL1,   &Ui::MainWindow::txtVddaL1VL,
    &Ui::MainWindow::txtVddaL1CL, &Ui::MainWindow::txtVddH1,    &Ui::MainWindow::txtVddH1VL,
    &Ui::MainWindow::txtVddH1CL,  &Ui::MainWindow::txtVddL1,    &Ui::MainWindow::txtVddL1VL,
    &Ui::MainWindow::txtVddL1CL,  &Ui::MainWindow::txtVDDIO1,   &Ui::MainWindow::txtVDDIO1VL,
    &Ui::MainWindow::txtVDDIO1CL, &Ui::MainWindow::txtVSSIO1,   &Ui::MainWindow::txtVSSIO1VL,
    &Ui::MainWindow::txtVddAux1,
};
constexpr FieldMember Asic2Fields[Power::FieldsPerAsic] = {
    &Ui::MainWindow::txtVRef2,    &Ui::MainWindow::txtVddaH2,   &Ui::MainWindow::txtVddaH2VL,
    &Ui::MainWindow::txtVddaH2CL, &Ui::MainWindow::txtVddaL2,   &Ui::MainWindow::txtVddaL2VL,
    &Ui::MainWindow::txtVddaL2CL, &Ui::MainWindow::txtVddH2,    &Ui::MainWindow::txtVddH2VL,
    &Ui::MainWindow::txtVddH2CL,  &Ui::MainWindow::txtVddL2,    &Ui::MainWindow::txtVddL2VL,
    &Ui::MainWindow::txtVddL2CL,  &Ui::MainWindow::txtVDDIO2,   &Ui::MainWindow::txtVDDIO2VL,
    &Ui::MainWindow::txtVDDIO2CL, &Ui::MainWindow::txtVSSIO2,   &Ui::MainWindow::txtVSSIO2VL,
    &Ui::MainWindow::txtVddAux2,
};

// Check box n drives bit n of 0x0320 / 0x0340.
constexpr BoxMember Asic1Boxes[Power::AsicEnableBits] = {
    &Ui::MainWindow::chkVDDAH1,          &Ui::MainWindow::chkVDDAL1,         &Ui::MainWindow::chkVRef1,
    &Ui::MainWindow::chkSenseVRef1GND,   &Ui::MainWindow::chkSenseVDDAH1GNDA, &Ui::MainWindow::chkSenseVDDAH1,
    &Ui::MainWindow::chkSenseVDDAL1GNDA, &Ui::MainWindow::chkSenseVDDAL1,    &Ui::MainWindow::chkVDDH1,
    &Ui::MainWindow::chkVDDL1,           &Ui::MainWindow::chkVDDIO1,         &Ui::MainWindow::chkVSSIO1,
    &Ui::MainWindow::chkSenseVDDH1GND,   &Ui::MainWindow::chkSenseVDDH1,     &Ui::MainWindow::chkSenseVDDL1GND,
    &Ui::MainWindow::chkSenseVDDL1,
};
constexpr BoxMember Asic2Boxes[Power::AsicEnableBits] = {
    &Ui::MainWindow::chkVDDAH2,          &Ui::MainWindow::chkVDDAL2,         &Ui::MainWindow::chkVRef2,
    &Ui::MainWindow::chkSenseVRef2GND,   &Ui::MainWindow::chkSenseVDDAH2GNDA, &Ui::MainWindow::chkSenseVDDAH2,
    &Ui::MainWindow::chkSenseVDDAL2GNDA, &Ui::MainWindow::chkSenseVDDAL2,    &Ui::MainWindow::chkVDDH2,
    &Ui::MainWindow::chkVDDL2,           &Ui::MainWindow::chkVDDIO2,         &Ui::MainWindow::chkVSSIO2,
    &Ui::MainWindow::chkSenseVDDH2GND,   &Ui::MainWindow::chkSenseVDDH2,     &Ui::MainWindow::chkSenseVDDL2GND,
    &Ui::MainWindow::chkSenseVDDL2,
};

// In the order of Power::CardEnableBits (0x0300).
constexpr BoxMember CardBoxes[] = {
    &Ui::MainWindow::chk5V,
    &Ui::MainWindow::chkGigE,
    &Ui::MainWindow::chkGigEOverride,
    &Ui::MainWindow::chkGndFilterByPass,
    &Ui::MainWindow::chkUSBFilterByPass,
    &Ui::MainWindow::chkGndCleanFilterByPass,
    &Ui::MainWindow::chkGndDirtyFilterByPass,
    &Ui::MainWindow::chkVddAux1,
    &Ui::MainWindow::chkVddAux2,
};
static_assert(sizeof(CardBoxes) / sizeof(CardBoxes[0]) == sizeof(Power::CardEnableBits) / sizeof(int),
              "one check box per bit of 0x0300");

// Registers and cache entries of one ASIC.
struct AsicPower {
    int number;
    const FieldMember *fields;
    const BoxMember *boxes;
    quint16 firstValue;      // first value register
    int firstCache;          // cache entry of the first value
    int enableCache;         // cache entry of the enable word
    const char *writeFailure;
};

const AsicPower Asics[2] = {
    {1, Asic1Fields, Asic1Boxes, 0x0321, 0, Power::CacheAsic1Enables, " block 0x0321 to set voltages failed"},
    {2, Asic2Fields, Asic2Boxes, 0x0341, Power::FieldsPerAsic, Power::CacheAsic2Enables,
     " block 0x0341 to set voltages failed"},
};

quint32 AsicWord(const Ui::MainWindow *ui, const AsicPower &asic)
{
    quint32 word = 0;
    for (int bit = 0; bit < Power::AsicEnableBits; ++bit) {
        if ((ui->*asic.boxes[bit])->isChecked())
            word |= 1u << bit;
    }
    return word;
}

quint32 CardWord(const Ui::MainWindow *ui)
{
    quint32 word = 0;
    for (size_t i = 0; i < sizeof(CardBoxes) / sizeof(CardBoxes[0]); ++i) {
        if ((ui->*CardBoxes[i])->isChecked())
            word |= 1u << Power::CardEnableBits[i];
    }
    return word;
}

}  // namespace

bool MainWindow::LinkToSelectedCard()
{
    quint16 cardId = 0;
    return pelraLink->GetCurrentInterfaceType(&cardId) != InterfaceNone && cardId == selectedCardId;
}

// Applying the settings:
//  1. go on only with a link to the window's card;
//  2. take the three enable words from the check boxes;
//  3. for each ASIC, check every field against its limit (stopping at the
//     first bad one), rewrite it as applied, then write its 19 codes one by
//     one, keeping each written code in powerRegCache;
//  4. write the ASIC enable words and the card's power word.
// A bad ASIC 2 field therefore stops after ASIC 1 was written.
void MainWindow::on_btnSetVolt_clicked()
{
    if (!LinkToSelectedCard()) {
        const QString reason = pelraLink->ErrorString();
        Log(reason.isEmpty() ? QStringLiteral("Setting voltages failed - No interface available") : reason);
        return;
    }
    const quint32 asicWords[2] = {AsicWord(ui, Asics[0]), AsicWord(ui, Asics[1])};
    const quint32 cardWord = CardWord(ui);

    for (const AsicPower &asic : Asics) {
        const QVector<Power::Field> fields = Power::AsicFields(asic.number);
        QVector<quint32> codes;
        for (int i = 0; i < Power::FieldsPerAsic; ++i) {
            QLineEdit *field = ui->*asic.fields[i];
            const qint64 n = Power::Thousandths(field->text());
            // Negative entries have no register code; they are refused like
            // entries above the limit.
            if (n < 0 || n > Power::Limit(fields.at(i).kind)) {
                Log(fields.at(i).rejection);
                return;
            }
            codes << Power::Code(fields.at(i).kind, n);
            field->setText(Power::ThousandthsText(n));
        }
        for (int i = 0; i < Power::FieldsPerAsic; ++i) {
            if (!pelraLink->WritePELRAReg(quint16(asic.firstValue + i), codes.at(i), selectedPelraMask)) {
                Log(QStringLiteral("Writing ") + GetPELRAString() + QLatin1String(asic.writeFailure));
                return;
            }
            powerRegCache[asic.firstCache + i] = codes.at(i);
        }
    }

    const bool written = pelraLink->WritePELRAReg(0x0320, asicWords[0], selectedPelraMask)
                         && pelraLink->WritePELRAReg(0x0340, asicWords[1], selectedPelraMask)
                         && pelraLink->WritePELRAReg(0x0300, cardWord, selectedPelraMask);
    if (!written) {
        Log(QStringLiteral("Writing ") + GetPELRAString()
            + QStringLiteral(" h0300/h0320/h0340 for power enable states failed: ") + pelraLink->ErrorString());
        return;
    }
    powerRegCache[Power::CacheAsic1Enables] = asicWords[0];
    powerRegCache[Power::CacheAsic2Enables] = asicWords[1];
    powerRegCache[Power::CacheCardEnables] = cardWord;
    Log(QStringLiteral("Setting voltages to PELRA succeeded"));
}

void MainWindow::on_btGetVolt_clicked()
{
    ReadPowerSettings(false);
}

// Reading the settings back: two blocks of 19 values and the three enable
// words. A failed read leaves zeros and the rest is still read. Shown on the
// tab as a whole, and kept as powerRegCache.
void MainWindow::ReadPowerSettings(bool fromTab)
{
    if (!LinkToSelectedCard()) {
        Log(QStringLiteral("Getting voltages failed - No interface available"));
        return;
    }
    QVector<quint32> fresh(Power::CacheSize, 0);
    const QString cards = GetPELRAString();
    bool complete = true;

    struct Block {
        quint16 address;
        int first;
        const char *failure;
    };
    static const Block blocks[] = {
        {0x0321, 0, " block 0x0321,len 19 for voltage settings failed: "},
        {0x0341, Power::FieldsPerAsic, " block 0x0341, len 19 for voltage settings failed: "},
    };
    for (const Block &block : blocks) {
        QVector<quint32> values;
        if (pelraLink->ReadPELRABlock(block.address, Power::FieldsPerAsic, values, selectedPelraMask)) {
            std::copy(values.cbegin(), values.cbegin() + Power::FieldsPerAsic, fresh.begin() + block.first);
        } else {
            complete = false;
            Log(QStringLiteral("Reading ") + cards + QLatin1String(block.failure) + pelraLink->ErrorString());
        }
    }

    struct Word {
        quint16 address;
        int entry;
    };
    static const Word words[] = {
        {0x0300, Power::CacheCardEnables},
        {0x0320, Power::CacheAsic1Enables},
        {0x0340, Power::CacheAsic2Enables},
    };
    for (const Word &word : words) {
        quint32 value = 0;
        if (!pelraLink->ReadPELRAReg(word.address, value, selectedPelraMask)) {
            complete = false;
            Log(QStringLiteral("Reading ") + cards + QStringLiteral(" h0300/h0320/h0340 for power enable states failed: ")
                + pelraLink->ErrorString());
            break;
        }
        fresh[word.entry] = value;
    }

    // Showing the tab must not silently overwrite what the operator sees
    // with settings that something else changed on the card.
    if (fromTab) {
        const bool nothingKnown = std::all_of(powerRegCache.cbegin(), powerRegCache.cend(),
                                              [](quint32 value) { return value == 0; });
        if (!nothingKnown) {
            if (fresh == powerRegCache)
                return;
            if (!dialogs->ask(this, QStringLiteral("PAC"), QStringLiteral("Power settings are changed on PELRA. Update GUI?\n")))
                return;
        }
    }

    powerRegCache = fresh;
    for (const AsicPower &asic : Asics) {
        const QVector<Power::Field> fields = Power::AsicFields(asic.number);
        for (int i = 0; i < Power::FieldsPerAsic; ++i)
            (ui->*asic.fields[i])->setText(Power::CodeText(fields.at(i).kind, fresh.at(asic.firstCache + i)));
        const quint32 word = fresh.at(asic.enableCache);
        for (int bit = 0; bit < Power::AsicEnableBits; ++bit)
            (ui->*asic.boxes[bit])->setChecked(word & (1u << bit));
    }
    const quint32 cardWord = fresh.at(Power::CacheCardEnables);
    for (size_t i = 0; i < sizeof(CardBoxes) / sizeof(CardBoxes[0]); ++i)
        (ui->*CardBoxes[i])->setChecked(cardWord & (1u << Power::CardEnableBits[i]));

    if (complete)
        Log(QStringLiteral("Reading ") + cards + QStringLiteral(" voltage settings and power states succeeded"));
}
