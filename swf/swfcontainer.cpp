#include "swf/swfcontainer.h"

#include <QLabel>
#include <QListWidgetItem>

SWFResource::SWFResource(SWFContainer *parent, const QString &name)
    : QObject(parent), name(name), container(parent)
{
}

QListWidgetItem *SWFResource::createListItem()
{
    auto *listItem = new QListWidgetItem;
    listItem->setData(Qt::DisplayRole, name);
    listItem->setData(Qt::UserRole, qlonglong(reinterpret_cast<quintptr>(this)));
    return listItem;
}

SWFContainer::SWFContainer(const QString &frameLabel)
    : QObject(nullptr), item(new QListWidgetItem), frameLabel(frameLabel)
{
    item->setData(Qt::DisplayRole, frameLabel);
    item->setData(Qt::UserRole, qlonglong(reinterpret_cast<quintptr>(this)));
}

SWFContainer::~SWFContainer()
{
    qDeleteAll(resources);
}

void SWFContainer::loadImage(int, QLabel *) {}
void SWFContainer::stopConversion() {}
void SWFContainer::convertData() {}
void SWFContainer::convertFinished(int) {}
void SWFContainer::convertError(QProcess::ProcessError) {}
