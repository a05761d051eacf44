#pragma once

class QMessageLogContext;

/**
 * @file
 * The plug-in's command log, as a host sees it: the provider logs every svn
 * run it starts (where and what runs, the password shown as "******"), how
 * each ended, and the decisions it takes, in the Qt logging category
 * "svnscc.client" at debug level, through the host's message handler
 * (qInstallMessageHandler()). The category is off unless a host or the user
 * turns it on.
 */

/**
 * Turns the command log on for the whole process, adding to the host's
 * logging rules rather than replacing them: it installs a category filter
 * (QLoggingCategory::installFilter()) that runs the filter installed before
 * it, and so every rule of the host and the user (setFilterRules(),
 * QT_LOGGING_RULES, qtlogging.ini), set before or after, and then turns on
 * the debug lines of "svnscc.client" alone. Calling it again does nothing.
 */
void enableClientLog();

/** Whether a message, as a message handler is given it, is a line of the command log. */
bool isClientLog(const QMessageLogContext& context);
