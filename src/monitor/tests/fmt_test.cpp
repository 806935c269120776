#include "monitor/fmt.h"

#include <gtest/gtest.h>

namespace tillory::monitor {
namespace {

TEST(Fmt, BytesScaleByBinaryUnitsWithOneDecimalBelowTen) {
    EXPECT_EQ(Fmt::bytes(1023), QStringLiteral("1023 B"));
    EXPECT_EQ(Fmt::bytes(1536), QStringLiteral("1.5 KB"));
    EXPECT_EQ(Fmt::bytes(10 * 1024), QStringLiteral("10 KB"));
    EXPECT_EQ(Fmt::bytes(12.4 * 1024 * 1024), QStringLiteral("12 MB"));
    EXPECT_EQ(Fmt::bytes(3.2 * 1024 * 1024 * 1024), QStringLiteral("3.2 GB"));
    EXPECT_EQ(Fmt::bytes(-5), QStringLiteral("0 B"));
    EXPECT_EQ(Fmt::bytes(2048.0 * 1024 * 1024 * 1024 * 1024), QStringLiteral("2048 TB")); // TB is the largest
}

TEST(Fmt, CompactRatesUseOneLetterUnits) {
    EXPECT_EQ(Fmt::compactRate(1.2 * 1024 * 1024), QStringLiteral("1.2M/s"));
    EXPECT_EQ(Fmt::compactRate(640 * 1024), QStringLiteral("640K/s"));
    EXPECT_EQ(Fmt::compactRate(0), QStringLiteral("0B/s"));
    EXPECT_EQ(Fmt::compactRate(-1), QStringLiteral("0B/s"));
}

TEST(Fmt, MinutesReadAsHoursAndMinutes) {
    EXPECT_EQ(Fmt::minutes(0), QStringLiteral("—"));
    EXPECT_EQ(Fmt::minutes(-1), QStringLiteral("—"));
    EXPECT_EQ(Fmt::minutes(45), QStringLiteral("45m"));
    EXPECT_EQ(Fmt::minutes(60), QStringLiteral("1h 0m"));
    EXPECT_EQ(Fmt::minutes(65), QStringLiteral("1h 5m"));
}

} // namespace
} // namespace tillory::monitor
