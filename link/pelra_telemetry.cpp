// The card's telemetry converter: configuration, single and paired
// measurements and the measurement of a whole set of items.
//
// A measurement:
//  1. reads 0x0480 and keeps it, switching the telemetry clock (bit 0) on
//     when it was off;
//  2. starts the conversion: 0 written to the item's result register, or, for
//     a set, the selection words 0x0484-0x0489 and then 0 to 0x0481;
//  3. polls 0x0481 until bit 0 clears or the time limit passes;
//  4. reads the result register(s) and converts the raw words;
//  5. writes the kept 0x0480 back, so the clock is left as it was found.
#include "pelrainterface.h"
#include "telemetryconvert.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>

using Telemetry::HexDigits;

namespace {

const QString ClockReadFailure = QStringLiteral("Reading PELRA h0x0480 for telmetry clock failed: ");
const QString PollFailure = QStringLiteral("Reading PELRA 0x0481 for waiting telemetry measurement failed: ");

QString TriggerFailure(quint16 code)
{
    return QStringLiteral("Triggering telemetry by writing 0x") + HexDigits(code) + QStringLiteral(" failed: ");
}

QString Timeout(quint32 status)
{
    return QStringLiteral("Waiting for telemetry measurement timeout: Readback of 0x0481=") + HexDigits(status);
}

}  // namespace

void PelraInterface::SetTelemetryWaits(int singleMs, int setMs, int setPollMs)
{
    telemetrySingleLimitMs = singleMs;
    telemetrySetLimitMs = setMs;
    telemetrySetPollMs = setPollMs;
}

bool PelraInterface::SetTLMConfig(quint16 voltageRate, quint16 voltageAveraging, quint16 currentRate,
                                  quint16 currentAveraging, quint16 groundReference, quint8 select)
{
    const Telemetry::Config config{voltageRate, voltageAveraging, currentRate, currentAveraging, groundReference};
    if (!Telemetry::ConfigValid(config)) {
        lastError = QStringLiteral("Invalid sample rate / average / ground reference");
        return false;
    }
    quint32 old = 0;
    if (!ReadPELRAReg(Telemetry::ConfigRegister, old, select)) {
        lastError = QStringLiteral("Reading PELRA h0x0480 for telmetry configuration failed: ") + lastError;
        return false;
    }
    if (!WritePELRAReg(Telemetry::ConfigRegister, Telemetry::ConfigWord(old, config), select)) {
        lastError = QStringLiteral("Writing PELRA 0x0x480 for telemtry configuration failed: ") + lastError;
        return false;
    }
    return true;
}

bool PelraInterface::GetTLMConfig(quint16 &voltageRate, quint16 &voltageAveraging, quint16 &currentRate,
                                  quint16 &currentAveraging, quint16 &groundReference, quint8 select)
{
    quint32 word = 0;
    if (!ReadPELRAReg(Telemetry::ConfigRegister, word, select)) {
        lastError = QStringLiteral("Reading PELRA h0480 for telemetry configuration failed");
        return false;
    }
    const Telemetry::Config config = Telemetry::SplitConfigWord(word);
    voltageRate = config.voltageRate;
    voltageAveraging = config.voltageAveraging;
    currentRate = config.currentRate;
    currentAveraging = config.currentAveraging;
    groundReference = config.groundReference;
    return true;
}

// Steps 2-4 for one item; on failure lastError holds the local error.
bool PelraInterface::MeasureTelemetryItem(quint16 code, bool settle, quint32 &raw, const QString &readFailure,
                                          quint8 select)
{
    raw = 0;
    if (!WritePELRAReg(code, 0, select)) {
        lastError = TriggerFailure(code) + lastError;
        return false;
    }
    if (settle)
        QThread::msleep(1);
    QElapsedTimer watch;
    watch.start();
    quint32 status = 0;
    for (;;) {
        if (!ReadPELRAReg(Telemetry::StatusRegister, status, select)) {
            lastError = PollFailure + lastError;
            return false;
        }
        if (!(status & 1u))
            break;
        if (watch.elapsed() >= telemetrySingleLimitMs) {
            lastError = Timeout(status);
            return false;
        }
    }
    if (!ReadPELRAReg(code, raw, select)) {
        lastError = readFailure + lastError;
        return false;
    }
    return true;
}

// Step 5: the kept configuration goes back whatever happened before.
bool PelraInterface::RestoreTelemetryConfig(quint32 saved, const QString &localError, quint8 select)
{
    if (!WritePELRAReg(Telemetry::ConfigRegister, saved, select)) {
        lastError = QStringLiteral("Disable telemetry clock by writing PELRA 0x0480 with value ") + HexDigits(saved)
                    + QStringLiteral(" failed");
        return false;
    }
    lastError = localError;
    return localError.isEmpty();
}

