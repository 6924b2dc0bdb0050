#include "sim/commands.h"

#include <charconv>
#include <sstream>
#include <vector>

#include "sim/symbologies.h"

namespace qv::sim {
namespace {

std::vector<std::string> Words(std::string_view line) {
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

template <class T>
bool Number(std::string_view text, T& value, int base = 10) {
    if (base == 16 && (text.starts_with("0x") || text.starts_with("0X"))) text.remove_prefix(2);
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool HexBytesFrom(const std::vector<std::string>& words, size_t from, std::vector<uint8_t>& out) {
    for (size_t i = from; i < words.size(); ++i) {
        uint8_t b = 0;
        if (!Number(words[i], b, 16)) return false;
        out.push_back(b);
    }
    return true;
}

CommandOutcome Fail(std::string why) {
    return {why, false, false};
}

std::string DescribeFaults(const Faults& f) {
    std::ostringstream out;
    out << "silent " << (f.silent ? "on" : "off") << "; nak ";
    if (f.nakReason) {
        out << HexBytes(std::span<const uint8_t>(&*f.nakReason, 1));
    } else {
        out << "off";
    }
    out << "; first "
        << (f.firstAnswer == FirstAnswer::Busy     ? "busy"
            : f.firstAnswer == FirstAnswer::Resend ? "resend"
                                                   : "off")
        << (f.answerAfterFirst ? "" : " (no answer after it)") << "; late " << f.replyDelayMs
        << " ms; count " << f.commandsAffected << "; garbage "
        << (f.garbage.empty() ? "off" : HexBytes(f.garbage)) << "; split ";
    if (f.splitAt.empty()) out << "off";
    for (size_t at : f.splitAt)
        out << at << ' ';
    if (!f.splitAt.empty()) out << "pause " << f.splitPauseMs << " ms";
    out << "; refuse 0x" << std::hex << f.refuseDriverCodes;
    return out.str();
}

CommandOutcome FaultCommand(Simulator& sim, const std::vector<std::string>& w) {
    Faults f = sim.GetFaults();
    const std::string what = w.size() > 1 ? w[1] : "";
    const std::string arg = w.size() > 2 ? w[2] : "";
    const bool off = arg == "off";
    if (what == "clear") {
        f = Faults{};
    } else if (what == "silent" && (arg == "on" || off)) {
        f.silent = !off;
    } else if (what == "nak") {
        uint8_t reason = 0;
        if (off) {
            f.nakReason.reset();
        } else if (Number(arg, reason, 16)) {
            f.nakReason = reason;
        } else {
            return Fail("usage: fault nak <reason hex>|off");
        }
    } else if (what == "first" && (arg == "busy" || arg == "resend" || off)) {
        f.firstAnswer =
            off ? FirstAnswer::None : (arg == "busy" ? FirstAnswer::Busy : FirstAnswer::Resend);
        f.answerAfterFirst = !(w.size() > 3 && w[3] == "only");
    } else if (what == "late" && Number(arg, f.replyDelayMs)) {
    } else if (what == "count" && Number(arg, f.commandsAffected)) {
    } else if (what == "garbage") {
        f.garbage.clear();
        if (!off && (!HexBytesFrom(w, 2, f.garbage) || f.garbage.empty())) {
            return Fail("usage: fault garbage <hex bytes>|off");
        }
    } else if (what == "split") {
        f.splitAt.clear();
        if (!off) {
            if (!Number(arg, f.splitPauseMs) || w.size() < 4) {
                return Fail("usage: fault split <pause ms> <offset>...|off");
            }
            for (size_t i = 3; i < w.size(); ++i) {
                size_t at = 0;
                if (!Number(w[i], at)) return Fail("bad offset " + w[i]);
                f.splitAt.push_back(at);
            }
        }
    } else if (what == "refuse") {
        f.refuseDriverCodes = 0;
        for (size_t i = 2; i < w.size() && !off; ++i) {
            uint32_t code = 0;
            if (w[i] == "all") {
                f.refuseDriverCodes = 0xFFFFFFFF;
            } else if (Number(w[i], code) && code < 32) {
                f.refuseDriverCodes |= 1u << code;
            } else {
                return Fail("usage: fault refuse <code>...|all|off");
            }
        }
    } else if (what != "show" && !what.empty()) {
        return Fail("unknown fault; type help");
    }
    sim.SetFaults(f);
    return {"faults: " + DescribeFaults(f)};
}

}  // namespace

bool UnescapeText(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] == 'x') {
            uint8_t b = 0;
            if (!Number(text.substr(i + 2, 2), b, 16)) return false;
            out += static_cast<char>(b);
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

std::string HelpText() {
    return "barcodes:  <symbology number or name> <text>   e.g. 12 ABC-123, qr https://x\n"
           "           (\\\\ is a backslash, \\xNN any byte)\n"
           "           clear                 forget the queued barcodes\n"
           "power:     suspend [keep-supply] | resume | drop-supply\n"
           "engine:    event [hex bytes] | decode <ms> | ack-resend <ms>\n"
           "           param <group hex> <parameter hex> [value] | table | status\n"
           "faults:    fault silent on|off | fault nak <reason hex>|off\n"
           "           fault first busy|resend [only]|off | fault late <ms>\n"
           "           fault count <n, -1 = all commands> | fault garbage <hex...>|off\n"
           "           fault split <pause ms> <offset>...|off | fault refuse <code>...|all|off\n"
           "           fault clear | fault show\n"
           "other:     symbologies | help | quit";
}

CommandOutcome RunCommand(Simulator& sim, std::string_view line) {
    const std::vector<std::string> w = Words(line);
    if (w.empty() || w[0].starts_with("#")) return {};
    const std::string& cmd = w[0];
    if (cmd == "help") return {HelpText()};
    if (cmd == "quit" || cmd == "exit") return {"bye", true, true};
    if (cmd == "suspend") {
        const size_t n = sim.Suspend(!(w.size() > 1 && w[1] == "keep-supply"));
        return {"suspend sent to " + std::to_string(n) + " listener(s)"};
    }
    if (cmd == "resume") return {"resume sent to " + std::to_string(sim.Resume()) + " listener(s)"};
    if (cmd == "drop-supply") {
        sim.DropSupply();
        return {"supply off"};
    }
    if (cmd == "clear") {
        sim.ClearBarcodes();
        return {"no barcodes queued"};
    }
    if (cmd == "event") {
        std::vector<uint8_t> payload;
        if (!HexBytesFrom(w, 1, payload)) return Fail("usage: event [hex bytes]");
        if (!sim.SendEventNotification(payload)) return Fail("the engine has no supply");
        return {"event sent"};
    }
    if (cmd == "decode" || cmd == "ack-resend") {
        uint32_t ms = 0;
        if (w.size() != 2 || !Number(w[1], ms)) return Fail("usage: " + cmd + " <ms>");
        cmd == "decode" ? sim.SetDecodeTime(ms) : sim.SetAckResendTime(ms);
        return {cmd + " time " + std::to_string(ms) + " ms"};
    }
    if (cmd == "param") {
        uint8_t g = 0, p = 0;
        uint16_t v = 0;
        if (w.size() < 3 || !Number(w[1], g, 16) || !Number(w[2], p, 16) ||
            (w.size() > 3 && !Number(w[3], v))) {
            return Fail("usage: param <group hex> <parameter hex> [value]");
        }
        if (w.size() > 3 && !sim.SetParameter(g, p, v)) return Fail("no such parameter");
        const auto value = sim.Parameter(g, p);
        if (!value) return Fail("no such parameter");
        return {w[1] + " " + w[2] + " = " + std::to_string(*value)};
    }
    if (cmd == "table") {
        std::ostringstream out;
        for (const Entry& e : sim.Parameters()) {
            const uint8_t pair[2] = {e.group, e.parameter};
            out << HexBytes(pair) << " = " << e.value << '\n';
        }
        std::string text = out.str();
        if (!text.empty()) text.pop_back();
        return {text};
    }
    if (cmd == "status") {
        const LineLevels l = sim.Lines();
        return {std::string("supply ") + (l.power ? "1" : "0") + ", trigger " +
                (l.trigger ? "1 (released)" : "0 (pressed)") + ", wake " + (l.wake ? "1" : "0") +
                ", " + (sim.Awake() ? "awake" : "asleep") + ", " +
                std::to_string(sim.QueuedBarcodes()) + " barcode(s) queued, " +
                std::to_string(sim.PowerListeners()) + " power listener(s)"};
    }
    if (cmd == "symbologies") {
        std::ostringstream out;
        for (const Symbology& s : Symbologies())
            out << s.number << ' ' << s.name << '\n';
        std::string text = out.str();
        text.pop_back();
        return {text};
    }
    if (cmd == "fault" || cmd == "faults") return FaultCommand(sim, w);

    // A barcode: symbology, one blank, then the text as it stands.
    const Symbology* s = FindSymbology(cmd);
    if (s == nullptr) return Fail("unknown command or symbology '" + cmd + "'; type help");
    const size_t start = line.find_first_not_of(" \t");
    const size_t gap = line.find_first_of(" \t", start);
    std::string text;
    if (gap != std::string_view::npos && !UnescapeText(line.substr(gap + 1), text)) {
        return Fail("bad escape in the text");
    }
    std::string error;
    if (!sim.QueueBarcode(s->number, text, &error)) return Fail(error);
    return {"queued " + std::string(s->name) + " (" + std::to_string(text.size()) + " bytes), " +
            std::to_string(sim.QueuedBarcodes()) + " waiting"};
}

}  // namespace qv::sim
