// Path::removeRelativePaths on arbitrary text: no crash, and a normalised
// path is a fixed point (normalising it again changes nothing).

#include "FuzzSupport.h"
#include "Path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString once = latin1Text(data, size);
    Path::removeRelativePaths(once);
    QString twice = once;
    Path::removeRelativePaths(twice);
    if (twice != once) {
        std::fprintf(stderr, "input  [%s]\nonce   [%s]\ntwice  [%s]\n",
                     latin1Text(data, size).toLatin1().constData(), once.toLatin1().constData(),
                     twice.toLatin1().constData());
    }
    FUZZ_CHECK(twice == once, "normalising twice changed the path again");
    FUZZ_CHECK(!once.contains(QLatin1String("//")), "a run of slashes survived");
    return 0;
}
