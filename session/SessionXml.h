#ifndef SESSIONXML_H
#define SESSIONXML_H

// Building blocks of the session file and the export: the six-digit number
// text, map elements, vector elements and the tolerant vector text reader.
// Number texts never depend on the user's locale.

#include <QMap>
#include <QString>
#include <QVector>

class QXmlStreamReader;
class QXmlStreamWriter;

namespace SessionXml {

using Attributes = QMap<QString, QString>; // ordered by UTF-16 code units
using TextMap = QMap<QString, QString>;
using VectorMap = QMap<QString, QVector<double>>;

// The text without the characters XML 1.0 cannot carry (most control
// characters, unpaired surrogates), which would make the file unreadable.
QString xmlSafe(const QString &text);

// "%g" with six significant digits; nan, inf and -inf for the special values.
QString number(double v);
// Appends the same text as Latin-1 bytes (fast path for long lists).
void appendNumber(QByteArray &out, double v);
// The shortest text that reads back as exactly v (same special values).
QString exactNumber(double v);

// ";v1;v2;...;" and a lone ";" for an empty list; exact: every value in its shortest
// text that reads back exactly, else with six significant digits.
QString vectorText(const QVector<double> &values, bool exact = false);

// Splits a vec text: a leading digit, sign or point means comma-separated
// (older files); otherwise the first character is the separator. Empty pieces
// are dropped; a piece that is not a number gives 0.
QVector<double> parseVector(const QString &text);
// Lenient single number: not a number gives 0.
double parseNumber(const QString &text);

void writeAttributes(QXmlStreamWriter &xml, const Attributes &attributes);
// Map values pass through xmlSafe; a carriage return is written as a character
// reference, so that the text reads back exactly (a raw one would read as a line feed).
void writeMapElement(QXmlStreamWriter &xml, const QString &name, const TextMap &map,
                     const Attributes &attributes = Attributes());
void writeVectorElement(QXmlStreamWriter &xml, const QString &name, const VectorMap &vectors,
                        const Attributes &attributes = Attributes(), bool exact = false);
void writeVec(QXmlStreamWriter &xml, const QString &label, const QVector<double> &values,
              bool exact = false);

// The reader stands on a start element whose content is text: the text, up to its end
// element. An element inside it is an error of the reader (no recursion, whatever the depth).
QString readText(QXmlStreamReader &xml);
// The reader stands on a start element: read its text-only children into a
// map, up to its end element. False on a malformed document or a child that holds elements.
bool readMapElement(QXmlStreamReader &xml, TextMap &map);
// Same for vec children (others are skipped); a vec without label is ignored.
bool readVectorElement(QXmlStreamReader &xml, VectorMap &vectors);

} // namespace SessionXml

#endif // SESSIONXML_H
