#include "simscenario.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QStringList>

namespace pelrasim {

namespace {

struct Group {
    QString name;
    int line = 0;
    QVector<QPair<QString, QString>> entries;
    QVector<int> lines;
};

bool parseNumber(const QString &text, quint32 max, quint32 *value)
{
    const QString t = text.trimmed();
    bool ok = false;
    const qulonglong v = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? t.mid(2).toULongLong(&ok, 16)
                                                                               : t.toULongLong(&ok, 10);
    if (!ok || v > max)
        return false;
    *value = quint32(v);
    return true;
}

bool parseBool(const QString &text, bool *value)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("yes") || t == QLatin1String("1"))
        *value = true;
    else if (t == QLatin1String("false") || t == QLatin1String("no") || t == QLatin1String("0"))
        *value = false;
    else
        return false;
    return true;
}

QString unquote(const QString &value)
{
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        return value.mid(1, value.size() - 2);
    return value;
}

bool splitGroups(const QString &text, QVector<Group> *groups, QString *error)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            groups->append(Group{line.mid(1, line.size() - 2).trimmed(), i + 1, {}, {}});
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || groups->isEmpty()) {
            *error = QStringLiteral("line %1: expected [group] or key = value").arg(i + 1);
            return false;
        }
        groups->last().entries.append({line.left(eq).trimmed().toLower(), unquote(line.mid(eq + 1).trimmed())});
        groups->last().lines.append(i + 1);
    }
    return true;
}

// Finds or creates the endpoint of a link kind and name.
EndpointSettings &endpointFor(Scenario *s, Link kind, const QString &name)
{
    for (EndpointSettings &e : s->endpoints)
        if (e.kind == kind && e.name == name)
            return e;
    EndpointSettings e;
    e.kind = kind;
    e.name = name;
    if (kind == Link::GigE)
        e.module.address = name;
    s->endpoints.append(e);
    return s->endpoints.last();
}

class CardParser
{
public:
    CardParser(Scenario *s, const Group &g)
        : scenario(s), group(g)
    {
    }

    bool parse(QString *error);

private:
    bool entry(const QString &key, const QString &value, QString *error);
    bool number(const QString &value, quint32 max, quint32 *out, QString *error)
    {
        if (parseNumber(value, max, out))
            return true;
        *error = QStringLiteral("\"%1\" is not a number up to %2").arg(value).arg(max);
        return false;
    }

    Scenario *scenario;
    const Group &group;
    CardSettings card;
    QString usbSerial, uart, gige;
    quint32 usbVersion = 3, usbChannels = 1, gigePort = 42306;
    NetModuleConfig module;
};

bool CardParser::parse(QString *error)
{
    for (int i = 0; i < group.entries.size(); ++i) {
        if (!entry(group.entries[i].first, group.entries[i].second, error)) {
            *error = QStringLiteral("line %1 [%2] %3: %4")
                         .arg(group.lines[i]).arg(group.name, group.entries[i].first, *error);
            return false;
        }
    }
    const QString where = QStringLiteral("[%1]").arg(group.name);
    if (card.id == 0) {
        *error = where + QStringLiteral(": id is missing");
        return false;
    }
    for (const CardSettings &other : scenario->cards) {
        if (other.id == card.id) {
            *error = where + QStringLiteral(": card id 0x%1 appears twice").arg(card.id, 4, 16, QLatin1Char('0'));
            return false;
        }
    }
    if (card.asics.isEmpty())
        card.asics.append(card.firmware == FirmwareType::Ostera ? AsicFamily::Ostera : AsicFamily::Tambril);
    if (usbSerial.isEmpty() && uart.isEmpty() && gige.isEmpty()) {
        *error = where + QStringLiteral(": the card names no link (usb_serial, uart or gige)");
        return false;
    }
    const int index = scenario->cards.size();
    scenario->cards.append(card);
    struct LinkRef {
        Link kind;
        QString name;
    };
    const LinkRef links[] = {{Link::USB, usbSerial}, {Link::UART, uart}, {Link::GigE, gige}};
    for (const LinkRef &link : links) {
        if (link.name.isEmpty())
            continue;
        EndpointSettings &e = endpointFor(scenario, link.kind, link.name);
        for (int other : e.cards) {
            if (scenario->cards[other].position == card.position) {
                *error = where + QStringLiteral(": position %1 on %2 is taken").arg(card.position).arg(link.name);
                return false;
            }
        }
        const bool first = e.cards.isEmpty();
        e.cards.append(index);
        if (!first)
            continue;
        e.usbVersion = int(usbVersion);
        e.usbChannels = usbChannels == 2 ? 1 : 2;
        e.tcpPort = quint16(gigePort);
        const QString address = e.module.address;
        e.module = module;
        e.module.address = address;
    }
    return true;
}

