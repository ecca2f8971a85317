// The converter from raw file bytes (FWS, CWS and ZWS bodies alike) through
// its in-memory entry point. A converted file must give a well-formed XML
// document; a refused one must give no output at all.

#include "fuzz/fuzzsupport.h"
#include "swfxml/swfconvert.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::quietDebugOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray swf(reinterpret_cast<const char *>(data), qsizetype(size));
    QByteArray xml;
    QByteArray error;
    int warnings = 0;
    const swfxml::Result result =
        swfxml::convert(swf, xml, &error, [&](const QByteArray &) { ++warnings; });
    FUZZ_CHECK(result != swfxml::Result::OutputFailed); // memory never refuses
    if (result == swfxml::Result::Refused) {
        FUZZ_CHECK(!error.isEmpty());
        FUZZ_CHECK(xml.isEmpty());
        return 0;
    }

    QXmlStreamReader reader(xml);
    QString root;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && root.isEmpty())
            root = reader.name().toString();
    }
    if (reader.hasError()) {
        std::fprintf(stderr, "not well-formed: %s at line %lld\n", qPrintable(reader.errorString()),
                     reader.lineNumber());
    }
    FUZZ_CHECK(!reader.hasError());
    FUZZ_CHECK(root == QLatin1String("swf"));
    return 0;
}
