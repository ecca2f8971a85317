// The converter from raw file bytes (FWS, CWS and ZWS bodies alike) through
// its in-memory entry point. A converted file must give one well-formed XML
// document in valid UTF-8, rooted at swf (the converter tests' own strict
// check) that the catalogue reading takes; a refused one must give a reason
// and no output at all.

#include "fuzz/fuzzsupport.h"
#include "swf/catalogue.h"
#include "swfxml/swfconvert.h"
#include "tests/tst_swfxml_util.h"

#include <QByteArray>

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

    const QString problem = xmlcheck::problem(xml);
    if (!problem.isEmpty())
        std::fprintf(stderr, "not a well-formed document: %s\n", qPrintable(problem));
    FUZZ_CHECK(problem.isEmpty());
    // Sprites deeper than the converter nests are flattened, so its
    // documents always stay within what the catalogue reading accepts.
    QDomDocument document;
    FUZZ_CHECK(parseDocument(xml, document));
    return 0;
}
