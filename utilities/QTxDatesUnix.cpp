// The clock and sleep of QTxDates.h, on the POSIX calls.

#include "QTxDates.h"

#include <sys/time.h>
#include <unistd.h>

namespace QTx {

quint32 ticks()
{
    struct timeval now;
    ::gettimeofday(&now, nullptr);
    const qint64 milliseconds = qint64(now.tv_sec) * 1000 + now.tv_usec / 1000;
    return quint32(milliseconds);
}

void sleep(unsigned int milliseconds)
{
    ::usleep(milliseconds * 1000u);
}

} // namespace QTx
