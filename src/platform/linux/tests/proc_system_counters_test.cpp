#include "platform/linux/proc_system_counters.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tillory::platform::nix {
namespace {

const QString kTree = QStringLiteral(TILLORY_SYSTEM_FIXTURES "/workstation");

std::uint64_t pageSize() {
    return static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}
constexpr std::uint64_t kKiB = 1024;

// Answers statvfs from a table and remembers what was asked, so the tests see which mounts were touched.
struct FakeFileSystems {
    std::map<std::string, FileSystemSpace> spaces;
    std::vector<std::string> asked;

    FileSystemStat function() {
        return [this](const std::string& path) -> std::optional<FileSystemSpace> {
            asked.push_back(path);
            const auto it = spaces.find(path);
            return it == spaces.end() ? std::nullopt : std::optional(it->second);
        };
    }
};

ProcSystemCounters fixtureCounters(FileSystemStat stat = {}) {
    return ProcSystemCounters(kTree + QStringLiteral("/proc"), kTree + QStringLiteral("/sys"),
                              kTree + QStringLiteral("/root"), std::move(stat));
}

TEST(ProcSystemCountersFixture, ProcessorTicksFoldIrqIntoSystemAndStealIntoIdle) {
    auto counters = fixtureCounters();
    // cpu  661590 17 128650 668112 3955 40 595 2320 0 0
    EXPECT_EQ(counters.cpuLoad(),
              (CpuTicks{.user = 661590, .system = 128650 + 40 + 595, .idle = 668112 + 3955 + 2320, .nice = 17}));
    const auto processors = counters.processorLoad();
    ASSERT_TRUE(processors);
    ASSERT_EQ(processors->size(), 2u);
    // cpu1 334839 7 67161 326238 2767 15 491 1189 0 0
    EXPECT_EQ((*processors)[1],
              (CpuTicks{.user = 334839, .system = 67161 + 15 + 491, .idle = 326238 + 2767 + 1189, .nice = 7}));
    EXPECT_EQ(counters.activeProcessorCount(), 2);
}

TEST(ProcSystemCountersFixture, MemoryMatchesWhatFreeCallsUsedAndCached) {
    auto counters = fixtureCounters();
    const std::uint64_t total = 24683772 * kKiB;
    const std::uint64_t available = 21600000 * kKiB;
    const std::uint64_t cache = (31116 + 1516544 + 81292) * kKiB; // Buffers + Cached + SReclaimable
    EXPECT_EQ(counters.physicalMemory(), total);
    const auto vm = counters.vmStatistics();
    ASSERT_TRUE(vm);
    EXPECT_EQ(vm->pageSize, pageSize());
    EXPECT_EQ(vm->internalPages, 1845536 * kKiB / pageSize());
    EXPECT_EQ(vm->compressorPages, 40960 * kKiB / pageSize());
    EXPECT_EQ(vm->externalPages, cache / pageSize());
    EXPECT_EQ(vm->purgeablePages, 0u);
    const std::uint64_t usedPages = vm->internalPages + vm->wiredPages + vm->compressorPages;
    // free(1) reports total - available as used.
    EXPECT_NEAR(static_cast<double>(usedPages), static_cast<double>((total - available) / pageSize()), 2.0)
        << "rounding to pages may lose at most a page per figure";
    EXPECT_EQ(counters.swapUsage(), (SwapUsage{.totalBytes = 2097148 * kKiB, .usedBytes = (2097148 - 1572860) * kKiB}));
}

TEST(ProcSystemCountersFixture, AcceleratorsAreCardsThatReportBusyPercent) {
    auto counters = fixtureCounters();
    const auto cards = counters.accelerators();
    ASSERT_TRUE(cards);
    ASSERT_EQ(cards->size(), 1u) << "card1 reports no busy percent and connectors are not cards";
    EXPECT_EQ(cards->front().deviceUtilizationPercent, 37);
    EXPECT_EQ(cards->front().vramUsedBytes, 536870912);
    EXPECT_FALSE(cards->front().gpuActivityPercent);
}

TEST(ProcSystemCountersFixture, BlockDevicesAreWholeDisksOnly) {
    auto counters = fixtureCounters();
    const auto devices = counters.blockDevices();
    ASSERT_TRUE(devices);
    // vda, vdb and sdb; not their partitions, loop0, dm-0, zram0, md0 or ram0.
    const std::vector<BlockDeviceStatistics> expected = {
        {.bytesRead = 160349858ULL * 512, .bytesWritten = 31330664ULL * 512},
        {.bytesRead = 96000ULL * 512, .bytesWritten = 64000ULL * 512},
        {.bytesRead = 24576ULL * 512, .bytesWritten = 8192ULL * 512},
    };
    EXPECT_EQ(*devices, expected);
}

TEST(ProcSystemCountersFixture, MountsListDiskFileSystemsUnderTheirPresentedPaths) {
    FakeFileSystems fs;
    fs.spaces["/"] = {.blocks = 1000, .blockSize = 4096, .availableBlocks = 300};
    fs.spaces["/home"] = {.blocks = 5000, .blockSize = 4096, .availableBlocks = 2500};
    fs.spaces["/.snapshots"] = fs.spaces["/home"];
    fs.spaces["/boot/efi"] = {.blocks = 130000, .blockSize = 512, .availableBlocks = 120000};
    fs.spaces["/media/u/STICK"] = {.blocks = 7000, .blockSize = 32768, .availableBlocks = 6000};
    fs.spaces["/media/u/My Disc"] = {.blocks = 200, .blockSize = 2048, .availableBlocks = 0};
    // /srv/data is left out of the table: a mount statvfs cannot measure is not listed.
    auto counters = fixtureCounters(fs.function());
    const auto mounts = counters.mounts();
    ASSERT_TRUE(mounts);

    const auto volume = [&](const char* path, bool readOnly, const char* name) {
        const auto& space = fs.spaces.at(path);
        return MountedVolume{.mountPoint = {},
                             .local = true,
                             .readOnly = readOnly,
                             .blocks = space.blocks,
                             .blockSize = space.blockSize,
                             .availableBlocks = space.availableBlocks,
                             .volumeName = QString::fromUtf8(name)};
    };
    std::vector<MountedVolume> expected = {
        volume("/", false, "Example OS"),         volume("/home", false, "DATA"),
        volume("/.snapshots", false, "DATA"),     volume("/boot/efi", false, "ESP"),
        volume("/media/u/STICK", false, "STICK"), volume("/media/u/My Disc", true, "My Disc"),
    };
    const char* presented[] = {"/", "/Volumes/home", "/.snapshots", "/boot/efi", "/Volumes/STICK", "/Volumes/My Disc"};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        expected[i].mountPoint = QString::fromUtf8(presented[i]);
    }
    EXPECT_EQ(*mounts, expected);

