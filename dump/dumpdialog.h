#pragma once

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include "dump/paintpacer.h"
#include "dump/recorddecoder.h"
#include "swf/conversionjob.h"

class QFileDialog;
class Ui_DumpDialog;
struct ImageRecord;

// Writes every named bitmap of its files into a chosen folder as PNG files,
// with one progress bar for the files and one for the images of a file.
class DumpDialog : public QDialog
{
    Q_OBJECT

public:
    DumpDialog(QWidget *parent, QStringList files);
    ~DumpDialog() override;

    // Opens a dialog over `files`, parented to `parent`; it shows itself
    // and deletes itself when closed.
    static void open(QWidget *parent, const QStringList &files);

signals:
    void nextSWF();
    void nextImage();

public slots:
    void processNextSWF();
    void convertFinished(int exitCode);
    void convertError(QProcess::ProcessError error);
    void processNextImage();
    void dirSelected(QString folder);
    void updateContainerString();
    void updateResourceString();

private:
    QFileDialog *dirDialog;
    Ui_DumpDialog *ui;
    QStringList pendingFiles;
    QString currentFile;
    QString outputFolder;
    ConversionJob process;
    int fileCount;
    int fileNumber;
    int imageCount;
    int imageNumber;
    QList<ImageRecord *> images;
    // The converter's output of the file whose images are being written:
    // the records' base64 texts still lie in it.
    QByteArray texts;
    // Images of the run so far, and those that could not be written.
    int imagesTotal = 0;
    int imagesFailed = 0;
    // Decodes the records' base64 text ahead of their turn.
    RecordDecoder decoder;
    // Paints the window at most every 40 ms while a file's images are
    // written: painting the image bar after every small image would take
    // longer than writing it.
    PaintPacer pacer{this, 40};
};
