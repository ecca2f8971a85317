#pragma once

// What the benchmarks share: generated pictures and asset archives, and
// their figures of time and memory.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace bench
{

double median(QList<double> values);

// A figure of /proc/self/status, or of process `pid`'s, in kB ("VmRSS:",
// "VmHWM:"); 0 when it can't be read.
long statusKb(const char *field, qint64 pid = 0);
// Starts counting the process's peak memory afresh from what it holds now.
void resetPeak();
// Processor time of this process (RUSAGE_SELF) or of its children waited
// for (RUSAGE_CHILDREN), in seconds.
double cpuSeconds(int who);

// Premultiplied A,R,G,B bytes of a painted-looking picture: shading, grain
// and an oval with soft transparent edges.
QByteArray art(int width, int height, int seed);

// Sizes that cycle from icons to full 1024 x 1024 pictures.
QSize pictureSize(int i);
// Picture `i` of a one-file benchmark: art, or the writer's flat test pattern.
QByteArray picture(bool painted, int i);
// A CWS file of `count` such pictures, named "bitmap_N", under the label
// "bench"; the images themselves in `images` when given.
QByteArray pictureFile(bool painted, int count, QList<QImage> *images = nullptr);

// File `i` of an asset archive: its own frame label, 5 to 40 named bitmaps
// of 16 x 16 to 128 x 128 pixels and a few kilobytes of other tags. With
// `broken`, one file in a thousand can't be read (cut short, or not an SWF
// file at all).
QByteArray assetFile(int i, bool broken = true);
// The images asset file `i` holds, decoded (none for a broken one).
QList<QImage> assetImages(int i);
// Writes an archive of `count` asset files into `folder`, unless an earlier
// run left it there complete; says how long it took.
void generateAssets(const QString &folder, int count, bool broken = true);
// The names of an archive's files, in the folder's order.
QString assetName(int i);

// A new, empty folder for one run's output. Every run's output stays until
// the program ends: files deleted between runs would make the file system
// slower at creating the next ones (it passes over recently freed inodes),
// which weighs on small files far more than their encoding does.
QString newOutputFolder();

// Time Qt alone takes to write `images` as PNG files on one thread (the
// images already decoded): the limit the exports are measured against.
double encodingSeconds(const QList<QImage> &images);
// The same with this program's PNG encoder (the same bytes as Qt's writer).
double ownEncodingSeconds(const QList<QImage> &images);

} // namespace bench
