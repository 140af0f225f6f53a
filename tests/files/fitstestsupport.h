// An independent look at the FITS files PAC writes: the header cards taken
// from the 2880-byte blocks by hand, the data unit decoded from its
// big-endian bytes (BZERO and BSCALE applied), and fitsverify's verdict.
//
//   RawFits raw;
//   QVERIFY2(raw.load(path), qPrintable(raw.error));
//   QCOMPARE(raw.keywords.mid(raw.firstUserCard()), QStringList({"ALPHA", "MID"}));
//   QCOMPARE(raw.values(), QVector<double>({1, 2, 3}));
//   QString report;
//   QVERIFY2(FitsVerify::passes(path, &report), qPrintable(report));
#pragma once

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtEndian>

#include <cmath>
#include <cstring>

struct RawFits {
    static constexpr int BlockSize = 2880;
    static constexpr int CardSize = 80;

    QStringList keywords;       // every card's keyword up to END, in file order
    QStringList values;         // the value field of each card (empty without "= ")
    QStringList comments;       // the comment after the value's "/"
    QVector<qint64> axes;
    int bitpix = 0;
    QString error;

    bool load(const QString &path)
    {
        *this = RawFits();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return fail("cannot open " + path);
        bytes = file.readAll();
        if (bytes.isEmpty() || bytes.size() % BlockSize != 0)
            return fail(QStringLiteral("file size %1 is not a whole number of blocks").arg(bytes.size()));
        int offset = 0;
        bool ended = false;
        while (!ended && offset + CardSize <= bytes.size()) {
            const QByteArray card = bytes.mid(offset, CardSize);
            offset += CardSize;
            for (const char c : card) {
                if (c < 0x20 || c > 0x7E)
                    return fail("card with a byte that is not printable ASCII: " + QString::fromLatin1(card));
            }
            const QString keyword = QString::fromLatin1(card.left(8)).trimmed();
            if (keyword == QLatin1String("END")) {
                ended = true;
                break;
            }
            keywords << keyword;
            QString value;
            QString comment;
            if (card.mid(8, 2) == "= ")
                splitValue(QString::fromLatin1(card.mid(10)), &value, &comment);
            values << value;
            comments << comment;
        }
        if (!ended)
            return fail(QStringLiteral("no END card"));
        dataStart = ((offset + BlockSize - 1) / BlockSize) * BlockSize;

        if (keywords.value(0) != QLatin1String("SIMPLE") || values.value(0) != QLatin1String("T"))
            return fail(QStringLiteral("first card is not SIMPLE = T"));
        bitpix = number(QStringLiteral("BITPIX"));
        const int naxis = number(QStringLiteral("NAXIS"));
        qint64 count = naxis > 0 ? 1 : 0;
        for (int n = 1; n <= naxis; ++n) {
            axes << number(QStringLiteral("NAXIS%1").arg(n));
            count *= axes.last();
        }
        pixelCount = count;
        const qint64 dataBytes = count * std::abs(bitpix) / 8;
        const qint64 padded = ((dataBytes + BlockSize - 1) / BlockSize) * BlockSize;
        if (dataStart + padded != bytes.size())
            return fail(QStringLiteral("data unit of %1 bytes does not end the file").arg(dataBytes));
        return true;
    }

    // Index of the first card after those that CFITSIO writes for every image.
    int firstUserCard() const
    {
        const int bscale = keywords.indexOf(QStringLiteral("BSCALE"));
        if (bscale >= 0)
            return bscale + 1;
        int last = 0;
        for (int i = 0; i < keywords.size(); ++i) {
            const QString &k = keywords[i];
            if (k.startsWith(QLatin1String("NAXIS")) || k == QLatin1String("EXTEND") || k == QLatin1String("COMMENT"))
                last = i;
        }
        return last + 1;
    }

    int count(const QString &keyword) const { return keywords.count(keyword); }
    QString value(const QString &keyword) const { return values.value(keywords.indexOf(keyword)); }
    QString comment(const QString &keyword) const { return comments.value(keywords.indexOf(keyword)); }
    qint64 number(const QString &keyword) const { return value(keyword).toLongLong(); }
    // A quoted value without its quotes, doubled quotes made single, trailing blanks dropped.
    QString text(const QString &keyword) const
    {
        QString v = value(keyword);
        if (v.size() < 2 || !v.startsWith(QLatin1Char('\'')) || !v.endsWith(QLatin1Char('\'')))
            return QString();
        v = v.mid(1, v.size() - 2).replace(QLatin1String("''"), QLatin1String("'"));
        while (v.endsWith(QLatin1Char(' ')))
            v.chop(1);
        return v;
    }

    // Physical values of the data unit: stored value × BSCALE + BZERO.
    QVector<double> pixels() const
    {
        const double zero = keywords.contains(QStringLiteral("BZERO")) ? value(QStringLiteral("BZERO")).toDouble() : 0.0;
        const double scale = keywords.contains(QStringLiteral("BSCALE")) ? value(QStringLiteral("BSCALE")).toDouble() : 1.0;
        QVector<double> out;
        const char *data = bytes.constData() + dataStart;
        for (qint64 i = 0; i < pixelCount; ++i) {
            double stored = 0;
            switch (bitpix) {
            case 16:
                stored = qFromBigEndian<qint16>(data + 2 * i);
                break;
            case 32:
                stored = qFromBigEndian<qint32>(data + 4 * i);
                break;
            case -32: {
                const quint32 word = qFromBigEndian<quint32>(data + 4 * i);
                float f;
                std::memcpy(&f, &word, 4);
                stored = f;
                break;
            }
            case -64: {
                const quint64 word = qFromBigEndian<quint64>(data + 8 * i);
                double d;
                std::memcpy(&d, &word, 8);
                stored = d;
                break;
            }
            default:
                return {};
            }
            out << stored * scale + zero;
        }
        return out;
    }

private:
    QByteArray bytes;
    int dataStart = 0;
    qint64 pixelCount = 0;

    bool fail(const QString &why)
    {
        error = why;
        return false;
    }

    static void splitValue(const QString &field, QString *value, QString *comment)
    {
        int i = 0;
        while (i < field.size() && field[i] == QLatin1Char(' '))
            ++i;
        int end = i;
        if (i < field.size() && field[i] == QLatin1Char('\'')) {
            end = i + 1;
            while (end < field.size()) {
                if (field[end] == QLatin1Char('\'')) {
                    if (end + 1 < field.size() && field[end + 1] == QLatin1Char('\'')) {
                        end += 2;
                        continue;
                    }
                    ++end;
                    break;
                }
                ++end;
            }
        } else {
            while (end < field.size() && field[end] != QLatin1Char('/'))
                ++end;
        }
        *value = field.mid(i, end - i).trimmed();
        const int slash = field.indexOf(QLatin1Char('/'), end);
        *comment = slash >= 0 ? field.mid(slash + 1).trimmed() : QString();
    }
};

namespace FitsVerify {

inline QString program()
{
    return QStandardPaths::findExecutable(QStringLiteral("fitsverify"));
}

// True when fitsverify finds neither errors nor warnings in the file.
inline bool passes(const QString &path, QString *report)
{
    QProcess verify;
    verify.start(program(), {QStringLiteral("-q"), path});
    if (!verify.waitForFinished(20000)) {
        *report = QStringLiteral("fitsverify did not finish");
        return false;
    }
    *report = QString::fromLocal8Bit(verify.readAllStandardOutput() + verify.readAllStandardError()).trimmed();
    return verify.exitCode() == 0 && report->startsWith(QLatin1String("verification OK"));
}

}  // namespace FitsVerify
