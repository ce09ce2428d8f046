#pragma once

// varnel-tool: each subcommand lives in a tool_*.cpp of its own and registers itself here.
// A subcommand returns the process exit code: 0 success, 1 a file could not be read or
// written (the message names it), 2 bad arguments (a one-line usage message).

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
} // namespace Tool
