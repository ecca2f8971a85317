#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// A file of a folder whose name isn't valid UTF-8, so that no QString can
// name it (Qt's directory listing leaves such names out).
struct UndecodableName {
    QByteArray bytes; // the name as the file system holds it
    QString readable; // see readableFileName()
};

// Why such a file isn't converted, in the words of every failure list.
inline QString undecodableNameReason()
{
    return QStringLiteral("file name is not valid UTF-8");
}

// The files of a folder, as the tool takes them.
struct FolderListing {
    bool exists = false;
    // Why a folder that exists can't be listed (no permission to read it or
    // to look inside), in the system's words; empty when it was listed.
    QString error;
    // The file names QDir lists (QDir::Files, in QDir's order: by name,
    // ignoring case): no folders, no hidden files, and no links to anything
    // but a file.
    QStringList names;
    // The files QDir leaves out because their names aren't valid UTF-8, as
    // far as their bytes end in ".swf" (the tool's rule for every name), in
    // the order of their bytes. Hidden files and anything but files (a link
    // counts as what it points to) are left out, as from `names`.
    QList<UndecodableName> undecodableSwfNames;
    // The folders (or links to folders) whose names aren't valid UTF-8, not
    // hidden, in the order of their bytes: what a walk into subfolders
    // can't enter.
    QList<UndecodableName> undecodableFolderNames;
};

// Lists the folder at `path`; `exists` is false (and nothing is listed) when
// there is no such folder.
FolderListing listFolder(const QString &path);

// Whether `bytes` are valid UTF-8 (no overlong form, no surrogate, nothing
// past U+10FFFF): whether a QString can name the file they name.
bool isValidUtf8(QByteArrayView bytes);

// `bytes` as text a person can read: each valid UTF-8 sequence as its
// character, every other byte as \xHH (two upper-case hex digits).
QString readableFileName(const QByteArray &bytes);

// `text` with its control characters (C0, DEL, C1) as \xHH, the form
// readableFileName() gives bad bytes: a file name can hold any of them, and
// a terminal would act on them (move, colour, retitle).
QString printableText(const QString &text);

// Whether a file name counts as an SWF file: its lower-case ".swf" ending.
bool hasSwfSuffix(const QString &name);
