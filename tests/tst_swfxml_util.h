#pragma once

// Helpers shared by the converter tests: strict checks of the XML text and
// short ways through the document.

#include <QByteArray>
#include <QCoreApplication>
#include <QDomDocument>
#include <QDomElement>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QXmlStreamReader>

namespace xmlcheck
{

// Empty when `xml` is one well-formed XML 1.0 document in valid UTF-8 with
// no character XML forbids; otherwise what is wrong.
inline QString problem(const QByteArray &xml)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(xml);
    if (decoder.hasError())
        return QStringLiteral("invalid UTF-8");
    for (char32_t c : text.toUcs4()) {
        const bool allowed = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
                             (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
        if (!allowed)
            return QStringLiteral("forbidden character U+%1").arg(quint32(c), 4, 16, QChar('0'));
    }
    QXmlStreamReader reader(xml);
    int depth = 0;
    QString root;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (depth++ == 0)
                root = reader.name().toString();
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    if (reader.hasError())
        return QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
    if (root != QLatin1String("swf"))
        return QStringLiteral("root element is \"%1\"").arg(root);
    return {};
}

inline QList<QDomElement> elements(const QDomNode &parent, const QString &name = {})
{
    QList<QDomElement> out;
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        if (name.isEmpty() || e.tagName() == name)
            out.append(e);
    return out;
}

// swf/Header/tags of a parsed document.
inline QDomElement tagsElement(const QDomDocument &doc)
{
    return doc.documentElement().firstChildElement("Header").firstChildElement("tags");
}

// The tag code an element stands for.
inline int tagCode(const QDomElement &e)
{
    static const QList<QPair<QString, int>> codes = {{"End", 0},
                                                     {"ShowFrame", 1},
                                                     {"DefineBitsLossless", 20},
                                                     {"DefineBitsLossless2", 36},
                                                     {"DefineSprite", 39},
                                                     {"FrameLabel", 43},
                                                     {"Export", 56},
                                                     {"SymbolClass", 76},
                                                     {"DefineBinaryData", 87}};
    for (const auto &c : codes)
        if (c.first == e.tagName())
            return c.second;
    if (e.tagName() == QLatin1String("UnknownTag"))
        return e.attribute("id").mid(2).toInt(nullptr, 16);
    return -1;
}

// Bytes of a `data` child holding base64 (for bitmaps the inner `data/data`).
inline QByteArray payload(const QDomElement &e)
{
    QDomElement data = e.firstChildElement("data");
    if (!data.firstChildElement("data").isNull())
        data = data.firstChildElement("data");
    return QByteArray::fromBase64(data.text().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
}

} // namespace xmlcheck
