#include "monitor/metrics_sampler.h"

#include <QJsonArray>

namespace tillory::monitor {

MetricsSampler::MetricsSampler(platform::SystemCounters& counters, platform::PowerSources& power, platform::Smc& smc)
    : cpu_(counters), memory_(counters), graphics_(counters), io_(counters), power_(power, smc), temperature_(counters),
      processes_(counters) {}

MetricsSnapshot MetricsSampler::sampleSystem() {
    MetricsSnapshot snapshot;
    snapshot.cpu = cpu_.sample();
    snapshot.memory = memory_.sample();
    snapshot.gpu = graphics_.sample();
    const double dt = io_.advanceClock();
    snapshot.disk = io_.diskStats(dt);
    snapshot.network = io_.netStats(dt);
    snapshot.power = power_.samplePower();
    if (--slowTick_ <= 0) {
        slowTick_ = 2;
        if (const auto reading = temperature_.currentTemperature()) {
            lastTemperature_ = *reading; // a failed reading keeps the last good one
        }
        lastFans_ = power_.sampleFans();
    }
    snapshot.fans = lastFans_;
    snapshot.temperature = lastTemperature_;
    return snapshot;
}

std::optional<std::vector<ProcessSample>> MetricsSampler::sampleProcesses(const AppMap& apps, int coreCount) {
    return processes_.sample(apps, coreCount);
}

namespace {

QJsonValue number(std::uint64_t value) {
    return QJsonValue(double(value));
}

const char* thermalName(ThermalLevel level) {
    switch (level) {
    case ThermalLevel::fair:
        return "fair";
    case ThermalLevel::serious:
        return "serious";
    case ThermalLevel::critical:
        return "critical";
    case ThermalLevel::nominal:
        break;
    }
    return "nominal";
}

} // namespace

QJsonObject snapshotToJson(const MetricsSnapshot& s) {
    QJsonArray perCore;
    for (double core : s.cpu.perCore) {
        perCore.append(core);
    }
    QJsonArray volumes;
    for (const VolumeSpace& volume : s.disk.volumes) {
        volumes.append(QJsonObject{{QStringLiteral("name"), volume.name},
                                   {QStringLiteral("freeBytes"), number(volume.freeBytes)},
                                   {QStringLiteral("totalBytes"), number(volume.totalBytes)}});
    }
    QJsonArray interfaces;
    for (const IfaceRate& rate : s.network.perInterface) {
        interfaces.append(QJsonObject{{QStringLiteral("name"), rate.name},
                                      {QStringLiteral("downBytesPerSec"), rate.downBytesPerSec},
                                      {QStringLiteral("upBytesPerSec"), rate.upBytesPerSec}});
    }
    QJsonArray fans;
    for (const FanStats& fan : s.fans) {
        fans.append(QJsonObject{{QStringLiteral("index"), fan.index},
                                {QStringLiteral("rpm"), fan.rpm},
                                {QStringLiteral("minRPM"), fan.minRPM},
                                {QStringLiteral("maxRPM"), fan.maxRPM}});
    }
    QJsonValue gpu(QJsonValue::Null);
    if (s.gpu) {
        gpu = QJsonObject{{QStringLiteral("utilization"), s.gpu->utilization},
                          {QStringLiteral("vramInUseBytes"), number(s.gpu->vramInUseBytes)}};
    }
    QJsonValue power(QJsonValue::Null);
    if (s.power) {
        power = QJsonObject{{QStringLiteral("isPresent"), s.power->isPresent},
                            {QStringLiteral("charge"), s.power->charge},
                            {QStringLiteral("isCharging"), s.power->isCharging},
                            {QStringLiteral("watts"), s.power->watts},
                            {QStringLiteral("timeRemaining"), s.power->timeRemaining},
                            {QStringLiteral("thermal"), QString::fromLatin1(thermalName(s.power->thermal))}};
    }
    return QJsonObject{
        {QStringLiteral("cpu"), QJsonObject{{QStringLiteral("total"), s.cpu.total},
                                            {QStringLiteral("user"), s.cpu.user},
                                            {QStringLiteral("system"), s.cpu.system},
                                            {QStringLiteral("perCore"), perCore}}},
        {QStringLiteral("memory"), QJsonObject{{QStringLiteral("app"), s.memory.app},
                                               {QStringLiteral("wired"), s.memory.wired},
                                               {QStringLiteral("compressed"), s.memory.compressed},
                                               {QStringLiteral("cached"), s.memory.cached},
                                               {QStringLiteral("used"), s.memory.used},
                                               {QStringLiteral("totalBytes"), number(s.memory.totalBytes)},
                                               {QStringLiteral("swapUsed"), number(s.memory.swapUsed)},
                                               {QStringLiteral("swapTotal"), number(s.memory.swapTotal)}}},
        {QStringLiteral("gpu"), gpu},
        {QStringLiteral("disk"), QJsonObject{{QStringLiteral("readBytesPerSec"), s.disk.readBytesPerSec},
                                             {QStringLiteral("writeBytesPerSec"), s.disk.writeBytesPerSec},
                                             {QStringLiteral("volumes"), volumes}}},
        {QStringLiteral("network"), QJsonObject{{QStringLiteral("downBytesPerSec"), s.network.downBytesPerSec},
                                                {QStringLiteral("upBytesPerSec"), s.network.upBytesPerSec},
                                                {QStringLiteral("perInterface"), interfaces}}},
        {QStringLiteral("power"), power},
        {QStringLiteral("fans"), fans},
        {QStringLiteral("temperature"), s.temperature},
    };
}

QJsonArray processesToJson(const std::vector<ProcessSample>& processes, std::uint64_t physicalMemoryBytes) {
    QJsonArray list;
    for (const ProcessSample& p : processes) {
        list.append(QJsonObject{{QStringLiteral("pid"), p.pid},
                                {QStringLiteral("name"), p.name},
                                {QStringLiteral("cpu"), p.cpu},
                                {QStringLiteral("memory"), p.memory},
                                {QStringLiteral("memoryText"), p.memoryText(physicalMemoryBytes)},
                                {QStringLiteral("disk"), p.disk},
                                {QStringLiteral("isApp"), p.isApp}});
    }
    return list;
}

} // namespace tillory::monitor