bool CardParser::entry(const QString &key, const QString &value, QString *error)
{
    bool exposureKey = false;
    const bool exposureOk = parseExposureKey(key, value, &card.exposure, &exposureKey, error);
    if (exposureKey)
        return exposureOk;
    bool scienceKey = false;
    const bool scienceOk = parseScienceKey(key, value, &card.science, &scienceKey, error);
    if (scienceKey || !scienceOk)
        return scienceOk;
    bool healthKey = false;
    if (!parseCardHealthKey(key, value, &card, &healthKey, error))
        return false;
    if (healthKey)
        return true;
    quint32 n = 0;
    static const QRegularExpression slotKey(QStringLiteral("^slot([12])_(name|type|valid|pad)$"));
    const QRegularExpressionMatch slotMatch = slotKey.match(key);
    if (slotMatch.hasMatch()) {
        FirmwareSlot &slot = card.slot[slotMatch.captured(1).toInt() - 1];
        const QString field = slotMatch.captured(2);
        if (field == QLatin1String("name")) {
            slot.name = value;
            if (slot.name.toUtf8().size() > 126) {
                *error = QStringLiteral("a slot name holds at most 126 bytes");
                return false;
            }
        } else if (field == QLatin1String("type")) {
            if (!parseFirmwareType(value, &slot.type)) {
                *error = QStringLiteral("unknown firmware \"%1\"").arg(value);
                return false;
            }
        } else if (field == QLatin1String("valid")) {
            if (!parseBool(value, &slot.valid)) {
                *error = QStringLiteral("expected true or false");
                return false;
            }
        } else if (value == QLatin1String("zero") || value == QLatin1String("space")) {
            slot.zeroPadding = value == QLatin1String("zero");
        } else {
            *error = QStringLiteral("expected space or zero");
            return false;
        }
        return true;
    }
    if (key == QLatin1String("id")) {
        if (!number(value, 0xFFFF, &n, error))
            return false;
        card.id = quint16(n);
    } else if (key == QLatin1String("position")) {
        if (!number(value, 8, &n, error))
            return false;
        if (n < 1) {
            *error = QStringLiteral("positions run from 1 to 8");
            return false;
        }
        card.position = int(n);
    } else if (key == QLatin1String("firmware")) {
        if (!parseFirmwareType(value, &card.firmware)) {
            *error = QStringLiteral("unknown firmware \"%1\"").arg(value);
            return false;
        }
    } else if (key == QLatin1String("asics")) {
        card.asics.clear();
        const QStringList names = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString &name : names) {
            const QString t = name.trimmed().toLower();
            if (t == QLatin1String("tambril"))
                card.asics.append(AsicFamily::Tambril);
            else if (t == QLatin1String("ostera"))
                card.asics.append(AsicFamily::Ostera);
            else {
                *error = QStringLiteral("unknown ASIC \"%1\"").arg(name.trimmed());
                return false;
            }
        }
        if (card.asics.isEmpty() || card.asics.size() > 2) {
            *error = QStringLiteral("a card drives one or two ASICs");
            return false;
        }
    } else if (key == QLatin1String("telemetry_busy_percent")) {
        if (!number(value, 100000, &n, error))
            return false;
        card.telemetryBusyPercent = int(n);
    } else if (key == QLatin1String("reload_ms")) {
        if (!number(value, 600000, &n, error))
            return false;
        card.reloadMs = int(n);
    } else if (key == QLatin1String("registers")) {
        const QStringList pairs = value.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
        for (const QString &pair : pairs) {
            const QStringList parts = pair.split(QLatin1Char(':'));
            quint32 address = 0, v = 0;
            if (parts.size() != 2 || !parseNumber(parts[0], 0xFFFF, &address) || !parseNumber(parts[1], 0xFFFF, &v)) {
                *error = QStringLiteral("\"%1\" is not address:value").arg(pair);
                return false;
            }
            card.registers.insert(quint16(address), quint16(v));
        }
    } else if (key == QLatin1String("usb_serial")) {
        if (value.isEmpty() || value.toUtf8().size() > 15 || value.contains(QLatin1Char('/'))) {
            *error = QStringLiteral("a USB serial number has 1 to 15 characters and no '/'");
            return false;
        }
        usbSerial = value;
    } else if (key == QLatin1String("usb_version")) {
        if (!number(value, 3, &usbVersion, error))
            return false;
        if (usbVersion < 1) {
            *error = QStringLiteral("USB version is 1, 2 or 3");
            return false;
        }
    } else if (key == QLatin1String("usb_channels")) {
        if (!number(value, 2, &usbChannels, error))
            return false;
        if (usbChannels < 1) {
            *error = QStringLiteral("the bridge has 1 or 2 channels");
            return false;
        }
    } else if (key == QLatin1String("uart")) {
        if (value.isEmpty() || value.contains(QLatin1Char('/'))) {
            *error = QStringLiteral("a UART name has no '/'");
            return false;
        }
        uart = value;
    } else if (key == QLatin1String("gige")) {
        QHostAddress address;
        if (!address.setAddress(value) || address.protocol() != QAbstractSocket::IPv4Protocol
            || !address.isInSubnet(QHostAddress(QStringLiteral("127.0.0.0")), 8)) {
            *error = QStringLiteral("the GigE address must be an IPv4 loopback address (127.x.y.z)");
            return false;
        }
        gige = value;
    } else if (key == QLatin1String("gige_port")) {
        if (!number(value, 0xFFFF, &gigePort, error))
            return false;
    } else if (key == QLatin1String("gige_speed")) {
        if (!number(value, 1000, &n, error))
            return false;
        card.gigeSpeed = int(n);
    } else if (key == QLatin1String("http_port")) {
        if (!number(value, 0xFFFF, &n, error))
            return false;
        module.httpPort = quint16(n);
    } else if (key == QLatin1String("control_port")) {
        if (!number(value, 0xFFFF, &n, error))
            return false;
        module.controlPort = quint16(n);
    } else if (key == QLatin1String("module_firmware")) {
        if (!number(value, 0xFFFF, &n, error))
            return false;
        module.firmwareVersion = int(n);
    } else if (key == QLatin1String("generation")) {
        if (!number(value, 3, &n, error) || n < 2) {
            *error = QStringLiteral("generation is 2 or 3");
            return false;
        }
        module.generation = int(n);
    } else {
        *error = QStringLiteral("unknown key");
        return false;
    }
    return true;
}

