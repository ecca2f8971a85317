#include "dump/dumpdialog.h"

#include "dump/imagerecord.h"
#include "swf/converter.h"
#include "ui_dumpdialog.h"

#include <QFileDialog>

DumpDialog::DumpDialog(QWidget *parent, QStringList files)
    : QDialog(parent), dirDialog(nullptr), ui(new Ui_DumpDialog), pendingFiles(std::move(files)),
      fileCount(0), fileNumber(1), imageCount(0), imageNumber(1)
{
    ui->setupUi(this);
}

DumpDialog::~DumpDialog()
{
    Converter::abandon(process, this);
    qDeleteAll(images);
    delete ui;
}

void DumpDialog::processNextSWF() {}
void DumpDialog::convertData() {}
void DumpDialog::convertFinished(int) {}
void DumpDialog::convertError(QProcess::ProcessError) {}
void DumpDialog::processNextImage() {}
void DumpDialog::dirSelected(QString) {}
void DumpDialog::updateContainerString() {}
void DumpDialog::updateResourceString() {}
