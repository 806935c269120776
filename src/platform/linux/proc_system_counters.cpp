#include "platform/linux/proc_system_counters.h"

#include "platform/linux/proc_parsers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tillory::platform::nix {
namespace {

constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;

// Reads a whole file into `buffer`, keeping its capacity; false when it cannot be opened or read (the kernel's
// files report size 0, so this reads until end of file rather than trusting the size).
bool readFile(const char* path, std::string& buffer) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::size_t used = 0;
    bool ok = true;
    while (true) {
        if (buffer.size() < used + 4096) {
            buffer.resize(used + 4096);
        }
        const ssize_t n = ::read(fd, buffer.data() + used, buffer.size() - used);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 || used + static_cast<std::size_t>(n) > kMaxFileBytes) {
            ok = n == 0;
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    buffer.resize(ok ? used : 0);
    return ok;
}

std::optional<std::string> readSmallFile(const QString& path) {
    std::string buffer;
    return readFile(QFile::encodeName(path).constData(), buffer) ? std::optional(std::move(buffer)) : std::nullopt;
}

QString readTrimmed(const QString& path) {
    const auto text = readSmallFile(path);
    return text ? QString::fromUtf8(text->data(), static_cast<qsizetype>(text->size())).trimmed() : QString();
}

// Entries named <prefix><number> in `folder`, by number, so hwmon10 follows hwmon9.
QStringList numberedEntries(const QString& folder, const QString& prefix, const QString& suffix = {}) {
    const QRegularExpression pattern(
        QStringLiteral("^%1(\\d+)%2$").arg(QRegularExpression::escape(prefix), QRegularExpression::escape(suffix)));
    std::vector<std::pair<qulonglong, QString>> found;
    const auto names =
        QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        const auto match = pattern.match(name);
        if (match.hasMatch()) {
            found.emplace_back(match.captured(1).toULongLong(), name);
        }
    }
    std::sort(found.begin(), found.end());
    QStringList sorted;
    for (auto& [number, name] : found) {
        sorted.push_back(std::move(name));
    }
    return sorted;
}

bool isCountedDisk(std::string_view name) {
    for (std::string_view prefix : {"loop", "ram", "zram", "dm-", "md"}) {
        if (name.starts_with(prefix)) {
            return false;
        }
    }
    return !name.empty();
}

bool isDiskFileSystem(std::string_view type) {
    constexpr std::string_view kTypes[] = {"ext2", "ext3",  "ext4", "xfs",     "btrfs",   "vfat", "exfat",
                                           "ntfs", "ntfs3", "f2fs", "hfsplus", "iso9660", "udf",  "fuseblk"};
    return std::find(std::begin(kTypes), std::end(kTypes), type) != std::end(kTypes);
}

// The user's volumes take the place they would have under /Volumes; system mounts keep their own path.
QString presentedMountPoint(const QString& mountPoint) {
    if (mountPoint == QStringLiteral("/")) {
        return mountPoint;
    }
    const QStringList parts = mountPoint.split(u'/', Qt::SkipEmptyParts);
    const auto n = parts.size();
    const bool userVolume = (n == 1 && parts[0] == QStringLiteral("home")) ||
                            (n == 2 && parts[0] == QStringLiteral("mnt")) ||
                            ((n == 2 || n == 3) && parts[0] == QStringLiteral("media")) ||
                            (n == 4 && parts[0] == QStringLiteral("run") && parts[1] == QStringLiteral("media"));
    return userVolume ? QStringLiteral("/Volumes/") + parts.last() : mountPoint;
}

std::optional<FileSystemSpace> statvfsSpace(const std::string& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileSystemSpace{.blocks = info.f_blocks,
                           .blockSize = info.f_frsize != 0 ? info.f_frsize : info.f_bsize,
                           .availableBlocks = info.f_bavail};
}

// The path a device is known by, following links where the tree has them.
QString devicePath(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

} // namespace

ProcSystemCounters::ProcSystemCounters(QString procRoot, QString sysRoot, QString rootDir,
                                       FileSystemStat statFileSystem)
    : procRoot_(QFile::encodeName(procRoot).toStdString()), sysRoot_(std::move(sysRoot)), rootDir_(std::move(rootDir)),
      statFileSystem_(std::move(statFileSystem)) {
    if (!statFileSystem_) {
        const std::string prefix =
            rootDir_ == QStringLiteral("/") ? std::string() : QFile::encodeName(rootDir_).toStdString();
        statFileSystem_ = [prefix](const std::string& mountPoint) { return statvfsSpace(prefix + mountPoint); };
    }
    const long page = ::sysconf(_SC_PAGESIZE);
    pageSize_ = page > 0 ? static_cast<std::uint64_t>(page) : 0;
    const long ticks = ::sysconf(_SC_CLK_TCK);
    nanosPerTick_ = ticks > 0 ? 1'000'000'000ULL / static_cast<std::uint64_t>(ticks) : 0;
}

