#pragma once

class QFileDialog;
class QWidget;

// A modal chooser of folders (directories only), a child of `parent`.
QFileDialog *newFolderChooser(QWidget *parent);
