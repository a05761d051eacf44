#include "SVNInterface.h"

#define SVNSCC_EXPORT __attribute__((visibility("default")))

extern "C" SVNSCC_EXPORT SourceCodeControlSystemProviderInterface*
AllocateSourceCodeControlSystemInterface()
{
    return new SVNInterface;
}

extern "C" SVNSCC_EXPORT void
ReleaseSourceCodeControlSystemInterface(SourceCodeControlSystemProviderInterface* provider)
{
    // The interface has no virtual destructor: destroy through the concrete class.
    delete static_cast<SVNInterface*>(provider);
}