bool ProcSystemCounters::readProc(const char* relative, std::string& buffer) {
    path_.assign(procRoot_).append(relative);
    return readFile(path_.c_str(), buffer);
}

std::optional<CpuTicks> ProcSystemCounters::cpuLoad() {
    return readProc("/stat", buffer_) ? parseCpuStat(buffer_).total : std::nullopt;
}

std::optional<std::vector<CpuTicks>> ProcSystemCounters::processorLoad() {
    return readProc("/stat", buffer_) ? parseCpuStat(buffer_).processors : std::nullopt;
}

int ProcSystemCounters::activeProcessorCount() {
    return readProc("/stat", buffer_) ? parseCpuStat(buffer_).processorLines : 0;
}

std::uint64_t ProcSystemCounters::physicalMemory() {
    return readProc("/meminfo", buffer_) ? parseMeminfo(buffer_).memTotal.value_or(0) : 0;
}

std::optional<VmStatistics> ProcSystemCounters::vmStatistics() {
    return readProc("/meminfo", buffer_) ? vmStatisticsFrom(parseMeminfo(buffer_), pageSize_) : std::nullopt;
}

std::optional<SwapUsage> ProcSystemCounters::swapUsage() {
    return readProc("/meminfo", buffer_) ? swapUsageFrom(parseMeminfo(buffer_)) : std::nullopt;
}

std::optional<std::vector<AcceleratorStatistics>> ProcSystemCounters::accelerators() {
    std::vector<AcceleratorStatistics> cards;
    const QString drm = sysRoot_ + QStringLiteral("/class/drm");
    for (const QString& card : numberedEntries(drm, QStringLiteral("card"))) {
        const QString device = drm + u'/' + card + QStringLiteral("/device/");
        const auto busy = readSmallFile(device + QStringLiteral("gpu_busy_percent"));
        const auto percent = busy ? parseSysfsInteger(*busy) : std::nullopt;
        if (!percent) {
            continue;
        }
        const auto vram = readSmallFile(device + QStringLiteral("mem_info_vram_used"));
        AcceleratorStatistics stats;
        stats.deviceUtilizationPercent = percent;
        stats.vramUsedBytes = vram ? parseSysfsInteger(*vram) : std::nullopt;
        cards.push_back(stats);
    }
    return cards;
}

std::optional<std::vector<BlockDeviceStatistics>> ProcSystemCounters::blockDevices() {
    const QDir blockFolder(sysRoot_ + QStringLiteral("/block"));
    if (!blockFolder.exists() || !readProc("/diskstats", buffer_)) {
        return std::nullopt; // without /sys/block partitions cannot be told apart from disks
    }
    const auto names = blockFolder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    const QSet<QString> disks(names.begin(), names.end());
    std::vector<BlockDeviceStatistics> devices;
    for (const auto& line : parseDiskStats(buffer_)) {
        // sysfs spells the '/' of names such as cciss/c0d0 as '!'.
        const QString name =
            QString::fromUtf8(line.name.data(), static_cast<qsizetype>(line.name.size())).replace(u'/', u'!');
        if (isCountedDisk(line.name) && disks.contains(name)) {
            devices.push_back({.bytesRead = line.bytesRead, .bytesWritten = line.bytesWritten});
        }
    }
    return devices;
}

QHash<QString, QString> ProcSystemCounters::labelsByDevice() const {
    QHash<QString, QString> labels;
    const QDir byLabel(rootDir_ + QStringLiteral("/dev/disk/by-label"));
    for (const QFileInfo& link : byLabel.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (link.isSymLink()) {
            const std::string label = unescapeHex(QFile::encodeName(link.fileName()).toStdString());
            labels.insert(devicePath(link.symLinkTarget()), QString::fromStdString(label));
        }
    }
    return labels;
}

QString ProcSystemCounters::volumeNameFor(const std::string& source, bool isRoot,
                                          const QHash<QString, QString>& labels) const {
    const QString label = source.starts_with("/dev/")
                              ? labels.value(devicePath(rootDir_ + u'/' + QFile::decodeName(source.c_str())))
                              : QString();
    if (!label.isEmpty() || !isRoot) {
        return label;
    }
    // Without a label the system volume is named after the system that runs on it.
    for (const auto* file : {"/etc/os-release", "/usr/lib/os-release"}) {
        if (const auto text = readSmallFile(rootDir_ + QLatin1String(file))) {
            return QString::fromStdString(parseOsReleaseName(*text));
        }
    }
    return {};
}

