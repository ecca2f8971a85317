#pragma once

#include "swf/conversionjob.h"
#include "swf/dumptypes.h"

#include <QHash>
#include <QImage>
#include <QMainWindow>
#include <QString>
#include <QStringList>

class QFileDialog;
class QListWidgetItem;
class SWFContainer;
class SWFResource;
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
    // directory), parented to this window: one file flat ("Dump to
    // Folder"), or every listed file, one folder per label ("Dump All
    // Resources").
    void dumpRequested(const QStringList &files, DumpLayout layout);

public slots:
    void processNextSWF();
    void convertFinished(int exitCode);
    void convertError(QProcess::ProcessError error);
    void containerChanged(QListWidgetItem *current, QListWidgetItem *previous);
    void resourceChanged(QListWidgetItem *current, QListWidgetItem *previous);
    void setDirectory(QString path);
    void selectDirectory();
    void dumpCurrentSWF();
    void dumpAllResources();
    void dumpToFile();

private:
    // "Dump All Resources" is enabled while no folder is being scanned and
    // a container is listed.
    void updateDumpAll();
    // The preview of the current resource ended; "Dump to File" follows it.
    void previewFinished(bool decoded);
    // Writes the previewed bitmap chosen for "Dump to File" at `path`.
    void writeBitmap(const QString &path);
    void updateProgress();
    // Ends the folder sequence: progress row removed, "Change Directory"
    // enabled again, no further file converted.
    void endSequence();
    // Empties the preview label; "Dump to File" waits for the next one.
    void clearPreview();
    SWFResource *currentResource() const;

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
    // "Dump to File": its save dialog (made at first use), the bitmap it is
    // open for, and the folder it last wrote into.
    QFileDialog *saveDialog = nullptr;
    QImage imageToSave;
    QString saveFolder;
};
