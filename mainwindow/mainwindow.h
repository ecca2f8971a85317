#pragma once

#include <QByteArray>
#include <QHash>
#include <QMainWindow>
#include <QProcess>
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

public slots:
    void processNextSWF();
    void convertData();
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
    QProcess process;
    QByteArray output;
};
