// Telemetry tab: the converter's configuration row, the measure buttons of
// single items and supplies, and the measurement of the complete set.
#include "mainwindow.h"

#include "pelrainterface.h"
#include "telemetryconvert.h"
#include "telemetryitems.h"
#include "ui_mainwindow.h"

namespace {

// ASIC 2's VSSIO is shown with one more decimal after its own measure button.
constexpr quint16 Vssio2 = 0x040D;

}  // namespace

// The 50 measure buttons share two slots; each finds its item by the
// sender's object name.
void MainWindow::ConnectTelemetryButtons()
{
    for (const TelemetryItem &item : TelemetryItems()) {
        auto *button = ui->tabAnalysis->findChild<QPushButton *>(item.button);
        if (!button)
            continue;
        if (item.currentField.isEmpty())
            connect(button, &QAbstractButton::clicked, this, &MainWindow::OnGetOneTelemetry);
        else
            connect(button, &QAbstractButton::clicked, this, &MainWindow::GetTwoTelemetries);
    }
}

void MainWindow::on_btnTLMConfig_clicked()
{
    if (pelraLink->SetTLMConfig(quint16(ui->sltVSampleRate->currentIndex()), quint16(ui->sltVAvg->currentIndex()),
                                quint16(ui->sltISampleRate->currentIndex()), quint16(ui->sltIAvg->currentIndex()),
                                quint16(ui->sltGndRef->currentIndex()), selectedPelraMask))
        Log(QStringLiteral("Telemetry confiugraiton succeeded"));
    else
        Log(QStringLiteral("Telemetry confiugraiton failed: ") + pelraLink->ErrorString());
}

// Without a readable configuration the lists keep what they showed.
void MainWindow::GetTelemetryConfig()
{
    quint16 voltageRate = 0, voltageAveraging = 0, currentRate = 0, currentAveraging = 0, ground = 0;
    if (!pelraLink->GetTLMConfig(voltageRate, voltageAveraging, currentRate, currentAveraging, ground,
                                 selectedPelraMask)) {
        Log(pelraLink->ErrorString());
        return;
    }
    ui->sltGndRef->setCurrentIndex(ground);
    ui->sltVSampleRate->setCurrentIndex(voltageRate);
    ui->sltVAvg->setCurrentIndex(voltageAveraging);
    ui->sltISampleRate->setCurrentIndex(currentRate);
    ui->sltIAvg->setCurrentIndex(currentAveraging);
}

void MainWindow::OnGetOneTelemetry()
{
    if (!LinkToSelectedCard()) {
        Log(QStringLiteral("Getting voltages failed - No interface available"));
        return;
    }
    const TelemetryItem *item = sender() ? TelemetryItemOfButton(sender()->objectName()) : nullptr;
    if (!item)
        return;
    GetTelemetryConfig();
    float volts = 0;
    const bool ok = pelraLink->GetOneTelemetry(item->code, volts, selectedPelraMask);
    // The value is shown also after a failure: it is what the card link returned.
    if (auto *field = ui->tabAnalysis->findChild<QLineEdit *>(item->voltageField))
        field->setText(TelemetryVoltageText(volts));
    if (!ok)
        Log(QStringLiteral("Reading telemetry item failed: ") + pelraLink->ErrorString());
}

void MainWindow::GetTwoTelemetries()
{
    if (!LinkToSelectedCard()) {
        Log(QStringLiteral("Reading voltages failed - No interface available"));
        return;
    }
    const TelemetryItem *item = sender() ? TelemetryItemOfButton(sender()->objectName()) : nullptr;
    if (!item)
        return;
    GetTelemetryConfig();
    float volts = 0, milliamps = 0;
    const bool ok = pelraLink->GetTwoTelemetries(item->code, volts, milliamps, selectedPelraMask);
    if (auto *field = ui->tabAnalysis->findChild<QLineEdit *>(item->voltageField))
        field->setText(TelemetryVoltageText(volts, item->code == Vssio2 ? 4 : 3));
    if (auto *field = ui->tabAnalysis->findChild<QLineEdit *>(item->currentField))
        field->setText(TelemetryCurrentText(milliamps));
    if (!ok)
        Log(QStringLiteral("Reading two telemetry items failed: ") + pelraLink->ErrorString());
}

// The complete set: 79 items in one run of the converter. A failed run
// leaves every field as it was.
void MainWindow::on_btnMeasureAll_clicked()
{
    if (!LinkToSelectedCard()) {
        Log(QStringLiteral("Reading voltages failed - No interface available"));
        return;
    }
    Log(QStringLiteral("Wait....."), true);
    const QVector<quint16> codes = CompleteSetCodes();
    QVector<float> values(codes.size(), 0.0f);
    GetTelemetryConfig();
    if (!pelraLink->GetTelemetrySet(codes.constData(), quint16(codes.size()), values.data(), selectedPelraMask)) {
        Log(QStringLiteral("Reading telemetries failed. ") + pelraLink->ErrorString());
        return;
    }
    Log(QStringLiteral("Done"));
    for (int i = 0; i < codes.size(); ++i) {
        const quint16 code = codes.at(i);
        const bool current = code >= Telemetry::FirstCurrent;
        const TelemetryItem *item = TelemetryItemOfCode(current ? quint16(code - Telemetry::CurrentOffset) : code);
        if (!item)
            continue;
        auto *field = ui->tabAnalysis->findChild<QLineEdit *>(current ? item->currentField : item->voltageField);
        if (field)
            field->setText(current ? TelemetryCurrentText(values.at(i)) : TelemetryVoltageText(values.at(i)));
    }
}
