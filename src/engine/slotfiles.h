#pragma once

#include <QString>

// The names of a fetch slot's two page files in the data directory.
//
// Slots 0 to 9 keep the names scripts and users know: "html" N ".txt" and "html2" N ".txt"
// (html0.txt .. html9.txt, html20.txt .. html29.txt). From slot 10 on, "html2" N would
// clash with those (slot 0's second file is html20.txt), so a dash separates the number:
// "html-" N ".txt" and "html2-" N ".txt" (html-10.txt, html2-10.txt). No name of the one
// form can be a name of the other, and every slot number gives distinct names.
namespace SlotFiles {

QString firstName(int slot);  // the body as received
QString secondName(int slot); // the body without line breaks, later the page's text

} // namespace SlotFiles
