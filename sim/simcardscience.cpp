#include "simcardscience.h"

#include "pelrasim.h"
#include "simcard.h"
#include "simgigescience.h"

#include <QStringList>

#include <algorithm>

namespace pelrasim {

namespace {

constexpr quint16 RegFifoStatus = 0x1A0;
constexpr quint16 RegFifoReset = 0x1A1;
constexpr quint16 RegFifoMode = 0x1B0;
constexpr quint16 RegFifoEnable = 0x1B1;
constexpr quint16 RegAsicPattern = 0x1B2;
constexpr quint16 RegMultiAsicMode = 0x1B5;
constexpr quint16 RegMultiAsicBlock = 0x1B6;
constexpr quint16 RegGigeConfig = 0x1D0;
constexpr quint16 RegGigePattern = 0x1D1;
constexpr quint16 RegUsbConfig = 0x1E0;
constexpr quint16 RegUsbPattern = 0x1E1;
constexpr quint16 RegScienceBlock = 0x1820;
constexpr quint16 RegScienceFlag = 0x182D;
constexpr quint16 RegUsbTimeouts = 0x002E;
constexpr quint16 RegGigeTimeouts = 0x002F;
constexpr quint16 RegScienceStops = 0x0188;

constexpr quint16 PatternMode = 0x2F;
constexpr quint16 MultiAsicOn = 0x10FF;
constexpr quint16 AllEmpty = 0x70;
constexpr quint16 EmptyBit[2] = {0x20, 0x40};   // GigE, USB
constexpr quint16 FullBit[2] = {0x02, 0x04};
constexpr quint16 MainEmpty = 0x10;
constexpr quint16 MainFull = 0x01;

bool number(const QString &text, quint32 max, quint32 *out)
{
    const QString t = text.trimmed();
    bool ok = false;
    const qulonglong n = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toULongLong(&ok, 16)
                                                                               : t.toULongLong(&ok, 10);
    if (!ok || n > max)
        return false;
    *out = quint32(n);
    return true;
}

}  // namespace

bool parseScienceKey(const QString &key, const QString &value, ScienceSettings *s, bool *known, QString *error)
{
    struct Field {
        const char *key;
        quint32 max;
        quint32 min;
        int *target;
    };
    int frameMs = s->frameMs, width = s->layout.width, height = s->layout.height, channels = s->layout.channels;
    int headers = s->layout.headers, sortMode = s->layout.sortMode, extra = s->layout.extraPixels;
    int resetReg = s->sendResetReg, resetBit = s->sendResetBit, seed = int(s->seed);
    const Field fields[] = {
        {"science_width", 65535, 1, &width},        {"science_height", 65535, 1, &height},
        {"science_channels", 65535, 0, &channels},  {"science_headers", 65535, 0, &headers},
        {"science_sort", 2, 0, &sortMode},          {"science_frame_ms", 600000, 0, &frameMs},
        {"science_extra_pixels", 1 << 24, 0, &extra}, {"science_send_reset_reg", 0xFFFF, 0, &resetReg},
        {"science_send_reset_bit", 23, 0, &resetBit}, {"science_seed", 0x7FFFFFFF, 0, &seed},
    };
    *known = true;
    for (const Field &f : fields) {
        if (key != QLatin1String(f.key))
            continue;
        quint32 n = 0;
        if (!number(value, f.max, &n) || n < f.min) {
            *error = QStringLiteral("\"%1\" is not a number from %2 to %3").arg(value).arg(f.min).arg(f.max);
            return false;
        }
        *f.target = int(n);
        s->frameMs = frameMs;
        s->layout.width = width;
        s->layout.height = height;
        s->layout.channels = channels;
        s->layout.headers = headers;
        s->layout.sortMode = sortMode;
        s->layout.extraPixels = extra;
        s->sendResetReg = quint16(resetReg);
        s->sendResetBit = resetBit;
        s->seed = quint32(seed);
        return true;
    }
    if (key == QLatin1String("science_guide")) {
        // width, height, reads, rows before the first window, rows between, [end]
        const QStringList parts = value.split(QLatin1Char(','));
        quint32 n[6] = {0, 0, 0, 0, 0, 0};
        bool ok = parts.size() == 5 || parts.size() == 6;
        for (int i = 0; ok && i < parts.size(); ++i)
            ok = number(parts[i], 65535, &n[i]);
        if (!ok || n[4] == 0) {
            *error = QStringLiteral("\"%1\" is not width, height, reads, first rows, rows between[, end]").arg(value);
            return false;
        }
        s->layout.guide = {int(n[0]), int(n[1]), int(n[2]), int(n[3]), int(n[4]), n[5] != 0};
        return true;
    }
    *known = false;
    return true;
}

CardScience::CardScience(CardModel *card)
    : card(card)
{
}

ScienceSender *CardScience::activeSender() const
{
    if ((card->stored(RegGigeConfig) & 1) && gige)
        return &gige->sender();
    if ((card->stored(RegUsbConfig) & 1) && usb)
        return usb;
    return nullptr;
}

void CardScience::startPattern(ScienceSender *to, quint16 base)
{
    const int width = card->stored(base) + 1;
    const int height = card->stored(quint16(base + 1)) + 1;
    const int frames = card->stored(quint16(base + 2));
    if (!to || frames <= 0)
        return;
    to->post({makePatternFrames(width, height, frames, 1, 0), settings.frameMs, card->id()});
}

void CardScience::startAsicFifoPattern()
{
    const quint16 enabled = card->stored(RegFifoEnable);
    const int fifos = ((enabled & 0x1) ? 1 : 0) + ((enabled & 0x4) ? 1 : 0);
    ScienceSender *to = activeSender();
    if ((card->stored(RegFifoMode) & PatternMode) != PatternMode || fifos == 0 || !to)
        return;
    const int width = card->stored(RegAsicPattern) + 1;
    const int height = card->stored(RegAsicPattern + 1) + 1;
    const int frames = card->stored(RegAsicPattern + 2);
    const int block = card->stored(RegMultiAsicMode) == MultiAsicOn ? card->stored(RegMultiAsicBlock) + 1 : width;
    if (frames > 0)
        to->post({makePatternFrames(width, height, frames, fifos, block), settings.frameMs, card->id()});
}

void CardScience::cardWrote(quint16 address, quint16 value)
{
    switch (address) {
    case RegFifoReset:
        if (gige)
            gige->sender().cancelAll();
        if (usb)
            usb->cancelAll();
        setStatusBits(AllEmpty, 0x0F);
        break;
    case RegGigeConfig:
    case RegUsbConfig: {
        ScienceSender *path = address == RegGigeConfig ? (gige ? &gige->sender() : nullptr) : usb;
        if (!(value & 1)) {
            if (path)
                path->cancelAll();
        } else {
            startAsicFifoPattern();
        }
        break;
    }
    case RegGigePattern:
    case RegUsbPattern: {
        const bool isGige = address == RegGigePattern;
        ScienceSender *path = isGige ? (gige ? &gige->sender() : nullptr) : usb;
        if (!path)
            break;
        if (value == 0)
            path->cancelAll();
        else if (card->stored(isGige ? RegGigeConfig : RegUsbConfig) & 1)
            startPattern(path, quint16(address + 1));
        break;
    }
    case RegScienceFlag:
        if (gige) {
            gige->flagWritten(value, quint16((card->stored(RegScienceBlock) << 8) | (card->stored(RegScienceBlock + 1) & 0xFF)));
            // The ASIC FIFOs' pattern, started when the path was switched on,
            // waits in the card's FIFO until the module lets frames flow;
            // opening the science port dropped the frames queued for it.
            if ((value & 0xF) == 0x3 && (card->stored(RegGigeConfig) & 1))
                startAsicFifoPattern();
        }
        break;
    default:
        break;
    }
}

void CardScience::cardReads(quint16 address)
{
    if (!gige || address < RegScienceBlock || address > RegScienceFlag)
        return;
    quint16 words[6];
    if (gige->settle(words)) {
        for (int i = 0; i < 6; ++i)
            card->poke(quint16(RegScienceBlock + 2 + i), words[i]);
        card->poke(RegScienceFlag, quint16((card->stored(RegScienceFlag) & 0xFFF0) | 3));
    }
}

void CardScience::asicTriggered(int index)
{
    if (std::find(triggered.begin(), triggered.end(), index) == triggered.end())
        triggered.push_back(index);
}

void CardScience::asicStopped(int)
{
    if (gige)
        gige->sender().stopAfterFrame();
    if (usb)
        usb->stopAfterFrame();
}

void CardScience::flush()
{
    if (triggered.empty())
        return;
    std::sort(triggered.begin(), triggered.end());
    AsicModel &first = card->asic(triggered.front());
    const RampShape shape = first.exposure().shape;
    RampPlan plan;
    plan.reads = int(qMax<quint32>(shape.reads, 1));
    plan.groups = int(qMax<quint32>(shape.groups, 1));
    plan.drops = int(shape.drops);
    if (settings.sendResetReg != 0 && (first.read(settings.sendResetReg) >> settings.sendResetBit) & 1)
        plan.resets = int(shape.resets);
    const int asics = int(triggered.size());
    const int block = card->stored(RegMultiAsicMode) == MultiAsicOn ? card->stored(RegMultiAsicBlock) + 1
                                                                    : settings.layout.width;
    const quint32 seed = settings.seed + quint32(card->id()) * 7919u + quint32(triggered.front());
    triggered.clear();
    if (ScienceSender *to = activeSender())
        to->post({makeRampFrames(settings.layout, plan, asics, asics > 1 ? block : 0, seed), settings.frameMs, card->id()});
}

void CardScience::setFault(Link link, ScienceFault fault, int frameIndex)
{
    if (link == Link::GigE && gige) {
        gige->setReportOtherPeer(fault == ScienceFault::OtherPeer);
        gige->sender().setFault(fault, frameIndex);
    } else if (link == Link::USB && usb) {
        usb->setFault(fault, frameIndex);
    }
}

quint64 CardScience::framesSent(Link link) const
{
    if (link == Link::GigE && gige)
        return gige->sender().framesSent();
    if (link == Link::USB && usb)
        return usb->framesSent();
    return 0;
}

void CardScience::setStatusBits(quint16 set, quint16 clear)
{
    card->poke(RegFifoStatus, quint16((card->stored(RegFifoStatus) & ~clear) | set));
}

void CardScience::bumpCounter(quint16 address)
{
    card->poke(address, quint16(card->stored(address) + 1));
}

void CardScience::senderEvent(Link link, SenderEvent e)
{
    const int path = link == Link::GigE ? 0 : 1;
    switch (e) {
    case SenderEvent::Started:
        setStatusBits(0, quint16(EmptyBit[path] | MainEmpty));
        break;
    case SenderEvent::Blocked:
        setStatusBits(quint16(FullBit[path] | MainFull), 0);
        break;
    case SenderEvent::Flowing:
        setStatusBits(0, quint16(FullBit[path] | MainFull));
        break;
    case SenderEvent::StoppedMidFrame:
        bumpCounter(RegScienceStops);
        setStatusBits(quint16(EmptyBit[path] | MainEmpty), quint16(FullBit[path] | MainFull));
        break;
    case SenderEvent::Dropped:
        bumpCounter(link == Link::GigE ? RegGigeTimeouts : RegUsbTimeouts);
        setStatusBits(quint16(EmptyBit[path] | MainEmpty), quint16(FullBit[path] | MainFull));
        break;
    case SenderEvent::Finished:
        setStatusBits(quint16(EmptyBit[path] | MainEmpty), quint16(FullBit[path] | MainFull));
        break;
    }
}

}  // namespace pelrasim