bool PelraInterface::GetOneTelemetry(quint16 code, float &value, quint8 select)
{
    value = 0;
    if (!Telemetry::IsItem(code)) {
        lastError = QStringLiteral("Invlid telemetry addr. Should be in the range [0x0400 - 0x045f], excluding "
                                   "[0x0414 - 0x0416], [0x0454 - 0x0456], [0x0435- 0x043f]");
        return false;
    }
    quint32 saved = 0;
    if (!ReadPELRAReg(Telemetry::ConfigRegister, saved, select)) {
        lastError = ClockReadFailure + lastError;
        return false;
    }
    if (!(saved & 1u) && !WritePELRAReg(Telemetry::ConfigRegister, saved | 1u, select)) {
        lastError = QStringLiteral("Writing PELRA 0x0x480 to enable telemtry clock failed: ") + lastError;
        return false;
    }
    quint32 raw = 0;
    QString localError;
    const QString readFailure = QStringLiteral("Reading telemetry result at h") + HexDigits(code)
                                + QStringLiteral(" failed: ");
    if (!MeasureTelemetryItem(code, true, raw, readFailure, select))
        localError = lastError;
    value = Telemetry::RawToValue(code, raw, Telemetry::Operation::Single);
    return RestoreTelemetryConfig(saved, localError, select);
}

bool PelraInterface::GetTwoTelemetries(quint16 supplyCode, float &voltage, float &current, quint8 select)
{
    voltage = 0;
    current = 0;
    if (!Telemetry::IsSupply(supplyCode)) {
        lastError = QStringLiteral("Invlid telemetry item (address). It should be in the range for [0x0400 - 0x041f]");
        return false;
    }
    quint32 saved = 0;
    if (!ReadPELRAReg(Telemetry::ConfigRegister, saved, select)) {
        lastError = ClockReadFailure + lastError;
        return false;
    }
    QString localError;
    if (!(saved & 1u) && !WritePELRAReg(Telemetry::ConfigRegister, saved | 1u, select))
        localError = QStringLiteral("Writing PELRA 0x0x480 to enable telemtry clock failed: ") + lastError;

    if (localError.isEmpty()) {
        quint32 raw = 0;
        const QString voltageFailure = QStringLiteral("Reading telemetry result at h") + HexDigits(supplyCode)
                                       + QStringLiteral(" failed: ");
        const bool voltageOk = MeasureTelemetryItem(supplyCode, true, raw, voltageFailure, select);
        voltage = Telemetry::RawToValue(supplyCode, raw, Telemetry::Operation::Single);
        if (!voltageOk) {
            localError = lastError;
        } else {
            const quint16 currentCode = supplyCode + Telemetry::CurrentOffset;
            const QString currentFailure = QStringLiteral("Read PELRA ") + HexDigits(currentCode)
                                           + QStringLiteral(" for telemetry failed: ");
            if (!MeasureTelemetryItem(currentCode, false, raw, currentFailure, select))
                localError = lastError;
            current = Telemetry::RawToValue(currentCode, raw, Telemetry::Operation::Single);
        }
    }
    return RestoreTelemetryConfig(saved, localError, select);
}

bool PelraInterface::GetTelemetrySet(const quint16 *codes, quint16 count, float *values, quint8 select)
{
    if (count > 0 && (!codes || !values)) {
        lastError = QStringLiteral("Reading telemetry set failed: no list of %1 codes or values given").arg(count);
        return false;
    }
    std::fill(values, values + count, 0.0f);
    quint32 saved = 0;
    if (!ReadPELRAReg(Telemetry::ConfigRegister, saved, select)) {
        lastError = ClockReadFailure + lastError;
        return false;
    }
    if (!(saved & 1u) && !WritePELRAReg(Telemetry::ConfigRegister, saved | 1u, select)) {
        lastError = QStringLiteral("Writing PELRA 0x0480 to enable telemtry clock failed: ") + lastError;
        return false;
    }

    const Telemetry::Selection selection = Telemetry::SelectCodes(codes, count);
    QString localError = selection.rejected;
    QVector<quint32> results;
    bool measured = false;
    if (!WritePELRABlock(Telemetry::SelectionRegister, Telemetry::SelectionWords, selection.words, select)) {
        localError = QStringLiteral("Writing PELRA block 0x0484-0x0489 to configure telemetry readout failed: ")
                     + lastError;
    } else if (!WritePELRAReg(Telemetry::StatusRegister, 0, select)) {
        localError = QStringLiteral("Triggering telemetry by writing 0x0481 failed: ") + lastError;
    } else {
        QElapsedTimer watch;
        watch.start();
        quint32 status = 0;
        for (;;) {
            if (!ReadPELRAReg(Telemetry::StatusRegister, status, select)) {
                localError = PollFailure + lastError;
                break;
            }
            if (!(status & 1u)) {
                measured = true;
                break;
            }
            if (watch.elapsed() >= telemetrySetLimitMs) {
                localError = Timeout(status);
                break;
            }
            QThread::msleep(quint32(std::max(0, telemetrySetPollMs)));
        }
    }
    if (measured && !ReadPELRABlock(Telemetry::FirstResult, Telemetry::ResultCount, results, select)) {
        localError = QStringLiteral("Read PELRA block 0x0400, len 96 failed: ") + lastError;
        measured = false;
    }
    if (measured) {
        for (int i = 0; i < count; ++i) {
            const int index = int(codes[i]) - Telemetry::FirstResult;
            if (index >= 0 && index < Telemetry::ResultCount)
                values[i] = Telemetry::RawToValue(codes[i], results.at(index), Telemetry::Operation::Set);
        }
    }
    return RestoreTelemetryConfig(saved, localError, select);
}
