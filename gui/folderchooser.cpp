#include "gui/folderchooser.h"

#include <QFileDialog>

QFileDialog *newFolderChooser(QWidget *parent)
{
    auto *dialog = new QFileDialog(parent, QString(), QString(), QString());
    dialog->setModal(true);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    // A folder typed with its full path and taken from the completer can
    // leave the folder shown before it selected too: the dialog then names
    // both, the one taken last, and sends no fileSelected() at all.
    QObject::connect(dialog, &QFileDialog::filesSelected, dialog,
                     [dialog](const QStringList &folders) {
                         if (folders.size() > 1)
                             emit dialog->fileSelected(folders.constLast());
                     });
    return dialog;
}
