#include "gui/folderchooser.h"

#include <QFileDialog>

QFileDialog *newFolderChooser(QWidget *parent)
{
    auto *dialog = new QFileDialog(parent, QString(), QString(), QString());
    dialog->setModal(true);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    return dialog;
}
