#include "VedraStatus.h"
#include "WnEvent.h"

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    (void)argc;
    (void)argv;
    std::wprintf(L"tarvinesvc: Tarvine control service\n");
    return 0;
}
