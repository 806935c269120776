#include "platform/linux/proc_parsers.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include <string>

namespace tillory::platform::nix {
namespace {

constexpr const char* kTooBig = "18446744073709551616"; // 2^64
constexpr std::uint64_t kMax = UINT64_MAX;

TEST(ParseUnsigned, AcceptsOnlyWholeDecimalNumbersThatFit) {
    EXPECT_EQ(parseUnsigned("0"), 0u);
    EXPECT_EQ(parseUnsigned("18446744073709551615"), kMax);
    for (const char* bad : {"", kTooBig, "-1", "+1", "12a", " 12", "0x10", "1.5"}) {
        EXPECT_FALSE(parseUnsigned(bad)) << bad;
    }
}

TEST(ParseCpuStat, MapsTheKernelColumnsOntoFourKinds) {
    // user nice system idle iowait irq softirq steal guest guest_nice
    const auto stat = parseCpuStat("cpu  100 2 30 400 5 6 7 8 90 1\n"
                                   "cpu0 60 1 20 150 3 4 5 6 0 0\n"
                                   "cpu1 40 1 10 250 2 2 2 2 0 0\n"
                                   "intr 1 2 3\nctxt 99\n");
    ASSERT_TRUE(stat.total);
    EXPECT_EQ(*stat.total, (CpuTicks{.user = 100, .system = 30 + 6 + 7, .idle = 400 + 5 + 8, .nice = 2}));
    ASSERT_TRUE(stat.processors);
    ASSERT_EQ(stat.processors->size(), 2u);
    EXPECT_EQ((*stat.processors)[1], (CpuTicks{.user = 40, .system = 14, .idle = 254, .nice = 1}));
    EXPECT_EQ(stat.processorLines, 2);
}

TEST(ParseCpuStat, OlderKernelsWithFourColumnsStillCount) {
    const auto stat = parseCpuStat("cpu 1 2 3 4\ncpu0 1 2 3 4\n");
    EXPECT_EQ(stat.total, (CpuTicks{.user = 1, .system = 3, .idle = 4, .nice = 2}));
}

TEST(ParseCpuStat, AMalformedProcessorLineDropsTheWholeListButNotTheCount) {
    for (const char* bad : {"cpu1 1 2 x 4 5 6 7 8\n", "cpu1 1 2\n", "cpu1\n", "cpu1 18446744073709551616 0 0 0\n"}) {
        const auto stat = parseCpuStat(std::string("cpu 1 2 3 4 5 6 7 8\ncpu0 1 2 3 4 5 6 7 8\n") + bad);
        EXPECT_TRUE(stat.total) << bad;
        EXPECT_FALSE(stat.processors) << bad;
        EXPECT_EQ(stat.processorLines, 2) << bad;
    }
}

TEST(ParseCpuStat, SumsThatOverflowGiveNothing) {
    const std::string max = std::to_string(kMax);
    EXPECT_FALSE(parseCpuStat("cpu 0 0 " + max + " 0 0 1 0 0\n").total) << "system + irq";
    EXPECT_FALSE(parseCpuStat("cpu 0 0 0 " + max + " 0 0 0 1\n").total) << "idle + steal";
    EXPECT_TRUE(parseCpuStat("cpu " + max + " 0 0 0 0 0 0 0\n").total) << "a lone maximum still fits";
}

TEST(ParseCpuStat, EmptyOrForeignTextGivesNothingAndNoProcessors) {
    for (const char* text : {"", "\n\n", "cpux 1 2 3 4\ncpu", "intr 1 2 3\n"}) {
        const auto stat = parseCpuStat(text);
        EXPECT_FALSE(stat.total) << text;
        ASSERT_TRUE(stat.processors) << text;
        EXPECT_TRUE(stat.processors->empty()) << text;
        EXPECT_EQ(stat.processorLines, 0) << text;
    }
}

TEST(ParseMeminfo, ReadsKilobyteValuesAsBytes) {
    const auto info = parseMeminfo("MemTotal:       1000 kB\nMemFree:  200 kB\nHugePages_Total:   5\n"
                                   "Buffers: 10 kB\nCached: 20 kB\nSReclaimable: 30 kB\nAnonPages: 400 kB\n");
    EXPECT_EQ(info.memTotal, 1000u * 1024);
    EXPECT_EQ(info.memFree, 200u * 1024);
    EXPECT_EQ(info.anonPages, 400u * 1024);
    EXPECT_FALSE(info.zswap);
    EXPECT_FALSE(info.swapTotal);
}

TEST(ParseMeminfo, MalformedValuesAreAbsent) {
    const auto info = parseMeminfo("MemTotal: 12\nMemFree: x kB\nBuffers: 18014398509481984 kB\n"
                                   "Cached: 5 MB\nAnonPages: 1 kB trailing\nSwapTotal:");
    EXPECT_FALSE(info.memTotal) << "no unit: a truncated line";
    EXPECT_FALSE(info.memFree);
    EXPECT_FALSE(info.buffers) << "overflows when scaled to bytes";
    EXPECT_FALSE(info.cached);
    EXPECT_FALSE(info.anonPages);
    EXPECT_FALSE(info.swapTotal);
}

TEST(VmStatisticsFrom, SplitsUsedMemoryIntoAnonymousWiredAndCompressed) {
    const MemInfo info{.memTotal = 100 * 4096,
                       .memFree = 20 * 4096,
                       .buffers = 5 * 4096,
                       .cached = 10 * 4096,
                       .sReclaimable = 3 * 4096,
                       .anonPages = 40 * 4096,
                       .zswap = 2 * 4096};
    const auto vm = vmStatisticsFrom(info, 4096);
    ASSERT_TRUE(vm);
    EXPECT_EQ(vm->internalPages, 40u);
    EXPECT_EQ(vm->purgeablePages, 0u);
    EXPECT_EQ(vm->externalPages, 5u + 10 + 3);
    EXPECT_EQ(vm->compressorPages, 2u);
    EXPECT_EQ(vm->wiredPages, 100u - 20 - (5 + 10 + 3) - 40 - 2);
    EXPECT_EQ(vm->internalPages + vm->wiredPages + vm->compressorPages, 100u - 20 - (5 + 10 + 3))
        << "without MemAvailable, used is what is neither free nor cache";

    MemInfo current = info;
    current.memAvailable = 30 * 4096; // part of the cache cannot be dropped (shared memory, for one)
    const auto withAvailable = vmStatisticsFrom(current, 4096);
    ASSERT_TRUE(withAvailable);
    EXPECT_EQ(withAvailable->internalPages + withAvailable->wiredPages + withAvailable->compressorPages, 100u - 30)
        << "anonymous + wired + compressed is what free(1) calls used: total - available";
    EXPECT_EQ(withAvailable->externalPages, 5u + 10 + 3);
}

TEST(VmStatisticsFrom, WiredNeverGoesNegativeAndMissingKeysGiveNothing) {
    MemInfo info{.memTotal = 100, .memFree = 10, .buffers = 50, .cached = 50, .anonPages = 50};
    ASSERT_TRUE(vmStatisticsFrom(info, 1));
    EXPECT_EQ(vmStatisticsFrom(info, 1)->wiredPages, 0u);
    EXPECT_FALSE(vmStatisticsFrom(info, 0)) << "no page size";
    info.memFree = 101;
    EXPECT_FALSE(vmStatisticsFrom(info, 1)) << "more free than total";
    info.memFree = 10;
    info.cached.reset();
    EXPECT_FALSE(vmStatisticsFrom(info, 1)) << "a truncated file must not read as all-wired";
    info.cached = kMax;
    EXPECT_FALSE(vmStatisticsFrom(info, 1)) << "cache sum overflows";
}

TEST(SwapUsageFrom, UsedIsTotalLessFreeAndNeverWraps) {
    EXPECT_EQ(swapUsageFrom({.swapTotal = 100, .swapFree = 30}), (SwapUsage{.totalBytes = 100, .usedBytes = 70}));
    EXPECT_EQ(swapUsageFrom({.swapTotal = 10, .swapFree = 30}), (SwapUsage{.totalBytes = 10, .usedBytes = 0}));
    EXPECT_FALSE(swapUsageFrom({.swapTotal = 10}));
}

TEST(ParseDiskStats, SectorsBecomeBytesAndShortLinesAreSkipped) {
    const auto lines = parseDiskStats(" 254 0 vda 1 2 300 4 5 6 700 8 9 10 11\n"
                                      " 254 1 vda1 1 2 300\n"
                                      "   8 0 sda 1 2 x 4 5 6 36028797018963968 8 9 10 11\n"
                                      "maj 0 sdb 1 2 3 4 5 6 7 8 9 10 11\n"
                                      "\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].name, "vda");
    EXPECT_EQ(lines[0].bytesRead, 300u * 512);
    EXPECT_EQ(lines[0].bytesWritten, 700u * 512);
    EXPECT_EQ(lines[1].name, "sda");
    EXPECT_FALSE(lines[1].bytesRead) << "non-numeric";
    EXPECT_FALSE(lines[1].bytesWritten) << "overflows at 512 bytes a sector";
}

TEST(ParseNetDev, TakesReceivedAndTransmittedBytesAndSkipsHeaders) {
    const auto lines = parseNetDev("Inter-|   Receive                |  Transmit\n"
                                   " face |bytes    packets errs|bytes    packets\n"
                                   "    lo:    6686      61    0    0    0     0          0         0     6686\n"
                                   "  eth0:80370345 1907 0 0 0 0 0 0 99196 1092 0 0 0 0 0 0\n"
                                   "  wlan0: 1 2 3\n"
                                   "  bad0: 1 2 3 4 5 6 7 8 nine\n"
                                   "   : 1 2 3 4 5 6 7 8 9\n"
                                   " face |bytes e: 1 2 3 4 5 6 7 8 9\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].name, "lo");
    EXPECT_EQ(lines[0].txBytes, 6686u);
    EXPECT_EQ(lines[1].name, "eth0") << "old kernels glue large counters to the colon";
    EXPECT_EQ(lines[1].rxBytes, 80370345u);
    EXPECT_EQ(lines[1].txBytes, 99196u);
}

TEST(ParseMountInfo, ReadsTypeSourceAndReadOnlyPastOptionalFields) {
    const auto lines = parseMountInfo("27 1 254:0 / / rw,relatime shared:1 master:2 - ext4 /dev/vda rw,discard\n"
                                      "36 27 11:0 / /media/u/My\\040Disc ro,nosuid - iso9660 /dev/sr0 rw\n"
                                      "37 27 8:1 / /mnt/x rw,relatime - ext4 /dev/sdb1 ro,errors=remount-ro\n"
                                      "38 27 8:2 / /mnt/y rw,robust - ext4 /dev/sdb2 rw,noro\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].mountPoint, "/");
    EXPECT_EQ(lines[0].fsType, "ext4");
    EXPECT_EQ(lines[0].source, "/dev/vda");
    EXPECT_FALSE(lines[0].readOnly);
    EXPECT_EQ(lines[1].mountPoint, "/media/u/My Disc");
    EXPECT_TRUE(lines[1].readOnly) << "read-only mount";
    EXPECT_TRUE(lines[2].readOnly) << "read-only file system";
    EXPECT_FALSE(lines[3].readOnly) << "only a whole \"ro\" option counts";
}

TEST(ParseMountInfo, TruncatedLinesAreSkipped) {
    for (const char* text : {"27 1 254:0 / / rw shared:1\n", "27 1 254:0 / / rw - ext4\n", "27 1 254:0 /\n", ""}) {
        EXPECT_TRUE(parseMountInfo(text).empty()) << text;
    }
}

TEST(UnescapeOctal, DecodesOnlyCompleteEscapes) {
    EXPECT_EQ(unescapeOctal("a\\040b\\011c\\134d"), "a b\tc\\d");
    EXPECT_EQ(unescapeOctal("x\\04"), "x\\04");
    EXPECT_EQ(unescapeOctal("x\\089"), "x\\089");
    EXPECT_EQ(unescapeOctal("end\\"), "end\\");
}

TEST(ParsePidStat, NameRunsToTheLastParenthesis) {
    const auto stat = parsePidStat("4242 (odd) (name x) R 1 4242 4242 0 -1 4194304 300 0 0 0 250 75 0 0 20 0 3 0 "
                                   "9000 9000000 1200 18446744073709551615 1 1\n");
    ASSERT_TRUE(stat);
    EXPECT_EQ(stat->comm, "odd) (name x");
    EXPECT_EQ(stat->cpuTicks, 250u + 75);
    EXPECT_EQ(stat->rssPages, 1200u);
    EXPECT_FALSE(stat->isKernelThread);
    // kthreadd: flags 0x208040 carry PF_KTHREAD (0x200000).
    const auto kernel = parsePidStat("2 (kthreadd) S 0 0 0 0 -1 2129984 0 0 0 0 0 12 0 0 20 0 1 0 10 0 0 1 0\n");
    ASSERT_TRUE(kernel);
    EXPECT_TRUE(kernel->isKernelThread);
}

TEST(ParsePidStatm, PrivatePagesAreResidentLessShared) {
    const std::pair<const char*, std::optional<std::uint64_t>> cases[] = {
        {"42000 3170 1050 200 0 5000 0\n", 2120},
        {"10 5 9 0 0 0 0\n", 0}, // shared read a moment after resident can exceed it
        {"10 5\n", std::nullopt},
        {"10 x 1 0 0 0 0\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, pages] : cases) {
        EXPECT_EQ(parsePidStatmPrivatePages(text), pages) << text;
    }
}

TEST(ParsePidStat, BrokenLinesGiveNothing) {
    const std::string max = std::to_string(kMax);
    const std::string tail = " 0 0 20 0 3 0 9000 9000000 1200\n";
    for (const std::string& bad :
         {std::string(), std::string("1 (x"), std::string("1 x) S 1 (y"), std::string("77 (half) S 1 77 77 0 -1 4\n"),
          "1 (x) S 1 1 1 0 -1 0 0 0 0 0 ab 75" + tail, "1 (x) S 1 1 1 0 -1 0 0 0 0 0 " + max + " 1" + tail,
          std::string("1 (x) S 1 1 1 0 -1 0 0 0 0 0 1 1 0 0 20 0 3 0 9000 9000000 -5\n")}) {
        EXPECT_FALSE(parsePidStat(bad)) << bad;
    }
}

TEST(ParsePidIo, TakesStorageBytesAndZeroesWhatIsMissing) {
    const auto io = parsePidIo("rchar: 6976\nwchar: 10\nread_bytes: 4096\nwrite_bytes: 8192\n");
    EXPECT_EQ(io.readBytes, 4096u);
    EXPECT_EQ(io.writeBytes, 8192u);
    const auto broken = parsePidIo("read_bytes: 18446744073709551616\nwrite_bytes:");
    EXPECT_EQ(broken.readBytes, 0u);
    EXPECT_EQ(broken.writeBytes, 0u);
    EXPECT_EQ(parsePidIo("").readBytes, 0u);
}

TEST(ParseCommandLine, ArgumentsJoinedByOneSpaceAndControlBytesDropped) {
    using namespace std::string_literals;
    const std::pair<std::string, std::string> cases[] = {
        {"/usr/bin/Xvfb\0:99\0-screen\0\x30\0"s, "/usr/bin/Xvfb :99 -screen 0"},
        {"sh\0-c\0echo a\nb\tc\0"s, "sh -c echo a b c"},
        {"\0\0lead\0\0\0trail\0\0"s, "lead trail"},
        {"caf\xc3\xa9\0\x7f\x1b[31m\0"s, "caf\xc3\xa9 [31m"}, // an escape sequence cannot colour the row
        {""s, ""},
        {"\0\0\0"s, ""},
        {std::string(5000, 'a'), std::string(4096, 'a')},
    };
    for (const auto& [bytes, line] : cases) {
        EXPECT_EQ(parseCommandLine(bytes), line) << line;
    }
}

TEST(ParseSysfsInteger, OneSignedNumberWithItsNewline) {
    EXPECT_EQ(parseSysfsInteger("45000\n"), 45000);
    EXPECT_EQ(parseSysfsInteger("-5000\n"), -5000);
    for (const char* bad : {"", "\n", "N/A\n", "12 34\n", "9223372036854775808\n", "0x10"}) {
        EXPECT_FALSE(parseSysfsInteger(bad)) << bad;
    }
    EXPECT_DOUBLE_EQ(*parseMillidegrees("52125\n"), 52.125);
    EXPECT_FALSE(parseMillidegrees("hot\n"));
}

TEST(ParseOsReleaseName, UndoesQuotesAndEscapes) {
    EXPECT_EQ(parseOsReleaseName("PRETTY_NAME=\"A 1\"\nNAME=\"A \\\"B\\\"\"\n"), "A \"B\"");
    EXPECT_EQ(parseOsReleaseName("NAME=Plain\n"), "Plain");
    EXPECT_EQ(parseOsReleaseName("NAME='Single'\n"), "Single");
    EXPECT_EQ(parseOsReleaseName("ID=x\n"), "");
    EXPECT_EQ(parseOsReleaseName("NAME=\"\n"), "\"") << "an unbalanced quote is kept, not read past";
}

TEST(UnescapeHex, DecodesUdevEscapes) {
    EXPECT_EQ(unescapeHex("My\\x20Disc"), "My Disc");
    EXPECT_EQ(unescapeHex("a\\x2Fb"), "a/b");
    EXPECT_EQ(unescapeHex("bad\\x2"), "bad\\x2");
    EXPECT_EQ(unescapeHex("bad\\xZZ"), "bad\\xZZ");
}

} // namespace
} // namespace tillory::platform::nix
