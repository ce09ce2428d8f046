#pragma once

// varnel-tool: each subcommand lives in a tool_*.cpp of its own and registers itself here.
// A subcommand returns the process exit code: 0 success, 1 a file could not be read or
// written (the message names it), 2 bad arguments (a one-line usage message), 4 there was
// nothing to do (an export without a number to write).

#include <QStringList>

struct ToolCommand
{
    using Run = int (*)(const QStringList &args); // args after the subcommand name
    ToolCommand(const char *name, const char *usage, const char *summary, Run run);
    const char *name;
    const char *usage;   // e.g. "varnel-tool text FILE"
    const char *summary; // one line for --help
    Run run;
};

namespace Tool {
int usageError(const ToolCommand &cmd); // prints "usage: ..." to stderr, returns 2
int fileError(const QString &path, const QString &reason); // prints, returns 1
bool writeStdout(const QByteArray &bytes);

// Text that pages control, made safe to print: a control character (which could retitle,
// clear or rewrite a terminal) is printed as \xHH. escapeControls is for line-structured
// 8-bit output and keeps tabs, line feeds and CR LF line ends; printable is for one-line
// messages (UTF-8) and escapes every C0 and C1 control but the tab.
QByteArray escapeControls(const QByteArray &bytes);
QByteArray printable(const QString &text);
// A JSON string: quotes, backslashes and every control character escaped.
QByteArray jsonString(const QString &text);
} // namespace Tool
