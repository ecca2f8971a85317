#include "gui/swfcontainer.h"

#include "swf/bitmap.h"
#include "swf/catalogue.h"
#include "swf/conversionjob.h"

#include <QDebug>
#include <QLabel>
#include <QListWidgetItem>

namespace
{

// List items carry the address of the object they stand for.
QVariant addressOf(const QObject *object)
{
    return QVariant(qlonglong(reinterpret_cast<quintptr>(object)));
}

} // namespace

SWFResource::SWFResource(SWFContainer *parent, const QString &name)
    : QObject(parent), name(name), container(parent)
{
}

QListWidgetItem *SWFResource::createListItem()
{
    auto *listItem = new QListWidgetItem;
    listItem->setData(Qt::DisplayRole, name);
    listItem->setData(Qt::UserRole, addressOf(this));
    return listItem;
}

SWFContainer::SWFContainer(const QString &frameLabel)
    : QObject(nullptr), item(new QListWidgetItem), frameLabel(frameLabel)
{
    item->setData(Qt::DisplayRole, frameLabel);
    item->setData(Qt::UserRole, addressOf(this));
}

SWFContainer::~SWFContainer()
{
    // A preview still converting ends here, without reaching its label.
    delete process;
    qDeleteAll(resources);
    // `item` belongs to the list it was added to.
}

void SWFContainer::loadImage(int objectID, QLabel *target)
{
    stopConversion();
    process = new ConversionJob(this);
    connect(process, &ConversionJob::errorOccurred, this, &SWFContainer::convertError);
    connect(process, &ConversionJob::finished, this, &SWFContainer::convertFinished);
    // Set before the start: a program that can't be found is reported from
    // inside start() already.
    targetLabel = target;
    wantedID = objectID;
    process->start(path);
}

void SWFContainer::stopConversion()
{
    if (!process)
        return;
    // Ended now, deleted once the signal that may be running returns.
    process->disconnect(this);
    process->stop();
    process->deleteLater();
    process = nullptr;
}

void SWFContainer::convertFinished(int exitCode)
{
    bool decoded = false;
    if (exitCode != 0) {
        targetLabel->setText(QStringLiteral("swfmill failed: ") + QString::number(exitCode));
    } else {
        const std::optional<QImage> preview =
            previewImage(previewSource(process->takeOutput(), wantedID));
        if (preview) {
            image = *preview;
            pixmap = QPixmap::fromImage(image);
            targetLabel->setPixmap(pixmap);
            // A bitmap of width 0 decodes to no image: nothing to write.
            decoded = !image.isNull();
        } else {
            targetLabel->setText(QStringLiteral("Error Extracting Data"));
        }
    }
    stopConversion();
    emit previewFinished(decoded);
}

void SWFContainer::convertError(QProcess::ProcessError)
{
    qDebug() << "swfmill Error";
    targetLabel->setText(QStringLiteral("Error Loading Sprite"));
    stopConversion();
    emit previewFinished(false);
}
