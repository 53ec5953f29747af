#include "VedraStatus.h"

namespace {

struct StatusEntry {
    VedraStatus value;
    const char* name;
};

#define VEDRA_STATUS_ENTRY(name, value) {value, "VEDRA_STATUS_" #name},
constexpr StatusEntry kStatusNames[] = {VEDRA_STATUS_LIST(VEDRA_STATUS_ENTRY)};
#undef VEDRA_STATUS_ENTRY

} // namespace

const char* StatusName(VedraStatus status)
{
    for (const StatusEntry& entry : kStatusNames) {
        if (entry.value == status)
            return entry.name;
    }
    return "???";
}
