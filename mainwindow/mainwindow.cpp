#include "mainwindow/mainwindow.h"
#include "mainwindow/previewarea.h"

#include "gui/folderchooser.h"
#include "gui/swfcontainer.h"
#include "swf/catalogue.h"
#include "swf/converter.h"
#include "swf/folderlisting.h"
#include "swf/imageoutput.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <cerrno>
#include <utility>

namespace
{

// What the folder scan does with a catalogue: one container per new frame
// label, listed at once, and one resource per named bitmap.
class ScanHandler final : public CatalogueHandler
{
public:
    ScanHandler(QHash<QString, SWFContainer *> &containers, QListWidget *list, const QString &file)
        : containers(containers), list(list), file(file)
    {
    }

    bool acceptLabel(const QString &label) override { return !containers.contains(label); }

    void beginEntry(const QString &label) override
    {
        container = new SWFContainer(label);
        container->path = file;
        containers.insert(label, container);
        list->addItem(container->item);
    }

    void addBitmap(const QualifyingBitmap &bitmap) override
    {
        auto *resource = new SWFResource(container, bitmap.name);
        resource->type = SWFResource::BitmapImage;
        resource->objectID = bitmap.objectID;
        resource->width = bitmap.width;
        resource->height = bitmap.height;
        // A later bitmap of the same name takes the entry, and its place in
        // the list; the earlier one stays a child of the container.
        if (!container->resources.contains(bitmap.name))
            container->resourceNames.append(bitmap.name);
        container->resources.insert(bitmap.name, resource);
    }

private:
    QHash<QString, SWFContainer *> &containers;
    QListWidget *list;
    const QString &file;
    SWFContainer *container = nullptr;
};

// The object a list item stands for, or null.
template <typename T> T *objectOf(const QListWidgetItem *item)
{
    return reinterpret_cast<T *>(quintptr(item->data(Qt::UserRole).toLongLong()));
}

QString typeText(int type)
{
    switch (type) {
    case SWFResource::BitmapImage:
        return QStringLiteral("BitmapImage");
    case SWFResource::BinaryData:
        return QStringLiteral("BinaryData");
    default:
        return QStringLiteral("Unknown");
    }
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), dirDialog(nullptr), busy(false), fileCount(0), fileIndex(-1),
      progressItem(nullptr), ui(new Ui_MainWindow), conversions(new ConversionQueue(this))
{
    ui->setupUi(this);
    // The lists have no text of their own for assistive technology to read.
    ui->listWidget->setAccessibleName(QStringLiteral("SWF files"));
    ui->listWidget_2->setAccessibleName(QStringLiteral("Bitmaps"));
    // The preview scrolls rather than growing the window past the screen.
    auto *previewArea = new PreviewArea(ui->frame_3);
    previewArea->setObjectName(QStringLiteral("previewArea"));
    previewArea->setAccessibleName(QStringLiteral("Preview"));
    delete ui->verticalLayout_4->replaceWidget(ui->lblPrev, previewArea);
    previewArea->setWidget(ui->lblPrev);

    dirDialog = newFolderChooser(this);

    connect(this, &MainWindow::nextSWF, this, &MainWindow::processNextSWF);
    connect(conversions, &ConversionQueue::nextReady, this, &MainWindow::processNextSWF);
    connect(ui->listWidget, &QListWidget::currentItemChanged, this, &MainWindow::containerChanged);
    connect(ui->listWidget_2, &QListWidget::currentItemChanged, this, &MainWindow::resourceChanged);
    connect(ui->cmdSetDir, &QPushButton::clicked, this, &MainWindow::selectDirectory);
    connect(ui->cmdDumpContainer, &QPushButton::clicked, this, &MainWindow::dumpCurrentSWF);
    connect(ui->pushButton_7, &QPushButton::clicked, this, &MainWindow::dumpAllResources);
    connect(ui->pushButton_4, &QPushButton::clicked, this, &MainWindow::dumpToFile);
    connect(dirDialog, &QFileDialog::fileSelected, this, &MainWindow::setDirectory);

    busy = false;
    progressItem = nullptr;

    show();
    dirDialog->show();
}

MainWindow::~MainWindow()
{
    // A conversion still running must neither outlive the window nor report
    // to it while it is being torn down; neither may the lists, whose rows
    // point at the containers deleted here.
    conversions->disconnect(this);
    conversions->stop();
    ui->listWidget->disconnect(this);
    ui->listWidget_2->disconnect(this);
    qDeleteAll(containers);
    delete ui;
}

void MainWindow::selectDirectory()
{
    dirDialog->show();
}

void MainWindow::setDirectory(QString path)
{
    // A scan under way ends here: its conversions are stopped and nothing of
    // it reaches the window any more.
    conversions->stop();
    awaitingTurn = false;
    turn = ConversionQueue::End();
    swfTaken = 0;
    failures.clear();
    undecodable.clear();
    busy = true;

    // The progress row of a scan under way goes with the rows.
    progressItem = nullptr;
    ui->listWidget->clear();
    ui->listWidget_2->clear();
    // The lists no longer show the previous folder's containers, and
    // clearing them stopped the preview of the one selected.
    qDeleteAll(containers);
    containers.clear();

    ui->cmdSetDir->setEnabled(false);
    updateDumpAll();
    qDebug() << "Entering" << path;

    const FolderListing listing = listFolder(path);
    if (!listing.exists) {
        endSequence();
        return;
    }
    // A folder that can't be read would list as an empty one: say so.
    if (!listing.error.isEmpty() || !QDir::setCurrent(path)) {
        const QString reason = listing.error.isEmpty() ? qt_error_string(errno) : listing.error;
        endSequence();
        QMessageBox::warning(this, QStringLiteral("Change Directory"),
                             QStringLiteral("The folder %1 can't be read: %2.")
                                 .arg(QDir::toNativeSeparators(path), reason));
        return;
    }

    pendingFiles = listing.names;
    for (const UndecodableName &name : listing.undecodableSwfNames)
        undecodable.append(name.readable + QStringLiteral(": ") + undecodableNameReason());
    fileCount = int(pendingFiles.size());
    fileIndex = -1;

    progressItem = new QListWidgetItem;
    ui->listWidget->addItem(progressItem);

    QStringList swfFiles;
    for (const QString &name : std::as_const(pendingFiles)) {
        if (hasSwfSuffix(name))
            swfFiles.append(name);
    }
    conversions->start(swfFiles);

    emit nextSWF();
    updateProgress();
}

void MainWindow::processNextSWF()
{
    // Each file's turn comes in the listing's order, whatever order the
    // conversions end in: the rows, the lines and the progress are those of
    // one conversion at a time.
    while (busy) {
        if (awaitingTurn) {
            std::optional<ConversionQueue::End> end = conversions->takeNext();
            if (!end)
                return; // nextReady() comes back here
            awaitingTurn = false;
            turn = std::move(*end);
            if (!turn.started) {
                convertError(QProcess::FailedToStart);
                return;
            }
            convertFinished(turn.exitCode);
        }
        if (pendingFiles.isEmpty()) {
            endSequence();
            return;
        }
        ++fileIndex;
        updateProgress();
        currentFile = pendingFiles.takeFirst();
        if (hasSwfSuffix(currentFile)) {
            ++swfTaken;
            qDebug() << "Converting" << currentFile;
            awaitingTurn = true;
        }
    }
}

void MainWindow::endSequence(const QString &startFailure)
{
    qDebug() << "Leaving";
    conversions->stop();
    awaitingTurn = false;
    pendingFiles.clear();
    if (progressItem) {
        delete ui->listWidget->takeItem(ui->listWidget->row(progressItem));
        progressItem = nullptr;
    }
    busy = false;
    ui->cmdSetDir->setEnabled(true);
    updateDumpAll();

    // The boxes come last, the scan's state already taken: while one is open
    // the window is ready for the next folder.
    const int taken = swfTaken + int(undecodable.size());
    const QStringList failed = std::exchange(failures, {}) + std::exchange(undecodable, {});
    if (!startFailure.isEmpty())
        QMessageBox::critical(this, Converter::kErrorTitle, startFailure, QMessageBox::Ok,
                              QMessageBox::NoButton);
    if (!failed.isEmpty())
        reportFailures(failed, taken);
}

void MainWindow::reportFailures(const QStringList &failed, int taken)
{
    constexpr qsizetype kMaxLines = 50;
    QStringList lines = failed.mid(0, kMaxLines);
    if (failed.size() > kMaxLines)
        lines.append(QStringLiteral("and %1 more").arg(failed.size() - kMaxLines));
    QMessageBox box(QMessageBox::Critical, Converter::kErrorTitle, Converter::kAbnormalExitText,
                    QMessageBox::Ok, this);
    box.setInformativeText(
        QStringLiteral("%1 of %2 files could not be converted.").arg(failed.size()).arg(taken));
    box.setDetailedText(lines.join(QLatin1Char('\n')));
    box.exec();
}

void MainWindow::updateProgress()
{
    if (!progressItem)
        return;
    const float percent = float(fileIndex) / float(fileCount) * 100;
    progressItem->setData(Qt::DisplayRole, QString::number(fileIndex) + QStringLiteral(" of ") +
                                               QString::number(fileCount) + QStringLiteral(" (") +
                                               QString::number(percent, 'f', 2) +
                                               QStringLiteral("%)"));
}

void MainWindow::convertError(QProcess::ProcessError error)
{
    // A converter that can't be started converts no file: the scan ends at
    // this file's turn. Other errors end in the run's end, a failure of the
    // file.
    if (error == QProcess::FailedToStart && busy)
        endSequence(Converter::errorText(currentFile, error));
}

void MainWindow::convertFinished(int exitCode)
{
    qDebug() << "swfmill exited with status" << exitCode;
    if (turn.catalogue) {
        ScanHandler handler(containers, ui->listWidget, currentFile);
        replayCatalogue(*turn.catalogue, handler);
    } else {
        // The scan goes on; the file is named when it ends.
        failures.append(currentFile + QStringLiteral(": ") + turn.failure);
    }
    turn = ConversionQueue::End();
}

void MainWindow::containerChanged(QListWidgetItem *current, QListWidgetItem *previous)
{
    if (current) {
        auto *container = objectOf<SWFContainer>(current);
        ui->listWidget_2->clear();
        if (container) {
            ui->cmdDumpContainer->setEnabled(true);
            ui->lblContainerName->setText(current->data(Qt::DisplayRole).toString());
            for (const QString &name : std::as_const(container->resourceNames))
                ui->listWidget_2->insertItem(ui->listWidget_2->count(),
                                             container->resources.value(name)->createListItem());
        } else {
            ui->cmdDumpContainer->setEnabled(false);
            ui->lblContainerName->setText(QStringLiteral("No Container Selected"));
        }
    }
    if (previous) {
        if (auto *container = objectOf<SWFContainer>(previous)) {
            container->stopConversion();
            // Its preview leaves the screen; kept, every file browsed would
            // hold its last bitmap (twice) until the next folder.
            container->image = QImage();
            container->pixmap = QPixmap();
        }
    }
    clearPreview();
}

void MainWindow::clearPreview()
{
    ui->lblPrev->setText(QString());
    ui->lblPrev->setPixmap(QPixmap());
    ui->lblPrev->setAccessibleDescription(QString());
    ui->pushButton_4->setEnabled(false);
}

void MainWindow::resourceChanged(QListWidgetItem *current, QListWidgetItem *)
{
    if (!current)
        return;
    const QVariant data = current->data(Qt::UserRole);
    if (data.isNull())
        return;
    auto *resource = objectOf<SWFResource>(current);

    clearPreview();

    if (resource) {
        ui->lblPrev->setAccessibleDescription(QStringLiteral("Preview of %1").arg(resource->name));
        ui->lblName->setText(resource->name);
        ui->lblSize->setText(QStringLiteral("Unknown"));
        ui->lblType->setText(typeText(resource->type));
        ui->lblWidth->setText(QString::number(resource->width, 10));
        ui->lblHeight->setText(QString::number(resource->height, 10));
        connect(resource->container, &SWFContainer::previewFinished, this,
                &MainWindow::previewFinished, Qt::UniqueConnection);
        resource->container->loadImage(resource->objectID, ui->lblPrev);
    } else {
        ui->lblName->setText(QStringLiteral("No Resource Selected"));
        ui->lblSize->setText(QStringLiteral("Unknown"));
        ui->lblType->setText(QStringLiteral("Unknown"));
        ui->lblWidth->setText(QStringLiteral("Unknown"));
        ui->lblHeight->setText(QStringLiteral("Unknown"));
    }
}

void MainWindow::dumpCurrentSWF()
{
    QListWidgetItem *current = ui->listWidget->currentItem();
    if (!current)
        return;
    auto *container = objectOf<SWFContainer>(current);
    if (!container)
        return;
    emit dumpRequested(QStringList{container->path}, DumpLayout::Flat);
}

void MainWindow::updateDumpAll()
{
    ui->pushButton_7->setEnabled(!busy && !containers.isEmpty());
}

void MainWindow::dumpAllResources()
{
    QStringList files;
    for (int row = 0; row < ui->listWidget->count(); ++row) {
        if (auto *container = objectOf<SWFContainer>(ui->listWidget->item(row)))
            files << container->path;
    }
    if (!files.isEmpty())
        emit dumpRequested(files, DumpLayout::FolderPerLabel);
}

// The resource whose preview the window shows, or null.
SWFResource *MainWindow::currentResource() const
{
    const QListWidgetItem *current = ui->listWidget_2->currentItem();
    return current ? objectOf<SWFResource>(current) : nullptr;
}

void MainWindow::previewFinished(bool decoded)
{
    const SWFResource *resource = currentResource();
    if (resource && sender() == resource->container)
        ui->pushButton_4->setEnabled(decoded);
}

void MainWindow::dumpToFile()
{
    const SWFResource *resource = currentResource();
    if (!resource || resource->container->image.isNull())
        return;
    if (!saveDialog) {
        saveDialog =
            new QFileDialog(this, QString(), QString(), QStringLiteral("PNG images (*.png)"));
        saveDialog->setModal(true);
        saveDialog->setAcceptMode(QFileDialog::AcceptSave);
        saveDialog->setFileMode(QFileDialog::AnyFile);
        saveDialog->setDefaultSuffix(QStringLiteral("png"));
        connect(saveDialog, &QFileDialog::fileSelected, this, &MainWindow::writeBitmap);
        connect(saveDialog, &QFileDialog::rejected, this, [this] { imageToSave = QImage(); });
    }
    imageToSave = resource->container->image;
    if (!saveFolder.isEmpty())
        saveDialog->setDirectory(saveFolder);
    saveDialog->selectFile(safeFileName(resource->name) + QStringLiteral(".png"));
    saveDialog->show();
}

void MainWindow::writeBitmap(const QString &path)
{
    QImage image = std::exchange(imageToSave, QImage());
    if (image.isNull())
        return;
    saveFolder = QFileInfo(path).absolutePath();
    const WriteResult result = writePng(std::move(image), path);
    if (!result.written())
        QMessageBox::warning(this, QStringLiteral("Dump to File"),
                             QStringLiteral("%1 could not be written: %2.")
                                 .arg(QDir::toNativeSeparators(path), result.error));
}
