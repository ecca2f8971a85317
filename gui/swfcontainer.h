#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QProcess>
#include <QString>

class ConversionJob;
class QLabel;
class QListWidgetItem;
class SWFContainer;

// One named bitmap of a catalogued SWF file.
class SWFResource : public QObject
{
    Q_OBJECT

public:
    enum Type { BitmapImage = 0, BinaryData = 1 };

    SWFResource(SWFContainer *parent, const QString &name);

    // A new list item showing the name and carrying this object's address.
    QListWidgetItem *createListItem();

    QString name;
    int objectID = 0;
    int width = 0;
    int height = 0;
    int type = BitmapImage;
    SWFContainer *container;
};

// One catalogued SWF file: its bitmaps, its list item and the on-demand
// preview of one bitmap.
class SWFContainer : public QObject
{
    Q_OBJECT

public:
    explicit SWFContainer(const QString &frameLabel);
    ~SWFContainer() override;

    // Converts the file again and shows the bitmap `objectID` (or the words
    // of the failure) in `target`.
    void loadImage(int objectID, QLabel *target);
    // Abandons the preview under way, if any.
    void stopConversion();

signals:
    // The preview asked for by loadImage() ended: `decoded` when `image`
    // (and `pixmap`) now hold the bitmap, false when the label shows why
    // not.
    void previewFinished(bool decoded);

public slots:
    void convertFinished(int exitCode);
    void convertError(QProcess::ProcessError error);

public:
    QHash<QString, SWFResource *> resources;
    // The names of `resources` in the order the file first gave them: the
    // order they are listed in (a hash's order changes from run to run).
    QStringList resourceNames;
    QListWidgetItem *item;
    QString path;
    QString frameLabel;
    QPixmap pixmap;
    // The last bitmap decoded for the preview, as decoded (premultiplied):
    // what "Dump to File" writes.
    QImage image;
    QLabel *targetLabel = nullptr;
    // The converter run of the preview under way, or null.
    ConversionJob *process = nullptr;
    int wantedID = 0;
};
