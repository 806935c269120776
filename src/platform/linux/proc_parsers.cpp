#include "platform/linux/proc_parsers.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace tillory::platform::nix {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Takes the next line off `rest` (without its newline); false once nothing is left.
bool nextLine(std::string_view& rest, std::string_view& line) {
    if (rest.empty()) {
        return false;
    }
    const auto end = rest.find('\n');
    line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    return true;
}

// Takes the next whitespace-separated token off `rest`; empty once nothing is left.
std::string_view nextToken(std::string_view& rest) {
    while (!rest.empty() && isBlank(rest.front())) {
        rest.remove_prefix(1);
    }
    std::size_t length = 0;
    while (length < rest.size() && !isBlank(rest[length])) {
        ++length;
    }
    const auto token = rest.substr(0, length);
    rest.remove_prefix(length);
    return token;
}

std::optional<std::uint64_t> checkedAdd(std::uint64_t a, std::uint64_t b) {
    std::uint64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? std::nullopt : std::optional(sum);
}

std::optional<std::uint64_t> checkedAdd(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    const auto ab = checkedAdd(a, b);
    return ab ? checkedAdd(*ab, c) : std::nullopt;
}

std::optional<std::uint64_t> checkedMul(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? std::nullopt : std::optional(product);
}

// user nice system idle iowait irq softirq steal; kernels before 2.6.11 print only the first four to seven.
std::optional<CpuTicks> parseCpuFields(std::string_view rest) {
    std::array<std::uint64_t, 8> field{};
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto token = nextToken(rest);
        if (token.empty() && i >= 4) {
            break;
        }
        const auto value = parseUnsigned(token);
        if (!value) {
            return std::nullopt;
        }
        field[i] = *value;
    }
    const auto system = checkedAdd(field[2], field[5], field[6]);
    const auto idle = checkedAdd(field[3], field[4], field[7]);
    if (!system || !idle) {
        return std::nullopt;
    }
    return CpuTicks{.user = field[0], .system = *system, .idle = *idle, .nice = field[1]};
}

