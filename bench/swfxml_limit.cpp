// The least any SWF-to-XML converter has to do for a CWS file of bitmaps:
// read the file, inflate its body with zlib and write the body's base64 to
// standard output. bench_converter times the converter against it.
//
//   swfxml_limit FILE.swf > /dev/null

#include <QByteArray>

#include <cstdio>
#include <cstring>

#include <zlib.h>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fputs("usage: swfxml_limit FILE.swf\n", stderr);
        return 2;
    }
    std::FILE *in = std::fopen(argv[1], "rb");
    if (!in) {
        std::perror(argv[1]);
        return 1;
    }
    QByteArray file;
    char chunk[1 << 16];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        file.append(chunk, qsizetype(n));
    std::fclose(in);
    if (file.size() < 8 || std::memcmp(file.constData(), "CWS", 3) != 0) {
        std::fputs("swfxml_limit: not a CWS file\n", stderr);
        return 1;
    }
    const auto *h = reinterpret_cast<const unsigned char *>(file.constData());
    const quint32 length =
        quint32(h[4]) | quint32(h[5]) << 8 | quint32(h[6]) << 16 | quint32(h[7]) << 24;
    QByteArray body(qsizetype(length - 8), Qt::Uninitialized);
    uLongf size = uLongf(body.size());
    if (uncompress(reinterpret_cast<Bytef *>(body.data()), &size,
                   reinterpret_cast<const Bytef *>(file.constData()) + 8,
                   uLong(file.size() - 8)) != Z_OK) {
        std::fputs("swfxml_limit: inflate failed\n", stderr);
        return 1;
    }
    body.resize(qsizetype(size));
    const QByteArray text = body.toBase64();
    if (std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout) !=
            std::size_t(text.size()) ||
        std::fflush(stdout) != 0)
        return 1;
    return 0;
}
