// get and set: a symbology's enable flag and options, the general options,
// and every enable flag at once.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "QV_Rizoviv2I_RO25.h"
#include "commands.h"
#include "export_check.h"
#include "imager_session.h"
#include "os/process.h"
#include "output.h"
#include "settings_exports.h"

namespace qv::cli {
namespace {

using Kind = SettingTarget::Kind;

std::string Heading(const SettingTarget& t) {
    if (t.kind == Kind::Symbology) {
        return std::string(t.symbology->title) + " (" + std::to_string(t.symbology->number) + ")";
    }
    return std::string(t.title);
}

std::string Row(std::string_view label, const std::string& value) {
    std::string out = "  " + std::string(label);
    out.resize(std::max<size_t>(out.size() + 1, 20), ' ');
    return out + value;
}

std::string OptionsLabel(const OptionSetInfo& info) {
    return "options (" + std::string(info.stem) + ")";
}

int32_t GetOne(const char* name, int32_t (*get)(int32_t*)) {
    int32_t value = 0;
    Check(name, get(&value));
    return value;
}

void ShowGeneral() {
    const int32_t security = GetOne("QVImagerGetSecurtyLevel", &QVImagerGetSecurtyLevel);
    const int32_t aec = GetOne("QVImagerGetAECArea", &QVImagerGetAECArea);
    const int32_t search =
        GetOne("QVImagerGetExtensiveBarcodeSearch", &QVImagerGetExtensiveBarcodeSearch);
    int32_t dpm1 = 0, dpm2 = 0, dpm3 = 0;
    Check("QVImagerGetDPMSetting", QVImagerGetDPMSetting(&dpm1, &dpm2, &dpm3));
    if (JsonOutput()) {
        PrintJson(JsonObject()
                      .Add("security_level", security)
                      .Add("aec_area", aec)
                      .Add("extensive_search", search)
                      .Add("dpm", std::vector<int32_t>{dpm1, dpm2, dpm3}));
        return;
    }
    PrintLine(Row("security level", std::to_string(security)));
    PrintLine(Row("AEC area", std::to_string(aec)));
    PrintLine(Row("extensive search", std::to_string(search)));
    PrintLine(Row("DPM", FormatValues({dpm1, dpm2, dpm3})));
}

void ShowAllEnableFlags() {
    EnableRecord record{};
    Check("QVImagerGetSymboleEnableByStruct", QVImagerGetSymboleEnableByStruct(&record));
    // The record's fields follow the symbology table, one int32 each.
    int32_t fields[sizeof(EnableRecord) / sizeof(int32_t)];
    std::memcpy(fields, &record, sizeof fields);
    size_t slot = 0;
    for (const SymbologyName& s : SymbologyNames()) {
        if (JsonOutput()) {
            PrintJson(JsonObject()
                          .Add("symbology", s.number)
                          .Add("name", s.title)
                          .Add("enable", fields[slot++]));
            continue;
        }
        char line[80];
        std::snprintf(line, sizeof line, "  %3d %-28.*s %d", s.number,
                      static_cast<int>(s.title.size()), s.title.data(), fields[slot++]);
        PrintLine(line);
    }
}

void SetGeneral(const SetOptions& s) {
    if (s.securityLevel) {
        Check("QVImagerSetSecurtyLevel", QVImagerSetSecurtyLevel(*s.securityLevel));
        PrintLine(Row("security level", std::to_string(*s.securityLevel)));
    }
    if (s.aecArea) {
        Check("QVImagerSetAECArea", QVImagerSetAECArea(*s.aecArea));
        PrintLine(Row("AEC area", std::to_string(*s.aecArea)));
    }
    if (s.extensiveSearch) {
        Check("QVImagerSetExtensiveBarcodeSearch",
              QVImagerSetExtensiveBarcodeSearch(*s.extensiveSearch));
        PrintLine(Row("extensive search", std::to_string(*s.extensiveSearch)));
    }
    if (s.dpm) {
        std::vector<int32_t> current(3, 0);
        if (NeedsCurrent(*s.dpm)) {
            Check("QVImagerGetDPMSetting",
                  QVImagerGetDPMSetting(&current[0], &current[1], &current[2]));
        }
        const std::vector<int32_t> v = Merge(*s.dpm, current);
        Check("QVImagerSetDPMSetting", QVImagerSetDPMSetting(v[0], v[1], v[2]));
        PrintLine(Row("DPM", FormatValues(v)));
    }
}

// The library saves a record after the engine took it, but its exports do
// not say whether the save worked: the program looks at the file itself. A
// file that was not written may already hold the record (the library writes
// nothing then), which the library's own copy of the record tells.
class SavedFile {
  public:
    using Record = std::vector<uint8_t> (*)();

    SavedFile(const ImagerSession& session, const char* name, Record held)
        : m_dir(session.StateDirectory().empty() ? os::ExecutableDirectory()
                                                 : session.StateDirectory()),
          m_path(m_dir + "/" + name),
          m_held(held) {
        m_before = Stat(m_path);
    }