    for (const char* untouchable : {"/mnt/nas", "/run/user/1000/sshfs", "/tmp", "/proc", "/snap/tool/12"}) {
        EXPECT_EQ(std::count(fs.asked.begin(), fs.asked.end(), untouchable), 0)
            << untouchable << " is network, FUSE or not a disk and must never reach statvfs";
    }
}

TEST(ProcSystemCountersFixture, MountPointsUnderTheUsersFoldersBecomeVolumes) {
    QTemporaryDir tree;
    ASSERT_TRUE(QDir(tree.path()).mkpath(QStringLiteral("proc/self")));
    QFile info(tree.path() + QStringLiteral("/proc/self/mountinfo"));
    ASSERT_TRUE(info.open(QIODevice::WriteOnly));
    const char* mountPoints[] = {"/mnt/a",         "/mnt/a/b",     "/media/X", "/media/u/Y", "/media/u/Y/Z",
                                 "/run/media/u/W", "/run/media/W", "/home/u",  "/var"};
    for (const char* point : mountPoints) {
        info.write(QByteArray("1 1 8:1 / ") + point + " rw - ext4 /dev/sdz1 rw\n");
    }
    info.close();
    ProcSystemCounters counters(tree.path() + QStringLiteral("/proc"), tree.path() + QStringLiteral("/sys"),
                                tree.path(), [](const std::string&) {
                                    return FileSystemSpace{1, 1, 1};
                                });
    const auto mounts = counters.mounts();
    ASSERT_TRUE(mounts);
    QStringList presented;
    for (const auto& m : *mounts) {
        presented << m.mountPoint;
    }
    EXPECT_EQ(presented, QStringList({"/Volumes/a", "/mnt/a/b", "/Volumes/X", "/Volumes/Y", "/media/u/Y/Z",
                                      "/Volumes/W", "/run/media/W", "/home/u", "/var"}));
    EXPECT_TRUE(mounts->front().volumeName.isEmpty()) << "no label and not the root";
}

