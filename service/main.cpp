#include "ServiceCommandLine.h"
#include "ServiceHost.h"
#include "VedraService.h"

// Built before the entry point runs and torn down after it returns, in
// reverse order: the service goes before the host that lists it.
static ServiceHost theServiceHost;
static bool theConsoleMode = false;
static VedraService theService;

int wmain(int argc, wchar_t** argv)
{
    return RunServiceCommandLine(argc, argv, theServiceHost, theConsoleMode, theService);
}
