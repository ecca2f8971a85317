// Writes the demo folder: a handful of SWF files that show every feature of
// the tool at once. Usage: swf-make-demo FOLDER

#include "tests/support/swfwriter.h"

#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <cstdio>

using namespace swfw;

namespace
{

// Premultiplied A,R,G,B bytes of an image, as SWF stores them.
QByteArray argbBytes(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QByteArray out;
    out.reserve(qsizetype(image.width()) * image.height() * 4);
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            out.append(char(qAlpha(line[x])));
            out.append(char(qRed(line[x])));
            out.append(char(qGreen(line[x])));
            out.append(char(qBlue(line[x])));
        }
    }
    return out;
}

// Draws on a transparent canvas of the given size.
template <typename Draw> QByteArray painted(int width, int height, Draw draw)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p, QRectF(0, 0, width, height));
    p.end();
    return argbBytes(image);
}

QByteArray star(int size)
{
    return painted(size, size, [](QPainter &p, const QRectF &r) {
        QPainterPath path;
        const QPointF c = r.center();
        for (int i = 0; i < 10; ++i) {
            const double radius = (i % 2 ? 0.2 : 0.46) * r.width();
            const double angle = M_PI / 5 * i - M_PI / 2;
            const QPointF pt(c.x() + radius * std::cos(angle), c.y() + radius * std::sin(angle));
            i ? path.lineTo(pt) : path.moveTo(pt);
        }
        path.closeSubpath();
        QRadialGradient glow(c, r.width() / 2);
        glow.setColorAt(0, QColor(255, 230, 120, 255));
        glow.setColorAt(1, QColor(230, 150, 0, 255));
        p.setPen(QPen(QColor(120, 60, 0, 200), 1.5));
        p.setBrush(glow);
        p.drawPath(path);
    });
}

QByteArray heart(int size)
{
    return painted(size, size, [](QPainter &p, const QRectF &r) {
        const double w = r.width();
        QPainterPath path;
        path.moveTo(w * 0.5, w * 0.85);
        path.cubicTo(w * 0.05, w * 0.55, w * 0.1, w * 0.1, w * 0.5, w * 0.3);
        path.cubicTo(w * 0.9, w * 0.1, w * 0.95, w * 0.55, w * 0.5, w * 0.85);
        // A soft, half-transparent halo behind the solid heart.
        p.setPen(QPen(QColor(255, 60, 90, 90), w * 0.12));
        p.setBrush(QColor(220, 20, 60));
        p.drawPath(path);
    });
}

QByteArray gem(int size)
{
    return painted(size, size, [](QPainter &p, const QRectF &r) {
        const double w = r.width();
        const QPolygonF outline({QPointF(w * 0.5, w * 0.05), QPointF(w * 0.95, w * 0.4),
                                 QPointF(w * 0.5, w * 0.95), QPointF(w * 0.05, w * 0.4)});
        QLinearGradient shine(0, 0, w, w);
        shine.setColorAt(0, QColor(160, 255, 250, 230));
        shine.setColorAt(1, QColor(0, 110, 160, 230));
        p.setPen(QPen(QColor(0, 60, 90), 2));
        p.setBrush(shine);
        p.drawPolygon(outline);
        p.setPen(QPen(QColor(255, 255, 255, 160), 1.5));
        p.drawLine(QPointF(w * 0.05, w * 0.4), QPointF(w * 0.95, w * 0.4));
    });
}

QByteArray sky(int width, int height)
{
    return painted(width, height, [](QPainter &p, const QRectF &r) {
        QLinearGradient g(0, 0, 0, r.height());
        g.setColorAt(0, QColor(30, 60, 150));
        g.setColorAt(0.7, QColor(120, 180, 240));
        g.setColorAt(1, QColor(250, 200, 150));
        p.fillRect(r, g);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 200));
        p.drawEllipse(QRectF(r.width() * 0.1, r.height() * 0.2, 70, 24));
        p.drawEllipse(QRectF(r.width() * 0.6, r.height() * 0.35, 90, 28));
    });
}

QByteArray glassPanel(int width, int height)
{
    return painted(width, height, [](QPainter &p, const QRectF &r) {
        p.setPen(QPen(QColor(255, 255, 255, 220), 2));
        p.setBrush(QColor(255, 255, 255, 96));
        p.drawRoundedRect(r.adjusted(2, 2, -2, -2), 14, 14);
    });
}

QByteArray checker(int size)
{
    return painted(size, size, [](QPainter &p, const QRectF &r) {
        const int cell = int(r.width()) / 8;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                p.fillRect(x * cell, y * cell, cell, cell,
                           (x + y) % 2 ? QColor(40, 40, 40, 255) : QColor(200, 0, 0, 128));
    });
}

QByteArray slime(int width, int height)
{
    return painted(width, height, [](QPainter &p, const QRectF &r) {
        p.setPen(QPen(QColor(20, 90, 20), 2));
        p.setBrush(QColor(60, 200, 60, 170));
        p.drawEllipse(r.adjusted(4, r.height() * 0.3, -4, -4));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(r.width() * 0.3, r.height() * 0.5, 12, 12));
        p.drawEllipse(QRectF(r.width() * 0.55, r.height() * 0.5, 12, 12));
    });
}

