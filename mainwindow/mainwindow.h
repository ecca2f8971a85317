#pragma once

#include "swf/conversionqueue.h"
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
    // Ends the folder sequence: conversions stopped, progress row removed,
    // "Change Directory" enabled again. Then the box of a converter that
    // could not be started (`startFailure`, when given), and the one naming
    // the files that could not be converted, if any.
    void endSequence(const QString &startFailure = QString());
    // The box naming the files of a scan that could not be converted (one
    // line each in `failed`) among the `taken` .swf files.
    void reportFailures(const QStringList &failed, int taken);
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
    // The folder's .swf files, converted ahead and handed over in order.
    ConversionQueue *conversions;
    // The end of `currentFile`'s conversion, once its turn has come.
    ConversionQueue::End turn;
    bool awaitingTurn = false;
    // .swf files the scan has taken; a line for each that could not be
    // converted, and for each .swf name of the folder that isn't UTF-8.
    int swfTaken = 0;
    QStringList failures;
    QStringList undecodable;
    // "Dump to File": its save dialog (made at first use), the bitmap it is
    // open for, and the folder it last wrote into.
    QFileDialog *saveDialog = nullptr;
    QImage imageToSave;
    QString saveFolder;
};