std::optional<std::vector<MountedVolume>> ProcSystemCounters::mounts() {
    // Runs on a thread of its own beside the other readings, so it shares none of their buffers.
    std::string text;
    if (!readFile((procRoot_ + "/self/mountinfo").c_str(), text)) {
        return std::nullopt;
    }
    std::optional<QHash<QString, QString>> labels;
    std::vector<MountedVolume> volumes;
    const auto lines = parseMountInfo(text);
    // Only the last of several mounts on "/" is the one in view (and the one statvfs measures).
    std::size_t visibleRoot = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        visibleRoot = lines[i].mountPoint == "/" ? i : visibleRoot;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto& line = lines[i];
        // The root is always shown, whatever it is made of (a ZFS dataset, an overlay, a composefs image).
        const bool isRoot = line.mountPoint == "/";
        if (isRoot ? i != visibleRoot : !line.source.starts_with("/dev/") || !isDiskFileSystem(line.fsType)) {
            continue;
        }
        const auto space = statFileSystem_(line.mountPoint);
        if (!space) {
            continue;
        }
        if (!labels) {
            labels = labelsByDevice();
        }
        const QString mountPoint = QFile::decodeName(line.mountPoint.c_str());
        volumes.push_back({.mountPoint = presentedMountPoint(mountPoint),
                           .local = true,
                           .readOnly = line.readOnly,
                           .blocks = space->blocks,
                           .blockSize = space->blockSize,
                           .availableBlocks = space->availableBlocks,
                           .volumeName = volumeNameFor(line.source, isRoot, *labels)});
    }
    return volumes;
}

std::optional<std::vector<InterfaceCounters>> ProcSystemCounters::interfaces() {
    if (!readProc("/net/dev", buffer_)) {
        return std::nullopt;
    }
    const auto present = [](const QString& path) {
        struct stat info {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0; // a dangling link counts
    };
    std::vector<InterfaceCounters> result;
    std::vector<bool> physical;
    for (const auto& line : parseNetDev(buffer_)) {
        const QString name = QString::fromUtf8(line.name.data(), static_cast<qsizetype>(line.name.size()));
        const QString folder = sysRoot_ + QStringLiteral("/class/net/") + name;
        bool loopback = name == QStringLiteral("lo");
        if (!loopback) {
            const auto type = readSmallFile(folder + QStringLiteral("/type"));
            loopback = type && parseSysfsInteger(*type) == 772; // ARPHRD_LOOPBACK
        }
        physical.push_back(!loopback && (present(folder + QStringLiteral("/device")) ||
                                         present(folder + QStringLiteral("/wireless")) ||
                                         present(folder + QStringLiteral("/phy80211"))));
        result.push_back({.name = name, .rxBytes = line.rxBytes, .txBytes = line.txBytes, .loopback = loopback});
    }
    // Bridges, veth pairs, tun/tap and the like carry traffic a card also carries, so only the cards count. A
    // machine with no card at all (a container, a tree without sysfs) keeps every interface rather than none.
    if (std::find(physical.begin(), physical.end(), true) == physical.end()) {
        return result;
    }
    std::vector<InterfaceCounters> cards;
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (result[i].loopback || physical[i]) {
            cards.push_back(std::move(result[i]));
        }
    }
    return cards;
}

std::vector<TemperatureReading> ProcSystemCounters::temperatures() {
    std::vector<TemperatureReading> readings;
    const auto celsiusAt = [](const QString& path) {
        const auto text = readSmallFile(path);
        return text ? parseMillidegrees(*text) : std::nullopt;
    };
    const QString hwmon = sysRoot_ + QStringLiteral("/class/hwmon");
    for (const QString& chipFolder : numberedEntries(hwmon, QStringLiteral("hwmon"))) {
        const QString base = hwmon + u'/' + chipFolder + u'/';
        const QString chip = readTrimmed(base + QStringLiteral("name"));
        const QStringList inputs = numberedEntries(base, QStringLiteral("temp"), QStringLiteral("_input"));
        std::vector<QString> labels;
        for (const QString& input : inputs) {
            labels.push_back(
                readTrimmed(base + QString(input).replace(QStringLiteral("_input"), QStringLiteral("_label"))));
        }
        const bool hasTdie = std::find(labels.begin(), labels.end(), QStringLiteral("Tdie")) != labels.end();
        for (std::size_t i = 0; i < labels.size(); ++i) {
            const QString& label = labels[i];
            const QString input = inputs[static_cast<qsizetype>(i)];
            QString product = chip + u' ' + (label.isEmpty() ? input.chopped(6) : label);
            const bool die = (chip == QStringLiteral("coretemp") && label.startsWith(QStringLiteral("Package id"))) ||
                             ((chip == QStringLiteral("k10temp") || chip == QStringLiteral("zenpower")) &&
                              label == QStringLiteral("Tdie")) ||
                             (chip == QStringLiteral("k10temp") && label == QStringLiteral("Tctl") && !hasTdie);
            if (die && !product.contains(QStringLiteral("tdie"), Qt::CaseInsensitive)) {
                product += QStringLiteral(" (Tdie)");
            }
            readings.push_back({.product = product, .celsius = celsiusAt(base + input)});
        }
    }
    const QString thermal = sysRoot_ + QStringLiteral("/class/thermal");
    for (const QString& zone : numberedEntries(thermal, QStringLiteral("thermal_zone"))) {
        const QString base = thermal + u'/' + zone + u'/';
        QString product = readTrimmed(base + QStringLiteral("type"));
        if (product == QStringLiteral("x86_pkg_temp")) {
            product += QStringLiteral(" (Tdie)");
        }
        readings.push_back({.product = product, .celsius = celsiusAt(base + QStringLiteral("temp"))});
    }
    return readings;
}

