#include "sim/os/gpio_sim_chip.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace qv::sim::os {
namespace {

namespace fs = std::filesystem;

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

std::string ReadLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

bool GpioSimChip::Create(const std::string& name, const std::string& label,
                         const std::vector<std::string>& lineNames, std::string* error) {
    auto failed = [&](const std::string& why) {
        if (error) *error = why;
        Remove();
        return false;
    };
    if (!fs::exists("/sys/kernel/config/gpio-sim")) {
        return failed("no /sys/kernel/config/gpio-sim: configfs or gpio-sim is missing");
    }
    m_config = "/sys/kernel/config/gpio-sim/" + name;
    const std::string bank = m_config + "/bank0";
    std::error_code ec;
    fs::create_directories(bank, ec);
    if (ec) return failed("cannot make " + bank + ": " + ec.message());
    m_lines = static_cast<unsigned>(lineNames.size());
    if (!WriteText(bank + "/num_lines", std::to_string(m_lines)) ||
        !WriteText(bank + "/label", label)) {
        return failed("cannot configure " + bank);
    }
    for (unsigned i = 0; i < m_lines; ++i) {
        const std::string line = bank + "/line" + std::to_string(i);
        fs::create_directory(line, ec);
        if (ec || !WriteText(line + "/name", lineNames[i])) return failed("cannot name " + line);
    }
    if (!WriteText(m_config + "/live", "1")) return failed("cannot make " + m_config + " live");
    m_chipName = ReadLine(bank + "/chip_name");
    m_sysfs = "/sys/devices/platform/" + ReadLine(m_config + "/dev_name") + "/" + m_chipName;
    // The gpio class names each chip after its base number.
    for (const auto& entry : fs::directory_iterator("/sys/class/gpio", ec)) {
        const std::string entryName = entry.path().filename();
        if (entryName.rfind("gpiochip", 0) == 0 &&
            ReadLine(entry.path().string() + "/label") == label) {
            m_base = std::stoi(entryName.substr(8));
        }
    }
    if (m_chipName.empty() || m_base < 0) return failed("the chip " + label + " did not appear");
    return true;
}

GpioSimChip::~GpioSimChip() {
    Remove();
}

void GpioSimChip::Remove() {
    if (m_config.empty()) return;
    WriteText(m_config + "/live", "0");
    for (unsigned i = 0; i < m_lines; ++i)
        ::rmdir((m_config + "/bank0/line" + std::to_string(i)).c_str());
    ::rmdir((m_config + "/bank0").c_str());
    ::rmdir(m_config.c_str());
    m_config.clear();
}

int GpioSimChip::Value(unsigned offset) const {
    const std::string v = ReadLine(m_sysfs + "/sim_gpio" + std::to_string(offset) + "/value");
    return v == "0" ? 0 : v == "1" ? 1 : -1;
}

bool GpioSimChip::Pull(unsigned offset, bool up) const {
    return WriteText(m_sysfs + "/sim_gpio" + std::to_string(offset) + "/pull",
                     up ? "pull-up" : "pull-down");
}

}  // namespace qv::sim::os
