#include "dump/dumpdialog.h"

#include "gui/folderchooser.h"
#include "swf/converter.h"
#include "swf/processconversion.h"
#include "ui_dumpdialog.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace
{

DumpOptions optionsFor(DumpLayout layout, DumpLimits limits)
{
    DumpOptions options;
    options.layout = layout;
    // Flat is "Dump to Folder": one file, whose failure ends the run.
    options.stopAtFailedConversion = layout == DumpLayout::Flat;
    options.limits = limits;
    return options;
}

// Files named in the warning's text; the details name every one.
constexpr int kFilesNamed = 10;
// Images not written named in the details, with why.
constexpr int kImagesDetailed = 500;

} // namespace

DumpDialog::DumpDialog(QWidget *parent, QStringList files, DumpLayout layout, DumpLimits limits)
    : QDialog(parent), ui(new Ui_DumpDialog), layout(layout),
      pipeline(std::make_unique<ProcessConversion>(), optionsFor(layout, limits))
{
    ui->setupUi(this);
    // A bar's own text is not announced; its name says what it counts.
    ui->progressBar->setAccessibleName(QStringLiteral("SWF files dumped"));
    ui->progressBar_2->setAccessibleName(QStringLiteral("Bitmaps written"));

    dirDialog = newFolderChooser(this);

    connect(&pipeline, &DumpPipeline::fileRead, this, &DumpDialog::fileRead);
    connect(&pipeline, &DumpPipeline::imageDone, this, &DumpDialog::imageDone);
    connect(&pipeline, &DumpPipeline::fileDone, this, &DumpDialog::nextSWF);
    connect(&pipeline, &DumpPipeline::finished, this, &DumpDialog::runFinished);
    // Closed by any way (Abort, Escape, the end of the run): nothing more
    // is handed out, and what is being written is finished.
    connect(this, &QDialog::finished, &pipeline, &DumpPipeline::abort);
    connect(dirDialog, &QFileDialog::fileSelected, this, &DumpDialog::dirSelected);
    connect(dirDialog, &QFileDialog::rejected, this, &DumpDialog::close);

    setFixedSize(size());
    setModal(true);
    pendingFiles = std::move(files);
    setAttribute(Qt::WA_DeleteOnClose);
    setVisible(true);

    fileCount = int(pendingFiles.size());
    ui->progressBar->setMaximum(fileCount);
    updateContainerString();
    updateResourceString();

    dirDialog->setVisible(true);
}

DumpDialog::~DumpDialog()
{
    // Workers and the converter end before the form goes.
    pipeline.abort();
    delete ui;
}

void DumpDialog::open(QWidget *parent, const QStringList &files, DumpLayout layout)
{
    new DumpDialog(parent, files, layout);
}

void DumpDialog::dirSelected(QString folder)
{
    outputFolder = folder;
    emit nextSWF();
    pacer.hold();
    pipeline.start(pendingFiles, outputFolder);
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

void DumpDialog::fileRead(const FileOutcome &file)
{
    if (!file.converted() && layout == DumpLayout::Flat) {
        // The run ends here; the dialog stays until closed.
        pacer.release();
        showConverterFailure(file);
        return;
    }
    updateContainerString();
    ui->progressBar->setValue(fileNumber);
    ++fileNumber;

    imageCount = file.images;
    if (imageCount == 0)
        return;
    ui->progressBar_2->setMaximum(imageCount);
    imageNumber = 1;
    updateResourceString();
    emit nextImage();
}

void DumpDialog::showConverterFailure(const FileOutcome &file)
{
    const ConversionResult &conversion = file.conversion;
    if (conversion.processError)
        QMessageBox::critical(this, Converter::kErrorTitle,
                              Converter::errorText(file.file, *conversion.processError),
                              QMessageBox::Ok);
    if (conversion.ended)
        QMessageBox::critical(this, Converter::kErrorTitle, Converter::kAbnormalExitText,
                              QMessageBox::Ok);
}

void DumpDialog::imageDone(const ImageOutcome &image)
{
    ++imageNumber;
    const bool lastImage = image.index + 1 == image.count;
    if (lastImage) {
        ui->progressBar_2->setValue(0);
        imageCount = 0;
    } else {
        ui->progressBar_2->setValue(imageNumber);
    }
    updateResourceString();
    if (!lastImage)
        emit nextImage();
}

void DumpDialog::runFinished(const DumpSummary &summary)
{
    // The end shows before any warning does.
    pacer.release();
    reportFailures(summary);
    close();
}

void DumpDialog::reportFailures(const DumpSummary &summary)
{
    const QList<FileOutcome> notConverted = summary.notConverted();
    if (summary.imagesFailed() == 0 && notConverted.isEmpty())
        return;
    QStringList sentences;
    if (summary.imagesFailed() > 0)
        sentences << QStringLiteral("%1 of %2 images could not be written into %3.")
                         .arg(summary.imagesFailed())
                         .arg(summary.images())
                         .arg(QDir::toNativeSeparators(outputFolder));
    // The details say why: each image not written (a full disk can fail
    // thousands, so only the first), then each file not converted.
    QStringList details;
    int imageLines = 0;
    for (const FileOutcome &file : summary.files) {
        for (const ImageOutcome &image : file.failures) {
            if (imageLines++ < kImagesDetailed)
                details << QDir::toNativeSeparators(image.path) + QStringLiteral(": ") +
                               image.failure;
        }
    }
    if (imageLines > kImagesDetailed)
        details << QStringLiteral("and %1 more images").arg(imageLines - kImagesDetailed);
    QStringList named;
    for (const FileOutcome &file : notConverted) {
        if (named.size() < kFilesNamed)
            named << file.file;
        details << file.file + QStringLiteral(": ") + file.conversion.failure;
    }
    if (!notConverted.isEmpty()) {
        QString list = named.join(QStringLiteral(", "));
        if (notConverted.size() > named.size())
            list += QStringLiteral(" and %1 more").arg(notConverted.size() - named.size());
        sentences << QStringLiteral("%1 of %2 files could not be converted: %3.")
                         .arg(notConverted.size())
                         .arg(summary.files.size())
                         .arg(list);
    }
    QMessageBox box(QMessageBox::Warning,
                    layout == DumpLayout::Flat ? QStringLiteral("Dump to Folder")
                                               : QStringLiteral("Dump All Resources"),
                    sentences.join(QLatin1Char(' ')), QMessageBox::Ok, this);
    if (!details.isEmpty())
        box.setDetailedText(details.join(QLatin1Char('\n')));
    box.exec();
}
