#include "dump/dumpdialog.h"

#include "dump/imagerecord.h"
#include "gui/folderchooser.h"
#include "swf/bitmap.h"
#include "swf/catalogue.h"
#include "swf/converter.h"
#include "swf/imageoutput.h"
#include "ui_dumpdialog.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace
{

// What the dump does with a catalogue: every label is taken, and every named
// bitmap becomes a record holding its base64 text until its turn. Long texts
// are not copied: they stay in the converter's output, which the dialog
// keeps until the file's images are written.
class DumpHandler final : public CatalogueHandler
{
public:
    explicit DumpHandler(QList<ImageRecord *> &images) : images(images) {}

    bool acceptLabel(const QString &) override { return true; }
    void beginEntry(const QString &) override {}
    void addBitmap(const QualifyingBitmap &bitmap) override
    {
        images.append(new ImageRecord{bitmap.name,
                                      bitmap.dumpText(QualifyingBitmap::Copy::WhenNeeded),
                                      bitmap.width, bitmap.height});
    }

private:
    QList<ImageRecord *> &images;
};

} // namespace

DumpDialog::DumpDialog(QWidget *parent, QStringList files)
    : QDialog(parent), dirDialog(nullptr), ui(new Ui_DumpDialog), fileCount(0), fileNumber(1),
      imageCount(0), imageNumber(1)
{
    ui->setupUi(this);
    // A bar's own text is not announced; its name says what it counts.
    ui->progressBar->setAccessibleName(QStringLiteral("SWF files dumped"));
    ui->progressBar_2->setAccessibleName(QStringLiteral("Bitmaps written"));

    dirDialog = newFolderChooser(this);

    connect(this, &DumpDialog::nextSWF, this, &DumpDialog::processNextSWF);
    // Images are written one per turn of the event loop: the stack stays flat
    // however many bitmaps a file has, and Abort is answered between images.
    connect(this, &DumpDialog::nextImage, this, &DumpDialog::processNextImage,
            Qt::QueuedConnection);
    connect(&process, &ConversionJob::errorOccurred, this, &DumpDialog::convertError);
    connect(&process, &ConversionJob::finished, this, &DumpDialog::convertFinished);
    connect(dirDialog, &QFileDialog::fileSelected, this, &DumpDialog::dirSelected);
    connect(dirDialog, &QFileDialog::rejected, this, &DumpDialog::close);

    setFixedSize(size());
    setModal(true);
    pendingFiles = std::move(files);
    setAttribute(Qt::WA_DeleteOnClose);
    setVisible(true);

    fileCount = int(pendingFiles.size());
    fileNumber = 1;
    imageCount = 0;
    ui->progressBar->setMaximum(fileCount);
    updateContainerString();
    updateResourceString();

    dirDialog->setVisible(true);
}

DumpDialog::~DumpDialog()
{
    // Nothing of a conversion still running may reach the dialog now.
    process.disconnect(this);
    process.stop();
    delete ui;
    decoder.stop();
    qDeleteAll(images);
    images.clear();
    Converter::releaseBuffer(texts);
}

void DumpDialog::open(QWidget *parent, const QStringList &files)
{
    new DumpDialog(parent, files);
}

void DumpDialog::dirSelected(QString folder)
{
    outputFolder = folder;
    emit nextSWF();
}

void DumpDialog::updateContainerString()
{
    ui->progressBar->setFormat(QStringLiteral("File ") + QString::number(fileNumber) +
                               QStringLiteral(" of ") + QString::number(fileCount) +
                               QStringLiteral(" (%p%)"));
}

void DumpDialog::updateResourceString()
{
    if (imageCount == 0)
        ui->progressBar_2->setFormat(QStringLiteral("Waiting..."));
    else
        ui->progressBar_2->setFormat(QStringLiteral("Resource ") + QString::number(imageNumber) +
                                     QStringLiteral(" of ") + QString::number(imageCount) +
                                     QStringLiteral(" (%p%)"));
}

void DumpDialog::processNextSWF()
{
    if (pendingFiles.isEmpty()) {
        if (imagesFailed > 0)
            QMessageBox::warning(this, QStringLiteral("Dump to Folder"),
                                 QStringLiteral("%1 of %2 images could not be written into %3.")
                                     .arg(imagesFailed)
                                     .arg(imagesTotal)
                                     .arg(QDir::toNativeSeparators(outputFolder)));
        close();
        return;
    }
    currentFile = pendingFiles.takeFirst();
    qDebug() << "Converting" << currentFile;
    process.start(currentFile);
}

void DumpDialog::convertError(QProcess::ProcessError error)
{
    QMessageBox::critical(this, Converter::kErrorTitle, Converter::errorText(currentFile, error),
                          QMessageBox::Ok);
}

void DumpDialog::convertFinished(int exitCode)
{
    qDebug() << "swfmill exited with status" << exitCode;
    if (exitCode != 0) {
        QMessageBox::critical(this, Converter::kErrorTitle, Converter::kAbnormalExitText,
                              QMessageBox::Ok);
        return;
    }

    // The records' texts refer into the output: it goes once they are done.
    texts = process.takeOutput();
    DumpHandler handler(images);
    readCatalogue(texts, handler);

    updateContainerString();
    ui->progressBar->setValue(fileNumber);
    ++fileNumber;

    imageCount = int(images.size());
    imagesTotal += imageCount;
    if (imageCount == 0) {
        Converter::releaseBuffer(texts);
        emit nextSWF();
        return;
    }
    decoder.start(images);
    pacer.hold();
    ui->progressBar_2->setMaximum(imageCount);
    imageNumber = 1;
    updateResourceString();
    emit nextImage();
}

void DumpDialog::processNextImage()
{
    // A closed dialog (Abort) writes nothing more while it waits for deletion.
    if (images.isEmpty() || !isVisible())
        return;
    ImageRecord *record = images.takeFirst();
    decoder.next(record);

    // A bitmap that can't be decoded, or whose image is empty, leaves no
    // file; neither does one the folder refuses. Each counts as not written.
    const QImage image = dumpImageFromCompressed(record->data, record->width, record->height);
    record->data.clear();
    const bool written =
        !image.isNull() && writePng(image, outputFolder + QDir::separator() +
                                               safeFileName(record->name) + QStringLiteral(".png"));
    if (!written)
        ++imagesFailed;
    delete record;

    ++imageNumber;
    const bool lastImage = images.isEmpty();
    if (lastImage) {
        Converter::releaseBuffer(texts);
        pacer.release();
        ui->progressBar_2->setValue(0);
        imageCount = 0;
    } else {
        ui->progressBar_2->setValue(imageNumber);
    }
    updateResourceString();
    if (lastImage)
        emit nextSWF();
    else
        emit nextImage();
}
