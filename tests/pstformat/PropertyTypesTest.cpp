// PropertyTypesTest.cpp: stored widths of the property types and where PCs and TCs keep them.
#include "pstformat/PropertyTypes.h"

#include <gtest/gtest.h>

#include <optional>

namespace krv::test {
namespace {

using namespace krv::pstformat;

TEST(PropertyTypes, StoredWidthsFollowTheDataTypeTable)
{
    struct Case {
        uint32_t type;
        std::optional<size_t> width;
        bool inPc;
        size_t cell;
    };
    const Case cases[] = {
        {kPtypBoolean, 1, true, 1},
        {kPtypInteger16, 2, true, 2},
        {kPtypInteger32, 4, true, 4},
        {kPtypFloating32, 4, true, 4},
        // A stored SCODE has the width of PtypInteger32 in a record and in a table cell.
        {kPtypErrorCode, 4, true, 4},
        {kPtypFloating64, 8, false, 8},
        {kPtypCurrency, 8, false, 8},
        {kPtypFloatingTime, 8, false, 8},
        {kPtypInteger64, 8, false, 8},
        {kPtypTime, 8, false, 8},
        {kPtypGuid, 16, false, 4},
        {kPtypString8, std::nullopt, false, 4},
        {kPtypString, std::nullopt, false, 4},
        {kPtypBinary, std::nullopt, false, 4},
        {kPtypObject, std::nullopt, false, 4},
        // Variable structures of the messaging layer, kept as their bytes.
        {kPtypServerId, std::nullopt, false, 4},
        {kPtypRestriction, std::nullopt, false, 4},
        {kPtypRuleAction, std::nullopt, false, 4},
        // Multi-valued forms of fixed types are arrays: variable.
        {kPtypMultipleFlag | kPtypInteger32, std::nullopt, false, 4},
        {kPtypMultipleFlag | kPtypTime, std::nullopt, false, 4},
        {kPtypUnspecified, std::nullopt, false, 4},
        {kPtypNull, std::nullopt, false, 4},
        {0x0008, std::nullopt, false, 4},
        // Bits above the 16 of a type must not alias a real one.
        {0x10003, std::nullopt, false, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(StoredWidth(c.type), c.width);
        EXPECT_EQ(IsInlineInPc(c.type), c.inPc);
        EXPECT_EQ(TcCellWidth(c.type), c.cell);
    }
}

} // namespace
} // namespace krv::test