QByteArray ghost(int width, int height)
{
    return painted(width, height, [](QPainter &p, const QRectF &r) {
        QPainterPath body;
        body.moveTo(4, r.height() - 4);
        body.lineTo(4, r.height() * 0.4);
        body.arcTo(QRectF(4, 4, r.width() - 8, r.height() * 0.7), 180, -180);
        body.lineTo(r.width() - 4, r.height() - 4);
        for (int i = 3; i >= 0; --i)
            body.lineTo(4 + (r.width() - 8) * i / 4.0 + (r.width() - 8) / 8.0, r.height() - 16);
        body.closeSubpath();
        p.setPen(QPen(QColor(180, 180, 255, 200), 2));
        p.setBrush(QColor(255, 255, 255, 140));
        p.drawPath(body);
        p.setBrush(QColor(20, 20, 60));
        p.drawEllipse(QRectF(r.width() * 0.3, r.height() * 0.3, 10, 14));
        p.drawEllipse(QRectF(r.width() * 0.58, r.height() * 0.3, 10, 14));
    });
}

bool write(const QDir &dir, const char *name, const QByteArray &bytes)
{
    if (!save(dir.filePath(QString::fromLatin1(name)), bytes)) {
        std::fprintf(stderr, "swf-make-demo: can't write %s\n",
                     qPrintable(dir.filePath(QString::fromLatin1(name))));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // "--help" is a question, not a folder to fill with samples.
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs("usage: swf-make-demo FOLDER\n", stderr);
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "swf-make-demo: can't create %s\n", argv[1]);
        return 1;
    }

    Header header;

    // Three icons, one bitmap without a name (not listed) and some data.
    Tags icons;
    icons.frameLabel("Icons")
        .bitmap(1, 48, 48, star(48))
        .bitmap(2, 32, 32, heart(32))
        .bitmap(3, 64, 64, gem(64))
        .bitmap(4, 16, 16, star(16))
        .binaryData(5, "icon metadata")
        .symbolClass({{1, "icon_star"}, {2, "icon_heart"}, {3, "icon_gem"}, {5, "IconData"}})
        .showFrame()
        .end();

    // The same label again: the scan lists only the first file.
    Tags iconsCopy;
    iconsCopy.frameLabel("Icons")
        .bitmap(1, 48, 48, star(48))
        .symbolClass({{1, "icon_star"}})
        .showFrame()
        .end();

    Tags backgrounds;
    backgrounds.frameLabel("Backgrounds")
        .symbolClass({{10, "sky_gradient"}, {11, "glass_panel"}, {12, "checker"}})
        .bitmap(10, 320, 180, sky(320, 180))
        .bitmap(11, 200, 120, glassPanel(200, 120))
        .bitmap(12, 128, 128, checker(128))
        .showFrame()
        .end();

    // A palette bitmap (format 3) is not a 32-bit bitmap: it is not listed.
    Tags characters;
    characters.frameLabel("Characters")
        .bitmap(20, 96, 80, slime(96, 80))
        .bitmap(21, 80, 96, ghost(80, 96))
        .lossless(36, 22, 3, 8, 8, zlib(QByteArray(4 * 2 + 64, '\x01')), 1)
        .symbolClass({{20, "slime"}, {21, "ghost"}, {22, "palette_sprite"}})
        .showFrame()
        .end();

    // Only binary data: listed, with no bitmaps.
    Tags sounds;
    sounds.frameLabel("Sounds")
        .binaryData(30, QByteArray(2048, '\x7f'))
        .binaryData(31, QByteArray(1024, '\x10'))
        .symbolClass({{30, "music_loop"}, {31, "click"}})
        .showFrame()
        .end();

    // Cut short in the middle of its second bitmap: what can be read is kept.
    Tags truncated;
    truncated.frameLabel("Truncated")
        .symbolClass({{40, "survivor"}, {41, "lost"}})
        .bitmap(40, 64, 64, gem(64))
        .bitmap(41, 96, 80, slime(96, 80))
        .showFrame()
        .end();
    QByteArray cut = file(header, truncated, Compression::None);
    cut.truncate(cut.size() - 200);

    Header v13 = header;
    v13.version = 13;
    const bool ok = write(dir, "Icons.swf", file(header, icons, Compression::Zlib)) &&
                    write(dir, "Icons_copy.swf", file(header, iconsCopy, Compression::Zlib)) &&
                    write(dir, "Backgrounds.swf", file(v13, backgrounds, Compression::Lzma)) &&
                    write(dir, "Characters.swf", file(header, characters, Compression::None)) &&
                    write(dir, "Sounds.swf", file(header, sounds, Compression::Zlib)) &&
                    write(dir, "Truncated.swf", cut) &&
                    write(dir, "readme.txt",
                          "Sample SWF files made by swf-make-demo. Files that do not end in "
                          "\".swf\" are skipped.\n");
    return ok ? 0 : 1;
}