TEST(ProcSystemCountersFixture, RootIsListedWhateverItIsMadeOfAndOnlyOnce) {
    struct Case {
        const char* mountinfo;
        bool measurable;
        int roots;
    };
    const Case cases[] = {
        {"1 0 0:40 / / rw - zfs rpool/ROOT/debian rw,xattr\n", true, 1},
        {"1 0 0:41 / / ro - overlay overlay ro,lowerdir=/a:/b\n", true, 1},
        {"1 0 0:42 / / ro - overlay composefs ro,lowerdir=/run/cfs\n", true, 1},
        {"1 0 0:43 /@ / rw - btrfs /dev/mapper/luks-1 rw,subvol=/@\n", true, 1},
        {"1 0 0:44 / / rw - rootfs rootfs rw\n2 1 8:1 / / rw - ext4 /dev/sda1 rw\n", true, 1},
        {"1 0 0:40 / / rw - zfs rpool/ROOT/debian rw\n", false, 0},
    };
    for (const Case& c : cases) {
        QTemporaryDir tree;
        ASSERT_TRUE(QDir(tree.path()).mkpath(QStringLiteral("proc/self")));
        QFile info(tree.path() + QStringLiteral("/proc/self/mountinfo"));
        ASSERT_TRUE(info.open(QIODevice::WriteOnly));
        info.write(c.mountinfo);
        info.close();
        const bool measurable = c.measurable;
        ProcSystemCounters counters(tree.path() + QStringLiteral("/proc"), tree.path() + QStringLiteral("/sys"),
                                    tree.path(), [measurable](const std::string&) {
                                        return measurable ? std::optional(FileSystemSpace{10, 4096, 5}) : std::nullopt;
                                    });
        const auto mounts = counters.mounts();
        ASSERT_TRUE(mounts) << c.mountinfo;
        EXPECT_EQ(int(mounts->size()), c.roots) << c.mountinfo;
        if (!mounts->empty()) {
            EXPECT_EQ(mounts->front().mountPoint, QStringLiteral("/")) << c.mountinfo;
        }
    }
}

TEST(ProcSystemCountersFixture, LoopbackIsLoOrAnyInterfaceOfLoopbackType) {
    auto counters = fixtureCounters();
    const auto interfaces = counters.interfaces();
    ASSERT_TRUE(interfaces);
    const std::vector<InterfaceCounters> expected = {
        {.name = QStringLiteral("lo"), .rxBytes = 6686, .txBytes = 6686, .loopback = true},
        {.name = QStringLiteral("eth0"), .rxBytes = 80370345, .txBytes = 99196, .loopback = false},
        {.name = QStringLiteral("nsloop"), .rxBytes = 1000, .txBytes = 1000, .loopback = true},
        {.name = QStringLiteral("wlan0"), .rxBytes = 12345678, .txBytes = 2345678, .loopback = false},
    };
    EXPECT_EQ(*interfaces, expected) << "bridges, veth, tun and other virtual interfaces are not cards";
}

