#pragma once

#include "swf/conversionjob.h"

#include <QHash>
#include <QMainWindow>
#include <QString>
#include <QStringList>

class QFileDialog;
class QListWidgetItem;
class SWFContainer;
class Ui_MainWindow;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

signals:
    // Asks for the next file of the folder being scanned.
    void nextSWF();
    // Asks for the dump dialog over `files` (bare names in the working
    // directory), parented to this window.
    void dumpRequested(const QStringList &files);

public slots:
    void processNextSWF();
    void convertFinished(int exitCode);
    void convertError(QProcess::ProcessError error);
    void containerChanged(QListWidgetItem *current, QListWidgetItem *previous);
    void resourceChanged(QListWidgetItem *current, QListWidgetItem *previous);
    void setDirectory(QString path);
    void selectDirectory();
    void dumpCurrentSWF();

private:
    void updateProgress();
    // Ends the folder sequence: progress row removed, "Change Directory"
    // enabled again, no further file converted.
    void endSequence();
    // Empties the preview label.
    void clearPreview();

    QHash<QString, SWFContainer *> containers;
    QFileDialog *dirDialog;
    bool busy;
    int fileCount;
    int fileIndex;
    QString currentFile;
    QListWidgetItem *progressItem;
    Ui_MainWindow *ui;
    QStringList pendingFiles;
    ConversionJob process;
};
