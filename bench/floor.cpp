#include "bench/floor.h"

#include <cstdio>

namespace qv::bench {
namespace {

bool TakenAfterOwnSettle(uint8_t type) {
    switch (type) {
        case 0x05:  // RESEND
        case 0x06:  // ACK
        case 0x15:  // NAK
        case 0x1B:  // BUSY
            return false;
        default:
            return true;
    }
}

}  // namespace

Exchange operator-(const Exchange& after, const Exchange& before) {
    Exchange d;
    for (const auto& [type, count] : after.engineFrames) {
        const auto it = before.engineFrames.find(type);
        const uint64_t old = it == before.engineFrames.end() ? 0 : it->second;
        if (count > old) d.engineFrames[type] = count - old;
    }
    d.wakePulses = after.wakePulses - before.wakePulses;
    d.triggerReleases = after.triggerReleases - before.triggerReleases;
    d.recordReads = after.recordReads - before.recordReads;
    d.hostBytes = after.hostBytes - before.hostBytes;
    d.engineBytes = after.engineBytes - before.engineBytes;
    return d;
}

uint64_t SettleWaits(const Exchange& exchange) {
    uint64_t n = 0;
    for (const auto& [type, count] : exchange.engineFrames) {
        if (TakenAfterOwnSettle(type)) n += count;
    }
    return n;
}

double LineTimeMs(uint64_t bytes) {
    return static_cast<double>(bytes) * kBitsPerByte * 1000.0 / kBaud;
}

Floor FloorOf(const Exchange& exchange, double fixedMs) {
    Floor f;
    f.settleWaits = SettleWaits(exchange);
    f.waitsMs = fixedMs + static_cast<double>(exchange.wakePulses) * kWakePulseMs +
                static_cast<double>(f.settleWaits) * kSettleMs +
                static_cast<double>(exchange.recordReads) * kRecordReadPauseMs +
                static_cast<double>(exchange.triggerReleases) * kTriggerReleaseMs;
    f.lineMs = LineTimeMs(exchange.hostBytes + exchange.engineBytes);
    return f;
}

std::string DescribeFloor(const Exchange& exchange, double fixedMs) {
    const Floor f = FloorOf(exchange, fixedMs);
    char text[256];
    std::snprintf(
        text, sizeof text,
        "%.0f fixed + %llu wake x %.0f + %llu settle x %.0f + %llu read x %.0f + "
        "%llu trigger x %.0f = %.0f ms (line: %llu B, %.1f ms)",
        fixedMs, static_cast<unsigned long long>(exchange.wakePulses), kWakePulseMs,
        static_cast<unsigned long long>(f.settleWaits), kSettleMs,
        static_cast<unsigned long long>(exchange.recordReads), kRecordReadPauseMs,
        static_cast<unsigned long long>(exchange.triggerReleases), kTriggerReleaseMs, f.waitsMs,
        static_cast<unsigned long long>(exchange.hostBytes + exchange.engineBytes), f.lineMs);
    return text;
}

}  // namespace qv::bench