TEST(ProcSystemCountersFixture, WithoutAnyCardEveryInterfaceIsListed) {
    // As inside a container, where the one interface is a veth without a device.
    QTemporaryDir tree;
    ASSERT_TRUE(QDir(tree.path()).mkpath(QStringLiteral("net")));
    ASSERT_TRUE(QFile::copy(kTree + QStringLiteral("/proc/net/dev"), tree.path() + QStringLiteral("/net/dev")));
    ProcSystemCounters container(tree.path(), tree.path() + QStringLiteral("/sys"), tree.path());
    const auto interfaces = container.interfaces();
    ASSERT_TRUE(interfaces);
    EXPECT_EQ(interfaces->size(), 9u);
}

TEST(ProcSystemCountersFixture, TemperaturesNameDieSensorsAndKeepBrokenOnesEmpty) {
    auto counters = fixtureCounters();
    const auto t = [](const char* product, std::optional<double> celsius) {
        return TemperatureReading{.product = QString::fromUtf8(product), .celsius = celsius};
    };
    const std::vector<TemperatureReading> expected = {
        t("coretemp Package id 0 (Tdie)", 45.0),
        t("coretemp Core 0", 43.0),
        t("coretemp Core 1", std::nullopt),
        t("coretemp Core 2", std::nullopt),
        t("k10temp Tctl (Tdie)", 52.125),
        t("k10temp Tccd1", 48.0),
        t("k10temp Tctl", 77.0),
        t("k10temp Tdie", 50.0),
        t("nvme temp1", 38.85),
        t("nvme temp2", 39.85),
        t("nvme temp10", -5.0),
        t("acpitz", 27.8),
        t("x86_pkg_temp (Tdie)", 45.0),
    };
    EXPECT_EQ(counters.temperatures(), expected);
}

TEST(ProcSystemCountersFixture, ProcessesReadStatAndIo) {
    auto counters = fixtureCounters();
    auto pids = counters.processIds();
    ASSERT_TRUE(pids);
    std::sort(pids->begin(), pids->end());
    EXPECT_EQ(*pids, (std::vector<std::int32_t>{1, 2, 77, 4242})) << "self and net are not processes";

    const std::uint64_t nanosPerTick = 1'000'000'000ULL / static_cast<std::uint64_t>(::sysconf(_SC_CLK_TCK));
    // The footprint is resident less shared pages (statm 3170 and 1050).
    EXPECT_EQ(counters.processUsage(1), (ProcessUsage{.cpuTimeNanos = (187 + 342) * nanosPerTick,
                                                      .physicalFootprintBytes = (3170 - 1050) * pageSize(),
                                                      .diskBytesRead = 409600,
                                                      .diskBytesWritten = 81920}));
    EXPECT_EQ(counters.processName(4242), QStringLiteral("odd) (name x")) << "read without a usage call first";
    EXPECT_EQ(counters.processUsage(4242), (ProcessUsage{.cpuTimeNanos = (250 + 75) * nanosPerTick,
                                                         .physicalFootprintBytes = (1200 - 200) * pageSize()}))
        << "an io file that cannot be read leaves the process listed with no disk traffic";
    EXPECT_EQ(counters.processName(1), QStringLiteral("init")) << "not the name kept from the last usage call";
    EXPECT_EQ(counters.processName(4242), QStringLiteral("odd) (name x"));
}

TEST(ProcSystemCountersFixture, TornOrVanishedProcessesGiveNothing) {
    auto counters = fixtureCounters();
    EXPECT_FALSE(counters.processUsage(77));
    EXPECT_TRUE(counters.processName(77).isEmpty());
    EXPECT_FALSE(counters.processUsage(31337));
    EXPECT_TRUE(counters.processName(31337).isEmpty());
    EXPECT_FALSE(counters.processUsage(2)) << "kthreadd is a kernel thread, not a program";
    EXPECT_TRUE(counters.processUsage(1)) << "a failure leaves nothing behind for the next process";
}

