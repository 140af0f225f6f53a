#include "masterconfig.h"

#include <QFile>
#include <QFileInfo>

namespace MasterConfig {

namespace {

const QString CardKeyword = QStringLiteral("PELRA_SELECT");
const QString AsicKeyword = QStringLiteral("ASIC_SELECT");

// The line before its first "#", trimmed.
QString WithoutComment(const QString &line)
{
    const int comment = line.indexOf(QLatin1Char('#'));
    return (comment < 0 ? line : line.left(comment)).trimmed();
}

}  // namespace

QStringList SplitLines(const QString &text)
{
    QStringList lines;
    int start = 0;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines << text.mid(start, i - start);
        // CR LF and LF CR end one line; a lone CR or LF likewise.
        const QChar pair = c == QLatin1Char('\r') ? QLatin1Char('\n') : QLatin1Char('\r');
        if (i + 1 < text.size() && text.at(i + 1) == pair)
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines << text.mid(start);
    return lines;
}

Selection ReadSelection(const QStringList &lines)
{
    Selection selection;
    for (const QString &raw : lines) {
        const QString line = WithoutComment(raw).toUpper();
        const bool card = line.startsWith(CardKeyword);
        if (!card && !line.startsWith(AsicKeyword))
            continue;
        const QString &keyword = card ? CardKeyword : AsicKeyword;
        selection.loggedLines << line;
        const QStringList fields = line.split(QLatin1Char(' '));
        // PELRA_SELECTION 1 is checked like a selection but selects nothing.
        const bool exact = fields.first() == keyword;
        quint8 &mask = card ? selection.cardMask : selection.asicMask;
        for (int i = 1; i < fields.size(); ++i) {
            bool ok = false;
            const int number = fields.at(i).toInt(&ok);
            if (!ok || number < 1 || number > 8) {
                selection.error = QStringLiteral("ERROR: ") + keyword
                                  + QStringLiteral(" not defined properly. Id must be in the range of [1-8]");
                return selection;
            }
            if (exact)
                mask |= quint8(1u << (number - 1));
        }
        if (selection.cardMask && selection.asicMask)
            break;
    }
    return selection;
}

QVector<Command> ReadCommands(const QStringList &lines)
{
    QVector<Command> commands;
    for (const QString &raw : lines) {
        const QString line = WithoutComment(raw);
        const QString lower = line.toLower();
        Command command;
        if (lower.startsWith(QLatin1String("wait"))) {
            command.kind = Command::Wait;
            bool ok = false;
            command.waitMs = line.mid(4).trimmed().toUShort(&ok);
            if (!ok)
                command.waitMs = 0;
        } else if (lower.startsWith(QLatin1String("load"))) {
            command.kind = Command::Load;
            command.path = line.mid(4).trimmed();
        } else {
            continue;
        }
        commands.append(command);
    }
    return commands;
}

QString ResolveLoadPath(const QString &written, const QString &masterPath)
{
    const QFileInfo given(written);
    if (given.exists() && !given.isDir())
        return written;
    const QString folder = masterPath.left(masterPath.lastIndexOf(QLatin1Char('/')) + 1);
    return folder + given.fileName();
}

ReadStatus ReadLines(const QString &path, QStringList &lines)
{
    lines.clear();
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return ReadStatus::OpenFailed;
    const QByteArray content = file.read(MaxFileBytes + 1);
    if (content.size() > MaxFileBytes)
        return ReadStatus::TooLarge;
    if (file.error() != QFileDevice::NoError)
        return ReadStatus::OpenFailed;
    lines = SplitLines(QString::fromUtf8(content));
    return ReadStatus::Ok;
}

}  // namespace MasterConfig
