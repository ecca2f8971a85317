#pragma once

#include <QByteArray>
#include <QString>

// One named bitmap of the file being dumped, queued until its turn.
struct ImageRecord {
    QString name;    // symbol name, never empty
    QByteArray data; // base64 text (may lie in the dialog's copy of the
                     // converter's output); its compressed data once decoded
    int width = 0;
    int height = 0;
};
