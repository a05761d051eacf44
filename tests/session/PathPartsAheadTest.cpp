// The parts of a long status pass's paths, split ahead of the reads.

#include "PathPartsAhead.h"

#include <gtest/gtest.h>

using SvnScc::PathPartsAhead;

TEST(PathPartsAhead, GivesEachPathsPartsInOrderAndStopsWhenDroppedHalfWay)
{
    // More chunks than are kept ahead, the last one short.
    QStringList paths;
    const qsizetype count = PathPartsAhead::Chunk * (PathPartsAhead::MaxChunksAhead + 3) + 7;
    for (qsizetype i = 0; i < count; ++i)
        paths << QStringLiteral("d%1/f%2.c").arg(i / 50).arg(i % 50);
    const auto split = [](const QString& path) { return path.split(QLatin1Char('/')); };
    {
        PathPartsAhead ahead(paths, split);
        for (qsizetype i = 0; i < count; ++i)
            ASSERT_EQ(ahead.take(i), paths.at(i).split(QLatin1Char('/'))) << i;
    }
    // A pass cancelled half-way: the thread, waiting for room, ends.
    PathPartsAhead dropped(paths, split);
    EXPECT_EQ(dropped.take(0), QStringList({"d0", "f0.c"}));
}
