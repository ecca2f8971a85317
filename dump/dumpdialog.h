#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include "dump/paintpacer.h"
#include "swf/dumppipeline.h"

class QFileDialog;
class Ui_DumpDialog;

// Writes every named bitmap of its files into a chosen folder as PNG files,
// with one progress bar for the files and one for the images of a file. The
// work is the pipeline's; the dialog shows its events. Flat, a converter
// failure stops the run with an error box and leaves the dialog open until
// Abort; one folder per label, the run goes on and the files that could not
// be converted are named at its end.
class DumpDialog : public QDialog
{
    Q_OBJECT

public:
    DumpDialog(QWidget *parent, QStringList files, DumpLayout layout = DumpLayout::Flat,
               DumpLimits limits = {});
    ~DumpDialog() override;

    // Opens a dialog over `files`, parented to `parent`; it shows itself
    // and deletes itself when closed.
    static void open(QWidget *parent, const QStringList &files, DumpLayout layout);

signals:
    // The bars are set for the next file, or the run has begun.
    void nextSWF();
    // The bars are set for the next image of the file.
    void nextImage();

public slots:
    void dirSelected(QString folder);
    void updateContainerString();
    void updateResourceString();

private:
    void fileRead(const FileOutcome &file);
    void imageDone(const ImageOutcome &image);
    void runFinished(const DumpSummary &summary);
    void showConverterFailure(const FileOutcome &file);
    void reportFailures(const DumpSummary &summary);

    QFileDialog *dirDialog = nullptr;
    Ui_DumpDialog *ui;
    QStringList pendingFiles;
    DumpLayout layout;
    QString outputFolder;
    DumpPipeline pipeline;
    int fileCount = 0;
    int fileNumber = 1;
    int imageCount = 0;
    int imageNumber = 1;
    // Paints the window at most every 40 ms while a run goes on: painting
    // the bars after every small image, or every small file, would take
    // longer than writing it.
    PaintPacer pacer{this, 40};
};
