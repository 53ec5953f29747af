#pragma once
#include <gtest/gtest.h>

#include "SimHarness.h"

// Each test resets the simulated driver to the scenario it needs and reads
// the journal from that point on.
class SimTest : public ::testing::Test {
protected:
    void Start(uint32_t scenario)
    {
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Open()) << "the simulated driver is not installed";
        ASSERT_EQ(VEDRA_STATUS_SUCCESS, sim.Reset(scenario));
        mark = sim.Mark();
    }

    // Journal entries from this process since the last Start or Remark.
    std::vector<VedraSimJournalEntry> Journal()
    {
        std::vector<VedraSimJournalEntry> mine;
        for (const VedraSimJournalEntry& entry : sim.Since(mark)) {
            if (entry.processId == GetCurrentProcessId())
                mine.push_back(entry);
        }
        return mine;
    }

    void Remark() { mark = sim.Mark(); }

    SimControl sim;
    uint32_t mark = 0;
};

inline VedraSimUnitSpec UnitSpec(const wchar_t* serial, uint16_t variant, uint32_t flags = 0)
{
    VedraSimUnitSpec unitSpec = {};
    unitSpec.flags = flags;
    unitSpec.variant = variant;
    for (uint32_t i = 0; serial[i] != L'\0' && i < VEDRA_SERIAL_NUMBER_CHARS; ++i)
        unitSpec.serialNumber[i] = serial[i];
    return unitSpec;
}
