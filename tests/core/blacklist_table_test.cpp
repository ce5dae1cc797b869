#include "core/blacklist_table.h"

#include <cstdint>

#include <gtest/gtest.h>

#include "core/memory_table.h"

namespace ostrivane {
namespace {

// A colour as the window's drawing stores it: blue, green, red (0x00BBGGRR).
constexpr std::uint32_t packedBgr(Rgb colour) {
    return std::uint32_t{colour.blue} << 16 | std::uint32_t{colour.green} << 8 | colour.red;
}

TEST(Colours, MatchTheValuesOfTheDrawing) {
    EXPECT_EQ(packedBgr(kWhite), 16777215u);
    EXPECT_EQ(packedBgr(kBlack), 0u);
    EXPECT_EQ(packedBgr(kCyan), 16776960u);
    EXPECT_EQ(packedBgr(kDarkRed), 107u);
}

TEST(Highlight, QueryingKeepsTheTextColour) {
    MemoryTable table;
    applyHighlight(table, 0, RowHighlight::Listed);
    EXPECT_EQ(table.background(0), kDarkRed);
    EXPECT_EQ(table.textColour(0), kWhite);
    applyHighlight(table, 0, RowHighlight::Querying);
    EXPECT_EQ(table.background(0), kCyan);
    EXPECT_EQ(table.textColour(0), kWhite);
    applyHighlight(table, 0, RowHighlight::Plain);
    EXPECT_EQ(table.background(0), kWhite);
    EXPECT_EQ(table.textColour(0), kBlack);
}

TEST(Defaults, SixteenListsThenFourEmptyRows) {
    MemoryTable table;
    loadDefaultBlacklists(table);
    EXPECT_EQ(table.name(0), "CBL");
    EXPECT_EQ(table.zone(0), "cbl.abuseat.org");
    EXPECT_EQ(table.name(10), "SPEWS Level 1");
    EXPECT_EQ(table.name(12), "UCEPROTECTL1");
    EXPECT_EQ(table.name(15), "PSBL");
    EXPECT_EQ(table.zone(15), "psbl.surriel.com");
    for (int row = 0; row < 16; ++row) {
        EXPECT_FALSE(table.name(row).empty()) << row;
        EXPECT_FALSE(table.zone(row).empty()) << row;
    }
    for (int row = 16; row < kRowCount; ++row) {
        EXPECT_EQ(rowOf(table, row), BlacklistRow{}) << row;
    }
}

TEST(Defaults, ReplaceNamesAndZonesButKeepResultsAndColours) {
    MemoryTable table;
    table.setName(17, "mine");
    table.setZone(17, "mine.example");
    table.setResult(3, "Listed: 127.0.0.2");
    applyHighlight(table, 3, RowHighlight::Listed);
    loadDefaultBlacklists(table);
    EXPECT_EQ(table.name(17), "");
    EXPECT_EQ(table.zone(17), "");
    EXPECT_EQ(table.result(3), "Listed: 127.0.0.2");
    EXPECT_EQ(table.background(3), kDarkRed);
}

TEST(ClearTable, EmptiesEveryCellAndMakesEveryRowPlain) {
    MemoryTable table;
    loadDefaultBlacklists(table);
    for (int row = 0; row < kRowCount; ++row) {
        table.setResult(row, "x");
        applyHighlight(table, row, RowHighlight::Listed);
    }
    clearTable(table);
    for (int row = 0; row < kRowCount; ++row) {
        EXPECT_EQ(rowOf(table, row), BlacklistRow{}) << row;
    }
}

}  // namespace
}  // namespace ostrivane
