#include "ClientLog.h"

#include <QLoggingCategory>
#include <QtGlobal>

namespace {

const char s_category[] = "svnscc.client";
QLoggingCategory::CategoryFilter s_previousFilter = nullptr;

// Qt runs the filter for every category when it is made and whenever the
// rules change: the filter installed before this one (which applies the
// host's and the user's rules) first, then the command log's debug lines on.
void enableClientCategory(QLoggingCategory* category)
{
    if (s_previousFilter)
        s_previousFilter(category);
    if (qstrcmp(category->categoryName(), s_category) == 0)
        category->setEnabled(QtDebugMsg, true);
}

} // namespace

void enableClientLog()
{
    static const bool installed = [] {
        s_previousFilter = QLoggingCategory::installFilter(enableClientCategory);
        return true;
    }();
    Q_UNUSED(installed);
}

bool isClientLog(const QMessageLogContext& context)
{
    return context.category && qstrcmp(context.category, s_category) == 0;
}