bool isProcessorName(std::string_view token) {
    if (token.size() < 4 || !token.starts_with("cpu")) {
        return false;
    }
    for (char c : token.substr(3)) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<std::uint64_t> parseUnsigned(std::string_view text) {
    std::uint64_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

CpuStat parseCpuStat(std::string_view text) {
    CpuStat stat;
    stat.processors.emplace();
    std::string_view line;
    while (nextLine(text, line)) {
        if (!line.starts_with("cpu")) {
            continue;
        }
        const auto name = nextToken(line);
        if (name == "cpu") {
            stat.total = parseCpuFields(line);
        } else if (isProcessorName(name)) {
            ++stat.processorLines;
            const auto ticks = parseCpuFields(line);
            if (ticks && stat.processors) {
                stat.processors->push_back(*ticks);
            } else {
                stat.processors.reset(); // one missing processor would shift every later one onto the wrong core
            }
        }
    }
    return stat;
}

MemInfo parseMeminfo(std::string_view text) {
    MemInfo info;
    const std::pair<std::string_view, std::optional<std::uint64_t>*> keys[] = {
        {"MemTotal", &info.memTotal},   {"MemFree", &info.memFree}, {"MemAvailable", &info.memAvailable},
        {"Buffers", &info.buffers},     {"Cached", &info.cached},   {"SReclaimable", &info.sReclaimable},
        {"AnonPages", &info.anonPages}, {"Zswap", &info.zswap},     {"SwapTotal", &info.swapTotal},
        {"SwapFree", &info.swapFree},
    };
    std::string_view line;
    while (nextLine(text, line)) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const auto key = line.substr(0, colon);
        for (const auto& [name, slot] : keys) {
            if (key != name || slot->has_value()) {
                continue;
            }
            auto rest = line.substr(colon + 1);
            const auto number = parseUnsigned(nextToken(rest));
            const auto unit = nextToken(rest);
            if (number && unit == "kB" && nextToken(rest).empty()) {
                *slot = checkedMul(*number, 1024);
            }
        }
    }
    return info;
}

std::optional<VmStatistics> vmStatisticsFrom(const MemInfo& info, std::uint64_t pageSize) {
    if (pageSize == 0 || !info.memTotal || !info.memFree || !info.buffers || !info.cached || !info.anonPages) {
        return std::nullopt;
    }
    const auto cache = checkedAdd(*info.buffers, *info.cached, info.sReclaimable.value_or(0));
    const auto anonymous = checkedAdd(*info.anonPages, info.zswap.value_or(0), 0);
    if (!cache || !anonymous || *info.memFree > *info.memTotal) {
        return std::nullopt;
    }
    // What free(1) calls used: what the system could not hand out without swapping, total - MemAvailable
    // (kernels since 3.14); older kernels leave the free pages and the cache as the only memory to hand out.
    // Wired is what is left of it besides anonymous memory and the zswap pool (kernel memory too; taking it out
    // keeps it from being counted twice).
    std::uint64_t used = 0;
    if (info.memAvailable && *info.memAvailable <= *info.memTotal) {
        used = *info.memTotal - *info.memAvailable;
    } else {
        const std::uint64_t notFree = *info.memTotal - *info.memFree;
        used = notFree > *cache ? notFree - *cache : 0;
    }
    const std::uint64_t wired = used > *anonymous ? used - *anonymous : 0;
    return VmStatistics{.pageSize = pageSize,
                        .internalPages = *info.anonPages / pageSize,
                        .purgeablePages = 0,
                        .wiredPages = wired / pageSize,
                        .compressorPages = info.zswap.value_or(0) / pageSize,
                        .externalPages = *cache / pageSize};
}

std::optional<SwapUsage> swapUsageFrom(const MemInfo& info) {
    if (!info.swapTotal || !info.swapFree) {
        return std::nullopt;
    }
    const std::uint64_t used = *info.swapTotal > *info.swapFree ? *info.swapTotal - *info.swapFree : 0;
    return SwapUsage{.totalBytes = *info.swapTotal, .usedBytes = used};
}

std::vector<DiskStatLine> parseDiskStats(std::string_view text) {
    std::vector<DiskStatLine> lines;
    std::string_view line;
    while (nextLine(text, line)) {
        std::array<std::string_view, 10> token;
        for (auto& t : token) {
            t = nextToken(line);
        }
        if (token[9].empty() || !parseUnsigned(token[0]) || !parseUnsigned(token[1])) {
            continue;
        }
        const auto bytes = [](std::string_view sectors) {
            const auto count = parseUnsigned(sectors);
            return count ? checkedMul(*count, 512) : std::nullopt;
        };
        lines.push_back({.name = token[2], .bytesRead = bytes(token[5]), .bytesWritten = bytes(token[9])});
    }
    return lines;
}

std::vector<NetDevLine> parseNetDev(std::string_view text) {
    std::vector<NetDevLine> lines;
    std::string_view line;
    while (nextLine(text, line)) {
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const auto name = trimmed(line.substr(0, colon));
        auto rest = line.substr(colon + 1);
        std::array<std::uint64_t, 9> column{};
        // The kernel refuses interface names with blanks, so such a line is not an interface.
        bool ok = !name.empty() && std::none_of(name.begin(), name.end(), isBlank);
        for (std::size_t i = 0; ok && i < column.size(); ++i) {
            const auto value = parseUnsigned(nextToken(rest));
            ok = value.has_value();
            column[i] = value.value_or(0);
        }
        if (ok) {
            lines.push_back({.name = name, .rxBytes = column[0], .txBytes = column[8]});
        }
    }
    return lines;
}

std::string unescapeOctal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto isOctal = [&](std::size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '7'; };
        if (text[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            out += static_cast<char>(((text[i + 1] - '0') << 6) | ((text[i + 2] - '0') << 3) | (text[i + 3] - '0'));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<MountInfoLine> parseMountInfo(std::string_view text) {
    std::vector<MountInfoLine> lines;
    std::string_view line;
    while (nextLine(text, line)) {
        // id parent major:minor root mount-point options [optional fields...] - type source super-options
        std::array<std::string_view, 6> head;
        for (auto& t : head) {
            t = nextToken(line);
        }
        if (head[5].empty()) {
            continue;
        }
        std::string_view token = nextToken(line);
        while (!token.empty() && token != "-") {
            token = nextToken(line);
        }
        const auto fsType = nextToken(line);
        const auto source = nextToken(line);
        const auto superOptions = nextToken(line);
        if (token != "-" || source.empty()) {
            continue;
        }
        const auto hasRo = [](std::string_view options) {
            while (!options.empty()) {
                const auto comma = options.find(',');
                if (options.substr(0, comma) == "ro") {
                    return true;
                }
                options.remove_prefix(comma == std::string_view::npos ? options.size() : comma + 1);
            }
            return false;
        };
        lines.push_back({.mountPoint = unescapeOctal(head[4]),
                         .fsType = std::string(fsType),
                         .source = unescapeOctal(source),
                         .readOnly = hasRo(head[5]) || hasRo(superOptions)});
    }
    return lines;
}

std::optional<PidStat> parsePidStat(std::string_view text) {
    const auto open = text.find('(');
    const auto close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return std::nullopt;
    }
    // After the name: state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt utime stime ... rss is
    // the 22nd.
    auto rest = text.substr(close + 1);
    std::array<std::string_view, 22> field;
    for (auto& f : field) {
        f = nextToken(rest);
    }
    const auto flags = parseUnsigned(field[6]);
    const auto utime = parseUnsigned(field[11]);
    const auto stime = parseUnsigned(field[12]);
    const auto rss = parseUnsigned(field[21]);
    const auto ticks = utime && stime ? checkedAdd(*utime, *stime) : std::nullopt;
    if (!ticks || !rss || !flags) {
        return std::nullopt;
    }
    constexpr std::uint64_t kKernelThreadFlag = 0x00200000; // PF_KTHREAD
    return PidStat{.comm = text.substr(open + 1, close - open - 1),
                   .cpuTicks = *ticks,
                   .rssPages = *rss,
                   .isKernelThread = (*flags & kKernelThreadFlag) != 0};
}

std::optional<std::uint64_t> parsePidStatmPrivatePages(std::string_view text) {
    // size resident shared text lib data dt
    nextToken(text);
    const auto resident = parseUnsigned(nextToken(text));
    const auto shared = parseUnsigned(nextToken(text));
    if (!resident || !shared) {
        return std::nullopt;
    }
    // The two are read at slightly different moments, so shared may briefly exceed resident.
    return *resident > *shared ? *resident - *shared : 0;
}

PidIo parsePidIo(std::string_view text) {
    PidIo io;
    std::string_view line;
    while (nextLine(text, line)) {
        auto rest = line;
        const auto key = nextToken(rest);
        if (key == "read_bytes:") {
            io.readBytes = parseUnsigned(nextToken(rest)).value_or(0);
        } else if (key == "write_bytes:") {
            io.writeBytes = parseUnsigned(nextToken(rest)).value_or(0);
        }
    }
    return io;
}

std::optional<std::int64_t> parseSysfsInteger(std::string_view text) {
    text = trimmed(text);
    std::int64_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parseMillidegrees(std::string_view text) {
    const auto milli = parseSysfsInteger(text);
    return milli ? std::optional(static_cast<double>(*milli) / 1000.0) : std::nullopt;
}

std::string parseOsReleaseName(std::string_view text) {
    std::string_view line;
    while (nextLine(text, line)) {
        line = trimmed(line);
        if (!line.starts_with("NAME=")) {
            continue;
        }
        auto value = line.substr(5);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        std::string name;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) {
                ++i; // shell-style escapes: \" \\ \$ \`
            }
            name += value[i];
        }
        return name;
    }
    return {};
}

std::string unescapeHex(std::string_view text) {
    const auto hexDigit = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && hexDigit(text[i + 2]) >= 0 &&
            hexDigit(text[i + 3]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3]));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string parseCommandLine(std::string_view bytes) {
    constexpr std::size_t kMaxBytes = 4096;
    bytes = bytes.substr(0, kMaxBytes);
    std::string line;
    line.reserve(bytes.size());
    bool space = false;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            space = !line.empty();
            continue;
        }
        if (space) {
            line.push_back(' ');
            space = false;
        }
        line.push_back(c);
    }
    return line;
}

} // namespace tillory::platform::nix
