#include "VedraDeviceCtrl.h"

#include <gtest/gtest.h>
#include <string.h>

namespace {

struct LayoutCase {
    const char* what;
    uint32_t blockCount;
    uint32_t block; // where a kind-2 element sits, or VEDRA_LAYOUT_MAX_BLOCKS for none
    bool secondArray;
    uint32_t element;
    bool expected;
};

TEST(LayoutHasChannelKind2, LooksOnlyAtTheBlocksCountedAndHeld)
{
    const LayoutCase cases[] = {
        {"0 blocks, kind 2 in block 0", 0, 0, false, 0, false},
        {"1 block, kind 2 in its first array", 1, 0, false, 15, true},
        {"1 block, kind 2 in its second array", 1, 0, true, 0, true},
        {"2 blocks, kind 2 in the uncounted third", 2, 2, false, 3, false},
        {"30 blocks claimed, kind 2 in the last held", 30, 9, true, 15, true},
        {"30 blocks claimed, none of kind 2", 30, VEDRA_LAYOUT_MAX_BLOCKS, false, 0, false},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.what);
        VedraChannelLayout layout;
        memset(&layout, 0, sizeof(layout));
        for (VedraLayoutBlock& block : layout.blocks) {
            for (uint32_t j = 0; j < VEDRA_LAYOUT_ELEMENTS; ++j) {
                block.first[j].kind = 1;
                block.second[j].kind = 1;
            }
        }
        // The tail after the last block reads as kind 2 to a reader that
        // runs past the record's ten blocks.
        for (uint32_t i = 0; i + 4 <= sizeof(layout.tail); i += 4) {
            uint32_t two = 2;
            memcpy(layout.tail + i, &two, 4);
        }
        layout.blockCount = c.blockCount;
        if (c.block < VEDRA_LAYOUT_MAX_BLOCKS) {
            VedraLayoutBlock& block = layout.blocks[c.block];
            (c.secondArray ? block.second : block.first)[c.element].kind = 2;
        }
        EXPECT_EQ(c.expected, LayoutHasChannelKind2(layout));
    }
}

} // namespace
