#include "mainwindow/mainwindow.h"

#include "swf/converter.h"
#include "ui_mainwindow.h"

#include <QFileDialog>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), dirDialog(nullptr), busy(false), fileCount(0), fileIndex(-1),
      progressItem(nullptr), ui(new Ui_MainWindow)
{
    ui->setupUi(this);

    dirDialog = new QFileDialog(this, QString(), QString(), QString());
    dirDialog->setModal(true);
    dirDialog->setFileMode(QFileDialog::Directory);
    dirDialog->setOption(QFileDialog::ShowDirsOnly, true);

    connect(this, &MainWindow::nextSWF, this, &MainWindow::processNextSWF);
    connect(&process, &QProcess::readyRead, this, &MainWindow::convertData);
    connect(&process, &QProcess::errorOccurred, this, &MainWindow::convertError);
    connect(&process, &QProcess::finished, this, &MainWindow::convertFinished);
    connect(ui->listWidget, &QListWidget::currentItemChanged, this, &MainWindow::containerChanged);
    connect(ui->listWidget_2, &QListWidget::currentItemChanged, this,
            &MainWindow::resourceChanged);
    connect(ui->cmdSetDir, &QPushButton::clicked, this, &MainWindow::selectDirectory);
    connect(ui->cmdDumpContainer, &QPushButton::clicked, this, &MainWindow::dumpCurrentSWF);
    connect(dirDialog, &QFileDialog::fileSelected, this, &MainWindow::setDirectory);

    busy = false;
    progressItem = nullptr;

    show();
    dirDialog->show();
}

MainWindow::~MainWindow()
{
    // A conversion still running must neither outlive the window nor report
    // to it while it is being torn down.
    Converter::abandon(process, this);
    delete ui;
}

void MainWindow::selectDirectory()
{
    dirDialog->show();
}

void MainWindow::processNextSWF() {}

void MainWindow::convertData() {}

void MainWindow::convertFinished(int) {}

void MainWindow::convertError(QProcess::ProcessError) {}

void MainWindow::containerChanged(QListWidgetItem *, QListWidgetItem *) {}

void MainWindow::resourceChanged(QListWidgetItem *, QListWidgetItem *) {}

void MainWindow::setDirectory(QString) {}

void MainWindow::dumpCurrentSWF() {}

void MainWindow::updateProgress() {}
