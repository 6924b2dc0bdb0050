// Line access through libgpiod 2.x: one request per line, each its own
// file descriptor, so a line is released as it was held.
#include <dirent.h>
#include <gpiod.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/driver/gpio_lines.h"

namespace qv::platform {
namespace {

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* object) const { Free(object); }
};
template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, Freer<T, Free>>;

using Chip = Owned<gpiod_chip, gpiod_chip_close>;
using ChipInfo = Owned<gpiod_chip_info, gpiod_chip_info_free>;
using LineInfo = Owned<gpiod_line_info, gpiod_line_info_free>;
using LineSettings = Owned<gpiod_line_settings, gpiod_line_settings_free>;
using LineConfig = Owned<gpiod_line_config, gpiod_line_config_free>;
using RequestConfig = Owned<gpiod_request_config, gpiod_request_config_free>;
using LineRequest = Owned<gpiod_line_request, gpiod_line_request_release>;

// The settings of one line as a line configuration; null with errno.
LineConfig ConfigFor(unsigned offset, gpiod_line_direction direction, bool activeLow,
                     gpiod_line_value level = GPIOD_LINE_VALUE_INACTIVE) {
    LineSettings settings(gpiod_line_settings_new());
    LineConfig config(gpiod_line_config_new());
    if (!settings || !config) return nullptr;
    gpiod_line_settings_set_active_low(settings.get(), activeLow);
    if (gpiod_line_settings_set_direction(settings.get(), direction) != 0 ||
        gpiod_line_settings_set_output_value(settings.get(), level) != 0 ||
        gpiod_line_config_add_line_settings(config.get(), &offset, 1, settings.get()) != 0) {
        return nullptr;
    }
    return config;
}

class GpioChipLinesV2 final : public GpioChipLines {
  public:
    GpioChipLinesV2(Chip chip, ChipInfo info) : m_chip(std::move(chip)), m_info(std::move(info)) {}
    // Each line's request is released before the chip is closed.
    ~GpioChipLinesV2() override {
        for (LineRequest& request : m_requests)
            request.reset();
    }
    GpioChipLinesV2(const GpioChipLinesV2&) = delete;
    GpioChipLinesV2& operator=(const GpioChipLinesV2&) = delete;

    std::string Name() const override { return gpiod_chip_info_get_name(m_info.get()); }
    unsigned LineCount() const override {
        return static_cast<unsigned>(gpiod_chip_info_get_num_lines(m_info.get()));
    }

    std::optional<unsigned> FindLine(const std::string& name) override {
        const int offset = gpiod_chip_get_line_offset_from_name(m_chip.get(), name.c_str());
        if (offset < 0) return std::nullopt;
        return static_cast<unsigned>(offset);
    }

    bool Request(size_t slot, unsigned offset, const std::string& consumer, bool input,
                 bool activeLow) override {
        const LineConfig config = ConfigFor(
            offset, input ? GPIOD_LINE_DIRECTION_INPUT : GPIOD_LINE_DIRECTION_AS_IS, activeLow);
        RequestConfig request(gpiod_request_config_new());
        if (!config || !request) return false;
        gpiod_request_config_set_consumer(request.get(), consumer.c_str());
        LineRequest held(gpiod_chip_request_lines(m_chip.get(), request.get(), config.get()));
        if (!held) return false;
        m_requests.at(slot) = std::move(held);
        m_offsets.at(slot) = offset;
        return true;
    }

    bool MakeOutput(size_t slot, bool activeLow, int level) override {
        const LineConfig config =
            ConfigFor(m_offsets.at(slot), GPIOD_LINE_DIRECTION_OUTPUT, activeLow, Value(level));
        return config &&
               gpiod_line_request_reconfigure_lines(m_requests.at(slot).get(), config.get()) == 0;
    }

    int Get(size_t slot) override {
        return gpiod_line_request_get_value(m_requests.at(slot).get(), m_offsets.at(slot));
    }
    bool Set(size_t slot, int level) override {
        return gpiod_line_request_set_value(m_requests.at(slot).get(), m_offsets.at(slot),
                                            Value(level)) == 0;
    }

    std::string Holder(unsigned offset) override {
        const LineInfo info(gpiod_chip_get_line_info(m_chip.get(), offset));
        if (!info) return {};
        const char* holder = gpiod_line_info_get_consumer(info.get());
        return holder != nullptr ? holder : "";
    }

  private:
    static gpiod_line_value Value(int level) {
        return level != 0 ? GPIOD_LINE_VALUE_ACTIVE : GPIOD_LINE_VALUE_INACTIVE;
    }

    const Chip m_chip;
    const ChipInfo m_info;
    std::array<LineRequest, kSlots> m_requests;
    std::array<unsigned, kSlots> m_offsets{};
};

std::unique_ptr<GpioChipLines> Opened(Chip chip) {
    if (!chip) return nullptr;
    ChipInfo info(gpiod_chip_get_info(chip.get()));
    if (!info) return nullptr;
    return std::make_unique<GpioChipLinesV2>(std::move(chip), std::move(info));
}

// The GPIO character devices under /dev, in name order.
std::vector<std::string> ChipPaths() {
    std::vector<std::string> paths;
    DIR* dev = ::opendir("/dev");
    if (dev == nullptr) return paths;
    while (const dirent* entry = ::readdir(dev)) {
        if (std::strncmp(entry->d_name, "gpiochip", 8) == 0) {
            paths.push_back(std::string("/dev/") + entry->d_name);
        }
    }
    ::closedir(dev);
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::unique_ptr<GpioChipLines> OpenByLabel(const std::string& label) {
    for (const std::string& path : ChipPaths()) {
        Chip chip(gpiod_chip_open(path.c_str()));
        if (!chip) continue;
        const ChipInfo info(gpiod_chip_get_info(chip.get()));
        if (info && label == gpiod_chip_info_get_label(info.get())) return Opened(std::move(chip));
    }
    return nullptr;
}

}  // namespace

// libgpiod 2 opens paths only; the lookup is the one 1.6 made, so that a
// binding means the same chip under either. A chip this user cannot open is
// passed over in the search by label.
std::unique_ptr<GpioChipLines> OpenGpioChip(const std::string& chip) {
    if (!chip.empty() &&
        std::all_of(chip.begin(), chip.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const std::string path =
            "/dev/gpiochip" + std::to_string(std::strtoul(chip.c_str(), nullptr, 10));
        return Opened(Chip(gpiod_chip_open(path.c_str())));
    }
    if (auto labelled = OpenByLabel(chip)) return labelled;
    const std::string path = chip.starts_with("/dev/") ? chip : "/dev/" + chip;
    return Opened(Chip(gpiod_chip_open(path.c_str())));
}

}  // namespace qv::platform
