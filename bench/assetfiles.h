#pragma once

// Files shaped like asset archives, for the benchmarks of the folder scan
// and of the catalogue reading: every file a distinct frame label, 5 to 40
// named bitmaps of 16 x 16 to 128 x 128 pixels and a few kilobytes of other
// tags, one file in a thousand unreadable (cut short, or not an SWF file at
// all).

#include "tests/support/swfwriter.h"

#include <QByteArray>
#include <QList>
#include <QPair>

namespace bench
{

// A few dozen bitmaps of the sizes the files use, compressed once: every
// file picks its own mix of them.
struct Bitmap {
    int width;
    int height;
    QByteArray zlib;
};

inline QList<Bitmap> bitmapStock()
{
    QList<Bitmap> stock;
    const int sides[] = {16, 24, 32, 48, 64, 96, 128};
    int seed = 0;
    for (const int w : sides) {
        for (const int h : sides) {
            if ((w + h) % 3 == 0)
                continue;
            stock.append({w, h, swfw::zlib(swfw::testPattern(w, h, ++seed))});
        }
    }
    return stock;
}

// The bytes of file `i` of a folder.
inline QByteArray assetFile(int i, const QList<Bitmap> &stock)
{
    if (i % 1000 == 500) {
        // One file in a thousand can't be read.
        if ((i / 1000) % 2 == 0)
            return "This is not an SWF file.\n";
    }
    swfw::Tags tags;
    QList<QPair<int, QByteArray>> symbols;
    const int bitmaps = 5 + (i * 7) % 36;
    for (int b = 0; b < bitmaps; ++b) {
        const Bitmap &bitmap = stock.at((i * 13 + b * 5) % stock.size());
        tags.lossless(36, b + 1, 5, bitmap.width, bitmap.height, bitmap.zlib);
        symbols.append(
            {b + 1, "asset_" + QByteArray::number(i) + "_bitmap_" + QByteArray::number(b)});
    }
    // Other tags: binary data, and a tag of a kind the tool doesn't know.
    QByteArray other(2048 + (i % 7) * 512, '\0');
    for (int k = 0; k < other.size(); ++k)
        other[k] = char((k * 31 + i) & 0xFF);
    tags.binaryData(bitmaps + 1, other);
    tags.tag(777, other.left(1024));
    tags.symbolClass(symbols)
        .frameLabel("asset_" + QByteArray::number(i).rightJustified(5, '0'))
        .showFrame()
        .end();
    QByteArray file = swfw::file(swfw::Header(), tags, swfw::Compression::Zlib);
    if (i % 1000 == 500)
        file.truncate(file.size() / 2); // cut short
    return file;
}

} // namespace bench
