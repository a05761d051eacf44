#pragma once

#include <svnscc/SourceCodeControlSystemProviderInterface3.h>

#include <QString>
#include <QStringList>

/**
 * The three-way merge tool scc-browser starts for a file in text conflict.
 *
 * The tool is a command line with the placeholders {base}, {mine},
 * {theirs} and {merged} (the common ancestor's file, the local text's
 * file, the incoming text's file, and the conflicted file itself, which the
 * tool writes its result to), each replaced by one whole absolute path, so
 * that blanks in a path stay inside one argument. It comes from the
 * environment variable SCC_MERGE_TOOL, else the setting "mergeTool" of
 * scc-browser (QSettings, organization "svnscc"), else meld when it is installed
 * (defaultCommandLine()).
 */
class MergeTool
{
public:
    /** A program and its arguments, or why there is none. */
    struct Command
    {
        QString program;
        QStringList arguments;
        QString error; ///< not empty: nothing can be started, and why
    };

    /** meld's three panes with the result written to the conflicted file. */
    static QString defaultCommandLine();

    /** The command line configured as the class comment says; "" when none is and meld is not installed. */
    static QString configuredCommandLine();

    /**
     * The command for the text conflict @p conflict of @p path (both
     * relative to @p localRoot) with @p commandLine. An error when the
     * command line is empty or the conflict is no text conflict.
     */
    static Command command(const QString& commandLine, const QString& localRoot, const QString& path,
                           const SourceCodeControl::ConflictInfo& conflict);

    /**
     * Starts @p command detached in @p localRoot (never waiting for it);
     * false with @p error saying why when it cannot be started.
     */
    static bool start(const Command& command, const QString& localRoot, QString& error);
};