std::uint64_t ProcSystemCounters::monotonicNanos() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000ULL + static_cast<std::uint64_t>(now.tv_nsec);
}

std::optional<std::vector<std::int32_t>> ProcSystemCounters::processIds() {
    statPid_ = 0;
    DIR* folder = ::opendir(procRoot_.c_str());
    if (folder == nullptr) {
        return std::nullopt;
    }
    std::vector<std::int32_t> pids;
    pids.reserve(lastProcessCount_ + 64);
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name(entry->d_name);
        std::int32_t pid = 0;
        const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (ec == std::errc() && end == name.data() + name.size() && pid > 0) {
            pids.push_back(pid);
        }
    }
    ::closedir(folder);
    lastProcessCount_ = pids.size();
    return pids;
}

bool ProcSystemCounters::readPidFile(std::int32_t pid, const char* file) {
    char digits[16];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), pid).ptr;
    path_.assign(procRoot_).append(1, '/').append(digits, end).append(1, '/').append(file);
    return readFile(path_.c_str(), buffer_);
}

std::optional<ProcessUsage> ProcSystemCounters::processUsage(std::int32_t pid) {
    statPid_ = 0;
    const auto stat = readPidFile(pid, "stat") ? parsePidStat(buffer_) : std::nullopt;
    std::uint64_t cpuNanos = 0;
    // Kernel threads are the kernel's own workers, not programs: they are left out of the list.
    if (!stat || stat->isKernelThread || nanosPerTick_ == 0 ||
        __builtin_mul_overflow(stat->cpuTicks, nanosPerTick_, &cpuNanos)) {
        return std::nullopt;
    }
    statName_.assign(stat->comm);
    // What the process costs: its resident pages less the library and shared pages every process maps.
    const auto privatePages = readPidFile(pid, "statm") ? parsePidStatmPrivatePages(buffer_) : std::nullopt;
    std::uint64_t footprint = 0;
    if (!privatePages || __builtin_mul_overflow(*privatePages, pageSize_, &footprint)) {
        return std::nullopt;
    }
    statPid_ = pid;
    // Another user's io file is closed to us; the process still counts, with no disk traffic.
    const PidIo io = readPidFile(pid, "io") ? parsePidIo(buffer_) : PidIo{};
    return ProcessUsage{.cpuTimeNanos = cpuNanos,
                        .physicalFootprintBytes = footprint,
                        .diskBytesRead = io.readBytes,
                        .diskBytesWritten = io.writeBytes};
}

QString ProcSystemCounters::processName(std::int32_t pid) {
    if (pid != 0 && pid == statPid_) {
        statPid_ = 0;
        return QString::fromUtf8(statName_.data(), static_cast<qsizetype>(statName_.size()));
    }
    const auto stat = readPidFile(pid, "stat") ? parsePidStat(buffer_) : std::nullopt;
    return stat ? QString::fromUtf8(stat->comm.data(), static_cast<qsizetype>(stat->comm.size())) : QString();
}

QString ProcSystemCounters::processCommandLine(std::int32_t pid) {
    char digits[16];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), pid).ptr;
    path_.assign(procRoot_).append(1, '/').append(digits, end).append("/cmdline");
    // Only the start: a command line may be megabytes long, and a line of it is what is shown.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    char bytes[4096];
    ssize_t n = 0;
    do {
        n = ::read(fd, bytes, sizeof bytes);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n <= 0) {
        return {};
    }
    const std::string line = parseCommandLine(std::string_view(bytes, static_cast<std::size_t>(n)));
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

} // namespace tillory::platform::nix