bool parseLinkGroup(Scenario *s, const Group &g, QString *error)
{
    const QString rest = g.name.mid(5);   // after "link."
    const int dot = rest.indexOf(QLatin1Char('.'));
    const QString kindText = rest.left(dot).toLower();
    const QString name = dot < 0 ? QString() : rest.mid(dot + 1);
    Link kind;
    if (kindText == QLatin1String("usb"))
        kind = Link::USB;
    else if (kindText == QLatin1String("uart"))
        kind = Link::UART;
    else if (kindText == QLatin1String("gige"))
        kind = Link::GigE;
    else {
        *error = QStringLiteral("line %1: [%2]: expected [link.usb.<serial>], [link.uart.<name>] or [link.gige.<address>]")
                     .arg(g.line).arg(g.name);
        return false;
    }
    EndpointSettings *e = nullptr;
    for (EndpointSettings &candidate : s->endpoints)
        if (candidate.kind == kind && candidate.name == name)
            e = &candidate;
    if (!e) {
        *error = QStringLiteral("line %1: [%2]: no card uses this link").arg(g.line).arg(g.name);
        return false;
    }
    for (int i = 0; i < g.entries.size(); ++i) {
        const QString &key = g.entries[i].first;
        const QString value = g.entries[i].second.trimmed().toLower();
        quint32 n = 0;
        bool ok = true;
        if (key == QLatin1String("empty")) {
            if (value == QLatin1String("silent")) {
                e->emptySilent = true;
            } else if (value == QLatin1String("bad")) {
                e->emptySilent = false;
                e->emptyValue = 0x0BAD;
            } else if ((ok = parseNumber(value, 0xFFFF, &n))) {
                e->emptySilent = false;
                e->emptyValue = quint16(n);
            }
        } else if (key == QLatin1String("vendor") && e->kind == Link::UART) {
            if (!parseNumber(value, 0xFFFF, &n)) {
                *error = QStringLiteral("line %1 [%2] vendor: expected a number up to 0xffff").arg(g.lines[i]).arg(g.name);
                return false;
            }
            e->uartVendor = quint16(n);
        } else {
            ok = false;
        }
        if (!ok) {
            *error = QStringLiteral("line %1 [%2] %3: expected empty = bad, silent or a number")
                         .arg(g.lines[i]).arg(g.name, key);
            return false;
        }
    }
    return true;
}

}  // namespace

bool parseScenario(const QString &text, Scenario *scenario, QString *error)
{
    QVector<Group> groups;
    QString why;
    if (!splitGroups(text, &groups, &why)) {
        *error = QStringLiteral("Scenario: ") + why;
        return false;
    }
    Scenario s;
    for (const Group &g : groups) {
        if (g.name.startsWith(QLatin1String("link."), Qt::CaseInsensitive))
            continue;
        if (!g.name.startsWith(QLatin1String("card"), Qt::CaseInsensitive)) {
            *error = QStringLiteral("Scenario: line %1: unknown group [%2]").arg(g.line).arg(g.name);
            return false;
        }
        CardParser parser(&s, g);
        if (!parser.parse(&why)) {
            *error = QStringLiteral("Scenario: ") + why;
            return false;
        }
    }
    for (const Group &g : groups) {
        if (g.name.startsWith(QLatin1String("link."), Qt::CaseInsensitive) && !parseLinkGroup(&s, g, &why)) {
            *error = QStringLiteral("Scenario: ") + why;
            return false;
        }
    }
    if (s.cards.isEmpty()) {
        *error = QStringLiteral("Scenario: no [card...] group");
        return false;
    }
    *scenario = s;
    return true;
}

}  // namespace pelrasim