    // Throws CommandFailed unless the file was written since construction
    // or holds the library's record.
    void Check() const {
        const auto after = Stat(m_path);
        if (after && (!m_before || after->st_ino != m_before->st_ino ||
                      after->st_mtim.tv_sec != m_before->st_mtim.tv_sec ||
                      after->st_mtim.tv_nsec != m_before->st_mtim.tv_nsec)) {
            return;
        }
        if (after && Contents(m_path) == m_held()) return;
        // Making the directory again names why it is not there, if it is not.
        std::string reason = os::CreateDirectories(m_dir);
        if (reason.empty()) reason = os::WritableReason(m_dir);
        if (reason.empty()) reason = "the library could not write it";
        throw CommandFailed("the engine took the new settings, but saving them to " + m_path +
                            " failed (" + reason +
                            "); the next open gives the engine the old ones again");
    }

  private:
    static std::optional<struct stat> Stat(const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return std::nullopt;
        return st;
    }

    static std::vector<uint8_t> Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::string m_dir;
    std::string m_path;
    Record m_held;
    std::optional<struct stat> m_before;
};

template <typename R, int32_t (*Get)(R*)>
std::vector<uint8_t> HeldRecord() {
    R record{};
    if (Get(&record) != 1) return {};
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    return {bytes, bytes + sizeof record};
}

}  // namespace

int RunGet(const Invocation& inv) {
    ImagerSession session({inv.trace, inv.log, false});
    session.Open();
    const SettingTarget& t = inv.target;
    if (!JsonOutput()) PrintLine(Heading(t));
    switch (t.kind) {
        case Kind::Symbology: {
            int32_t enable = 0;
            Check("QVImagerGetSymboleEnable",
                  QVImagerGetSymboleEnable(t.symbology->number, &enable));
            std::vector<int32_t> options;
            if (t.options) options = ReadOptions(t.options->set);
            if (JsonOutput()) {
                JsonObject object;
                object.Add("symbology", t.symbology->number)
                    .Add("name", t.symbology->title)
                    .Add("enable", enable);
                // The same keys for every symbology: null where it has no options.
                if (t.options) {
                    object.Add("options_set", t.options->stem).Add("options", options);
                } else {
                    object.AddNull("options_set").AddNull("options");
                }
                PrintJson(object);
                break;
            }
            PrintLine(Row("enable", std::to_string(enable)));
            if (t.options) PrintLine(Row(OptionsLabel(*t.options), FormatValues(options)));
            break;
        }
        case Kind::OptionsOnly: {
            const std::vector<int32_t> options = ReadOptions(t.options->set);
            if (JsonOutput()) {
                PrintJson(JsonObject().Add("options_set", t.options->stem).Add("options", options));
                break;
            }
            PrintLine(Row(OptionsLabel(*t.options), FormatValues(options)));
            break;
        }
        case Kind::General:
            ShowGeneral();
            break;
        case Kind::All:
            ShowAllEnableFlags();
            break;
    }
    session.Close();
    return 0;
}

int RunSet(const Invocation& inv) {
    ImagerSession session({inv.trace, inv.log, false});
    session.Open();
    const SettingTarget& t = inv.target;
    const SetOptions& s = inv.set;
    PrintLine(Heading(t));
    std::vector<SavedFile> saved;
    if (s.enable) {
        saved.emplace_back(session, "BarcodeRO25Enable.dat",
                           &HeldRecord<EnableRecord, QVImagerGetSymboleEnableByStruct>);
    }
    if (s.options && t.options) {
        saved.emplace_back(session, "BarcodeRO25Detail.dat",
                           &HeldRecord<DetailRecord, QVImagerGetSymboleDetailByStruct>);
    }
    if (t.kind == Kind::General) {
        saved.emplace_back(session, "BarcodeRO25Other.dat",
                           &HeldRecord<OtherRecord, QVImagerGetOtherSettingByStruct>);
    }
    if (s.enable && t.kind == Kind::All) {
        Check("QVImagerSetALLSymboleEnable", QVImagerSetALLSymboleEnable(*s.enable));
        PrintLine(Row("enable", std::to_string(*s.enable)));
    } else if (s.enable) {
        // One flag is sent from the library's copy of all of them, which is
        // also what it saves for the next open: read the engine's first, so
        // that the other symbologies keep their state.
        int32_t before = 0;
        Check("QVImagerGetSymboleEnable", QVImagerGetSymboleEnable(t.symbology->number, &before));
        Check("QVImagerSetSymboleEnable", QVImagerSetSymboleEnable(t.symbology->number, *s.enable));
        PrintLine(Row("enable", std::to_string(before) + " -> " + std::to_string(*s.enable)));
    }
    if (s.options && t.options) {
        std::vector<int32_t> current;
        if (NeedsCurrent(*s.options)) current = ReadOptions(t.options->set);
        const std::vector<int32_t> values = Merge(*s.options, current);
        WriteOptions(t.options->set, values);
        PrintLine(Row(OptionsLabel(*t.options), FormatValues(values)));
    }
    if (t.kind == Kind::General) SetGeneral(s);
    for (const SavedFile& file : saved)
        file.Check();
    session.Close();
    return 0;
}

}  // namespace qv::cli
