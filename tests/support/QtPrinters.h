#pragma once

// Readable GoogleTest failure messages for Qt values. A null QString prints
// as <null> so that null and empty stay apart in the output.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os)
{
    if (s.isNull())
        *os << "<null>";
    else
        *os << '"' << s.toStdString() << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '{';
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i)
            *os << ", ";
        PrintTo(list[i], os);
    }
    *os << '}';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    *os << "bytes(" << bytes.toHex(' ').toStdString() << ')';
}
QT_END_NAMESPACE
