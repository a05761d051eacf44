#include "ClientLog.h"

#include <QLoggingCategory>
#include <QtGlobal>

namespace {

const char s_category[] = "svnscc.client";

} // namespace

void enableClientLog()
{
    QLoggingCategory::setFilterRules(QLatin1String(s_category) + QStringLiteral(".debug=true"));
}

bool isClientLog(const QMessageLogContext& context)
{
    return context.category && qstrcmp(context.category, s_category) == 0;
}
