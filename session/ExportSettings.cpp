#include "ExportSettings.h"
#include "SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

QString flagText(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

bool textIsOne(const QString &text)
{
    bool ok = false;
    return text.trimmed().toInt(&ok) == 1 && ok;
}

} // namespace

bool ExportSettings::operator==(const ExportSettings &o) const
{
    return separator == o.separator && header == o.header && results == o.results && eepf == o.eepf
           && ivData == o.ivData && derivative == o.derivative && secondDerivative == o.secondDerivative
           && doubleProbeCorrected == o.doubleProbeCorrected && errors == o.errors
           && electronCurrent == o.electronCurrent && doubleProbeSession == o.doubleProbeSession;
}

bool ExportSettings::load(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return read(file);
}

bool ExportSettings::read(QIODevice &device)
{
    QXmlStreamReader xml(&device);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("settings"))
        return false;
    // Collect first, so that a broken document changes nothing.
    QMap<QString, QString> values;
    while (xml.readNextStartElement()) {
        const QString key = xml.name().toString();
        const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
        values.insert(key, text);
    }
    if (xml.hasError())
        return false;

    const auto flag = [&values](const char *key, bool &field) {
        const auto it = values.constFind(QLatin1String(key));
        if (it != values.constEnd())
            field = textIsOne(*it);
    };
    if (values.contains(QStringLiteral("ExportSeparator")))
        separator = values.value(QStringLiteral("ExportSeparator"));
    flag("ExportHeader", header);
    flag("ExportResults", results);
    flag("ExportEEDF", eepf);
    flag("ExportIVData", ivData);
    flag("ExportDerivative", derivative);
    flag("Export2ndDerivative", secondDerivative);
    flag("ExportDoubleProbeCorrected", doubleProbeCorrected);
    flag("ExportErrors", errors);
    flag("ExportElectronCurrent", electronCurrent);
    return true;
}

bool ExportSettings::write(QIODevice &device) const
{
    QMap<QString, QString> values; // ordered by UTF-16 code units
    values.insert(QStringLiteral("ExportSeparator"), separator);
    values.insert(QStringLiteral("ExportHeader"), flagText(header));
    values.insert(QStringLiteral("ExportResults"), flagText(results));
    values.insert(QStringLiteral("ExportEEDF"), flagText(eepf));
    values.insert(QStringLiteral("ExportIVData"), flagText(ivData));
    values.insert(QStringLiteral("ExportDerivative"), flagText(derivative));
    values.insert(QStringLiteral("Export2ndDerivative"), flagText(secondDerivative));
    values.insert(QStringLiteral("ExportDoubleProbeCorrected"), flagText(doubleProbeCorrected));
    values.insert(QStringLiteral("ExportErrors"), flagText(errors));
    values.insert(QStringLiteral("ExportElectronCurrent"), flagText(electronCurrent));

    QXmlStreamWriter xml(&device);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(4);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("settings"));
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        xml.writeTextElement(it.key(), it.value());
    xml.writeEndElement();
    xml.writeEndDocument();
    return !xml.hasError();
}

bool ExportSettings::save(const QString &fileName) const
{
    const QFileInfo info(fileName);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!write(file)) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return SaveFile::commitChecked(file);
}
