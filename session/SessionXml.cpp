#include "SessionXml.h"

#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace SessionXml {

namespace {

int formatNumber(char *buf, int size, double v)
{
    if (std::isnan(v)) { // to_chars would write "-nan" for a negative one
        memcpy(buf, "nan", 3);
        return 3;
    }
    const auto r = std::to_chars(buf, buf + size, v, std::chars_format::general, 6);
    return int(r.ptr - buf);
}

int formatExact(char *buf, int size, double v)
{
    if (std::isnan(v)) {
        memcpy(buf, "nan", 3);
        return 3;
    }
    const auto r = std::to_chars(buf, buf + size, v); // shortest text that reads back exactly
    return int(r.ptr - buf);
}

double parsePiece(const char *begin, const char *end)
{
    while (begin < end && (*begin == ' ' || *begin == '\t' || *begin == '\n' || *begin == '\r'))
        ++begin;
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\n' || end[-1] == '\r'))
        --end;
    if (begin < end && *begin == '+') {
        ++begin;
        if (begin < end && *begin == '-')
            return 0.0; // "+-1" is not a number
    }
    double v = 0.0;
    const auto r = std::from_chars(begin, end, v);
    if (r.ec != std::errc() || r.ptr != end || begin == end)
        return 0.0;
    return v;
}

} // namespace

QString xmlSafe(const QString &text)
{
    const auto allowed = [](const QChar *c, const QChar *end) {
        const ushort u = c->unicode();
        if (u < 0x20)
            return u == '\t' || u == '\n' || u == '\r';
        if (u == 0xFFFE || u == 0xFFFF)
            return false;
        if (c->isHighSurrogate())
            return c + 1 < end && c[1].isLowSurrogate();
        if (c->isLowSurrogate())
            return false; // its high half, if any, took it along below
        return true;
    };
    const QChar *const begin = text.constData();
    const QChar *const end = begin + text.size();
    bool clean = true;
    for (const QChar *c = begin; c < end && clean; ++c) {
        clean = allowed(c, end);
        if (clean && c->isHighSurrogate())
            ++c;
    }
    if (clean)
        return text;
    QString out;
    out.reserve(text.size());
    for (const QChar *c = begin; c < end; ++c) {
        if (!allowed(c, end))
            continue;
        out += *c;
        if (c->isHighSurrogate())
            out += *++c;
    }
    return out;
}

QString number(double v)
{
    char buf[32];
    return QString::fromLatin1(buf, formatNumber(buf, sizeof buf, v));
}

void appendNumber(QByteArray &out, double v)
{
    char buf[32];
    out.append(buf, formatNumber(buf, sizeof buf, v));
}

QString exactNumber(double v)
{
    char buf[32];
    return QString::fromLatin1(buf, formatExact(buf, sizeof buf, v));
}

QString vectorText(const QVector<double> &values, bool exact)
{
    QByteArray out;
    out.reserve(1 + values.size() * (exact ? 24 : 13));
    out.append(';');
    char buf[32];
    for (double v : values) {
        out.append(buf, exact ? formatExact(buf, sizeof buf, v) : formatNumber(buf, sizeof buf, v));
        out.append(';');
    }
    return QString::fromLatin1(out);
}

double parseNumber(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    return parsePiece(bytes.constData(), bytes.constData() + bytes.size());
}

QVector<double> parseVector(const QString &text)
{
    QVector<double> values;
    const QByteArray bytes = text.trimmed().toLatin1();
    if (bytes.isEmpty())
        return values;
    const char first = bytes.at(0);
    const bool numberFirst = (first >= '0' && first <= '9') || first == '-' || first == '+' || first == '.';
    const char sep = numberFirst ? ',' : first;
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    values.reserve(int(std::count(p, end, sep)) + 1);
    while (p < end) {
        const char *q = static_cast<const char *>(memchr(p, sep, size_t(end - p)));
        if (!q)
            q = end;
        if (q > p)
            values.append(parsePiece(p, q));
        p = q + 1;
    }
    return values;
}

void writeAttributes(QXmlStreamWriter &xml, const Attributes &attributes)
{
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it)
        xml.writeAttribute(it.key(), it.value());
}

void writeMapElement(QXmlStreamWriter &xml, const QString &name, const TextMap &map, const Attributes &attributes)
{
    xml.writeStartElement(name);
    writeAttributes(xml, attributes);
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const QString text = xmlSafe(it.value());
        if (!text.contains(QLatin1Char('\r'))) {
            xml.writeTextElement(it.key(), text);
            continue;
        }
        // Readers turn a raw carriage return (and CR LF) into a line feed.
        xml.writeStartElement(it.key());
        const QStringList parts = text.split(QLatin1Char('\r'));
        for (int i = 0; i < parts.size(); ++i) {
            if (i > 0)
                xml.writeEntityReference(QStringLiteral("#13"));
            if (!parts.at(i).isEmpty())
                xml.writeCharacters(parts.at(i));
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

void writeVec(QXmlStreamWriter &xml, const QString &label, const QVector<double> &values, bool exact)
{
    xml.writeStartElement(QStringLiteral("vec"));
    xml.writeAttribute(QStringLiteral("label"), label);
    xml.writeCharacters(vectorText(values, exact));
    xml.writeEndElement();
}

void writeVectorElement(QXmlStreamWriter &xml, const QString &name, const VectorMap &vectors,
                        const Attributes &attributes, bool exact)
{
    xml.writeStartElement(name);
    writeAttributes(xml, attributes);
    for (auto it = vectors.cbegin(); it != vectors.cend(); ++it)
        writeVec(xml, it.key(), it.value(), exact);
    xml.writeEndElement();
}

QString readText(QXmlStreamReader &xml)
{
    return xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
}

bool readMapElement(QXmlStreamReader &xml, TextMap &map)
{
    while (xml.readNextStartElement()) {
        const QString key = xml.name().toString();
        const QString text = readText(xml);
        if (xml.hasError())
            return false;
        map.insert(key, text);
    }
    return !xml.hasError();
}

bool readVectorElement(QXmlStreamReader &xml, VectorMap &vectors)
{
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("vec") && xml.attributes().hasAttribute(QLatin1String("label"))) {
            const QString label = xml.attributes().value(QLatin1String("label")).toString();
            const QString text = readText(xml);
            if (xml.hasError())
                return false;
            vectors.insert(label, parseVector(text));
        } else {
            xml.skipCurrentElement();
        }
    }
    return !xml.hasError();
}

} // namespace SessionXml
