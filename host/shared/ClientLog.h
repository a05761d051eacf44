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
 * Turns the command log on for the whole process, with a filter rule set
 * through QLoggingCategory::setFilterRules() (which replaces rules set so
 * before; QT_LOGGING_RULES still wins over it).
 */
void enableClientLog();

/** Whether a message, as a message handler is given it, is a line of the command log. */
bool isClientLog(const QMessageLogContext& context);
