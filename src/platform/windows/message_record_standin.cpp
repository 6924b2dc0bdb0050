#include <deque>
#include <mutex>

#include "platform/log/trace.h"
#include "platform/windows/message_record.h"

namespace qv::platform {
namespace {

struct Record {
    std::mutex mutex;
    std::deque<std::string> lines;
};

// Never destroyed: effects may still be recorded while the process exits.
Record& TheRecord() {
    static Record* record = new Record;
    return *record;
}

}  // namespace

void RecordEffect(std::string line) {
    Record& record = TheRecord();
    std::lock_guard lock(record.mutex);
    // Traced under the lock so the file and the record agree on the order.
    TraceLine(line);
    if (record.lines.size() >= kMaxRecordedEffects) record.lines.pop_front();
    record.lines.push_back(std::move(line));
}

std::vector<std::string> RecordedEffects(std::string_view kind) {
    Record& record = TheRecord();
    std::lock_guard lock(record.mutex);
    std::vector<std::string> out;
    for (const std::string& line : record.lines) {
        if (kind.empty() ||
            (line.size() > kind.size() && line.starts_with(kind) && line[kind.size()] == ' ')) {
            out.push_back(line);
        }
    }
    return out;
}

void ClearRecordedEffects() {
    Record& record = TheRecord();
    std::lock_guard lock(record.mutex);
    record.lines.clear();
}

}  // namespace qv::platform
