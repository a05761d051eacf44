// Must not compile: the provider's own headers are not on a host's or the
// session's include path.
#include "SVNInterface.h"

int main()
{
    return 0;
}