TEST(ProcSystemCountersFixture, EmptyTreesGiveNeutralValues) {
    QTemporaryDir tree;
    ProcSystemCounters counters(tree.path(), tree.path(), tree.path());
    EXPECT_FALSE(counters.cpuLoad());
    EXPECT_FALSE(counters.processorLoad());
    EXPECT_EQ(counters.activeProcessorCount(), 0);
    EXPECT_EQ(counters.physicalMemory(), 0u);
    EXPECT_FALSE(counters.vmStatistics());
    EXPECT_FALSE(counters.swapUsage());
    ASSERT_TRUE(counters.accelerators()) << "no drm folder is an empty list, not an unknown one";
    EXPECT_TRUE(counters.accelerators()->empty());
    EXPECT_FALSE(counters.blockDevices());
    EXPECT_FALSE(counters.mounts());
    EXPECT_FALSE(counters.interfaces());
    EXPECT_TRUE(counters.temperatures().empty());
    ASSERT_TRUE(counters.processIds());
    EXPECT_TRUE(counters.processIds()->empty());

    ProcSystemCounters missing(tree.path() + QStringLiteral("/none"), tree.path(), tree.path());
    EXPECT_FALSE(missing.processIds());
}

// This machine's own counters: present and consistent with what the C library reports.
TEST(ProcSystemCountersLive, CountersAreSane) {
    ProcSystemCounters counters;
    const auto first = counters.cpuLoad();
    ASSERT_TRUE(first);
    ASSERT_TRUE(counters.processorLoad());
    EXPECT_EQ(counters.activeProcessorCount(), static_cast<int>(counters.processorLoad()->size()));
    EXPECT_GE(counters.activeProcessorCount(), 1);
    // Spin on reading the counters (busy work, no sleeping) until a tick passes; they may only grow.
    const auto sum = [](const CpuTicks& t) { return t.user + t.system + t.idle + t.nice; };
    CpuTicks last = *first;
    for (int i = 0; i < 1'000'000 && sum(last) == sum(*first); ++i) {
        const auto now = counters.cpuLoad();
        ASSERT_TRUE(now);
        ASSERT_GE(now->user, last.user);
        ASSERT_GE(now->system, last.system);
        ASSERT_GE(now->idle, last.idle);
        last = *now;
    }
    EXPECT_GT(sum(last), sum(*first));

    EXPECT_EQ(counters.physicalMemory(), static_cast<std::uint64_t>(::sysconf(_SC_PHYS_PAGES)) * pageSize());
    ASSERT_TRUE(counters.vmStatistics());
    EXPECT_GT(counters.vmStatistics()->internalPages, 0u);

    struct statvfs root {};
    ASSERT_EQ(::statvfs("/", &root), 0) << errno;
    const auto mounts = counters.mounts();
    ASSERT_TRUE(mounts);
    const auto rootMount = std::find_if(mounts->begin(), mounts->end(),
                                        [](const MountedVolume& m) { return m.mountPoint == QStringLiteral("/"); });
    ASSERT_NE(rootMount, mounts->end());
    EXPECT_EQ(rootMount->blocks, root.f_blocks);
    EXPECT_EQ(rootMount->blockSize, root.f_frsize);
    EXPECT_FALSE(rootMount->volumeName.isEmpty());

    const auto interfaces = counters.interfaces();
    ASSERT_TRUE(interfaces);
    EXPECT_TRUE(std::any_of(interfaces->begin(), interfaces->end(),
                            [](const InterfaceCounters& i) { return i.name == QStringLiteral("lo") && i.loopback; }));

    const auto pids = counters.processIds();
    ASSERT_TRUE(pids);
    EXPECT_NE(std::find(pids->begin(), pids->end(), ::getpid()), pids->end());
    const auto self = counters.processUsage(::getpid());
    ASSERT_TRUE(self);
    EXPECT_GT(self->physicalFootprintBytes, 0u);
    EXPECT_EQ(counters.processName(::getpid()),
              QString::fromUtf8(program_invocation_short_name).left(15)); // the kernel keeps 15 bytes of the name
    const std::uint64_t before = counters.monotonicNanos();
    EXPECT_GT(before, 0u);
    EXPECT_LE(before, counters.monotonicNanos());
}

} // namespace
} // namespace tillory::platform::nix
