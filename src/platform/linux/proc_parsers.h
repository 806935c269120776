#pragma once

#include "platform/api/system_counters.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Pure parsers for the kernel's text files: the contents go in, records come out, nothing is read from disk.
// Every parser accepts any bytes: truncated lines, missing or non-numeric fields and numbers past 64 bits give
// the neutral value documented on it, never a partial number.
namespace tillory::platform::nix {

/// A decimal number that fills all of `text`; nothing when empty, signed, non-numeric or past 64 bits.
std::optional<std::uint64_t> parseUnsigned(std::string_view text);

/// The "cpu" lines of the kernel's stat file, mapped onto the four tick kinds (see proc_system_counters.h).
struct CpuStat {
    std::optional<CpuTicks> total;                   ///< the "cpu" line; nothing when missing or malformed
    std::optional<std::vector<CpuTicks>> processors; ///< "cpuN" lines in file order; nothing if any is malformed
    int processorLines = 0;                          ///< how many "cpuN" lines there are
};
CpuStat parseCpuStat(std::string_view text);

/// The meminfo values the memory figures need, in bytes; a key that is missing or malformed is absent.
struct MemInfo {
    std::optional<std::uint64_t> memTotal{};
    std::optional<std::uint64_t> memFree{};
    std::optional<std::uint64_t> memAvailable{};
    std::optional<std::uint64_t> buffers{};
    std::optional<std::uint64_t> cached{};
    std::optional<std::uint64_t> sReclaimable{};
    std::optional<std::uint64_t> anonPages{};
    std::optional<std::uint64_t> zswap{};
    std::optional<std::uint64_t> swapTotal{};
    std::optional<std::uint64_t> swapFree{};
};
MemInfo parseMeminfo(std::string_view text);
/// Memory in pages of `pageSize` bytes; nothing when a key it needs is absent or the figures contradict each other.
std::optional<VmStatistics> vmStatisticsFrom(const MemInfo& info, std::uint64_t pageSize);
/// Nothing when either swap key is absent.
std::optional<SwapUsage> swapUsageFrom(const MemInfo& info);

/// One diskstats line. `name` views into the parsed text. A byte count that is malformed or overflows is absent.
struct DiskStatLine {
    std::string_view name{};
    std::optional<std::uint64_t> bytesRead{};
    std::optional<std::uint64_t> bytesWritten{};
};
/// Lines too short to hold the sector counts are skipped.
std::vector<DiskStatLine> parseDiskStats(std::string_view text);

/// One interface line of net/dev. `name` views into the parsed text.
struct NetDevLine {
    std::string_view name{};
    std::uint64_t rxBytes = 0;
    std::uint64_t txBytes = 0;
};
/// Header lines and lines without nine numeric columns are skipped.
std::vector<NetDevLine> parseNetDev(std::string_view text);

/// One mountinfo line, its paths with the kernel's octal escapes undone.
struct MountInfoLine {
    std::string mountPoint{};
    std::string fsType{};
    std::string source{};
    bool readOnly = false; ///< read-only for this mount or for the whole file system
};
/// Lines without the "-" separator and the file system type and source after it are skipped.
std::vector<MountInfoLine> parseMountInfo(std::string_view text);
/// Undoes "\040"-style octal escapes; a backslash not followed by three octal digits stays as it is.
std::string unescapeOctal(std::string_view text);

/// A process's stat file. `comm` views into the parsed text.
struct PidStat {
    std::string_view comm;      ///< between the first '(' and the last ')'
    std::uint64_t cpuTicks = 0; ///< utime + stime, in clock ticks
    std::uint64_t rssPages = 0;
    bool isKernelThread = false; ///< PF_KTHREAD in the flags: a kernel worker, not a program
};
/// Nothing when the name or any of the needed fields is missing or malformed, or the tick sum overflows.
std::optional<PidStat> parsePidStat(std::string_view text);

/// A process's statm file: resident pages less those shared with other processes (libraries, shared memory),
/// what the process itself costs. Nothing when a field is missing or malformed.
std::optional<std::uint64_t> parsePidStatmPrivatePages(std::string_view text);

/// A process's io file: bytes that reached or came from storage. A missing or malformed value is 0.
struct PidIo {
    std::uint64_t readBytes = 0;
    std::uint64_t writeBytes = 0;
};
PidIo parsePidIo(std::string_view text);

/// A process's cmdline file (its arguments, each ended by a NUL byte) as one line: the NULs and any other control
/// bytes become single spaces and the ends are trimmed. Bytes past the first 4096 are not looked at. Empty for a
/// process without arguments (a kernel thread, a zombie).
std::string parseCommandLine(std::string_view bytes);

/// A one-value sysfs file ("45000\n"); nothing when it holds anything but one signed 64-bit decimal.
std::optional<std::int64_t> parseSysfsInteger(std::string_view text);
/// A temperature file in millidegrees Celsius, as degrees; nothing when malformed.
std::optional<double> parseMillidegrees(std::string_view text);

/// The NAME of an os-release file, its quotes and escapes undone; empty when absent.
std::string parseOsReleaseName(std::string_view text);
/// Undoes the "\x20"-style escapes udev puts in /dev/disk/by-label names.
std::string unescapeHex(std::string_view text);

} // namespace tillory::platform::nix
