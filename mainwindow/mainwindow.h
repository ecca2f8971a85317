#pragma once

#include "swf/conversionqueue.h"

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
    // Ends the folder sequence: conversions stopped, progress row removed,
    // "Change Directory" enabled again. Then the box of a converter that
    // could not be started (`startFailure`, when given), and the one naming
    // the files that could not be converted, if any.
    void endSequence(const QString &startFailure = QString());
    // The box naming the files of a scan that could not be converted (one
    // line each in `failed`) among the `taken` .swf files.
    void reportFailures(const QStringList &failed, int taken);
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
};
