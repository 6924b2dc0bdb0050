// Line access through libgpiod 1.6: one request per line.
#include <gpiod.h>

#include <array>
#include <cerrno>

#include "platform/driver/gpio_lines.h"

namespace qv::platform {
namespace {

class GpioChipLinesV1 final : public GpioChipLines {
  public:
    explicit GpioChipLinesV1(gpiod_chip* chip) : m_chip(chip) {}
    // Closing the chip releases its lines.
    ~GpioChipLinesV1() override { gpiod_chip_close(m_chip); }
    GpioChipLinesV1(const GpioChipLinesV1&) = delete;
    GpioChipLinesV1& operator=(const GpioChipLinesV1&) = delete;

    std::string Name() const override { return gpiod_chip_name(m_chip); }
    unsigned LineCount() const override { return gpiod_chip_num_lines(m_chip); }

    std::optional<unsigned> FindLine(const std::string& name) override {
        gpiod_line* line = gpiod_chip_find_line(m_chip, name.c_str());
        if (line == nullptr) return std::nullopt;
        return gpiod_line_offset(line);
    }

    bool Request(size_t slot, unsigned offset, const std::string& consumer, bool input,
                 bool activeLow) override {
        gpiod_line* line = gpiod_chip_get_line(m_chip, offset);
        if (line == nullptr) return false;
        gpiod_line_request_config config{};
        config.consumer = consumer.c_str();
        config.request_type =
            input ? GPIOD_LINE_REQUEST_DIRECTION_INPUT : GPIOD_LINE_REQUEST_DIRECTION_AS_IS;
        config.flags = activeLow ? GPIOD_LINE_REQUEST_FLAG_ACTIVE_LOW : 0;
        if (gpiod_line_request(line, &config, 0) != 0) return false;
        m_lines.at(slot) = line;
        return true;
    }

    bool MakeOutput(size_t slot, bool activeLow, int level) override {
        return gpiod_line_set_config(m_lines.at(slot), GPIOD_LINE_REQUEST_DIRECTION_OUTPUT,
                                     activeLow ? GPIOD_LINE_REQUEST_FLAG_ACTIVE_LOW : 0,
                                     level) == 0;
    }

    int Get(size_t slot) override { return gpiod_line_get_value(m_lines.at(slot)); }
    bool Set(size_t slot, int level) override {
        return gpiod_line_set_value(m_lines.at(slot), level) == 0;
    }

    std::string Holder(unsigned offset) override {
        gpiod_line* line = gpiod_chip_get_line(m_chip, offset);
        if (line == nullptr) return {};
        gpiod_line_update(line);
        const char* holder = gpiod_line_consumer(line);
        return holder != nullptr ? holder : "";
    }

  private:
    gpiod_chip* const m_chip;
    std::array<gpiod_line*, kSlots> m_lines{};
};

}  // namespace

std::unique_ptr<GpioChipLines> OpenGpioChip(const std::string& chip) {
    gpiod_chip* opened = gpiod_chip_open_lookup(chip.c_str());
    if (opened == nullptr) return nullptr;
    return std::make_unique<GpioChipLinesV1>(opened);
}

}  // namespace qv::platform
