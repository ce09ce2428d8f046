#pragma once

#include <QByteArrayView>
#include <QString>

// The two page files of fetch slot N in the data directory: "html" N ".txt" (the body as
// received, then CR LF) and "html2" N ".txt" (the body without CR and LF, then CR LF; once
// the page has been analysed, its text lines).
//
// Those names hold for slots 0 to 9 (html0.txt .. html9.txt, html20.txt .. html29.txt).
// From slot 10 on, "html2" N would clash with them (slot 0's second file is html20.txt), so
// a dash separates the number: "html-" N ".txt" and "html2-" N ".txt" (html-10.txt,
// html2-10.txt). No name of the one form is a name of the other, and every slot number
// gives names of its own.
QString pageFile1(const QString &dataDir, int slot);
QString pageFile2(const QString &dataDir, int slot);

// Writes text and then suffix over a page file's old content and cuts the file to length.
// Emptying the file first makes common file systems write it out at once, and a new file
// costs a fresh inode for every page; plain system calls keep it to four per file. A link,
// pipe or device in the file's place is replaced by a file, never written through.
bool writePageFile(const QString &path, QByteArrayView text, QByteArrayView suffix = "\r\n");
