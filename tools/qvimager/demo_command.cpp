// demo: the scripted session of `make run`, against the embedded engine.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "QV_Rizoviv2I_RO25.h"
#include "barcode_receiver.h"
#include "commands.h"
#include "export_check.h"
#include "imager_session.h"
#include "output.h"
#include "settings_exports.h"

namespace qv::cli {
namespace {

constexpr uint32_t kBarcodeTimeoutMs = 10000;

struct DemoBarcode {
    int symbology;
    const char* text;
};

constexpr DemoBarcode kBarcodes[] = {
    {QV_SYM_CODE39, "QV-DEMO-39"},
    {QV_SYM_QR, "https://example.com/qvimager?demo=1"},
    {QV_SYM_CODE128, "Code 128: 0123456789"},
};

// The demo switches the Code 39 options between these two, neither of them
// the engine's factory setting, so that the restarted engine shows the
// value only if the library restored it.
const std::vector<int32_t> kCode39First = {1, 0, 1, 0};
const std::vector<int32_t> kCode39Second = {1, 1, 0, 0};

void Step(const std::string& title) {
    PrintLine("\n== " + title);
}
void Say(const std::string& text) {
    PrintLine("   " + text);
}

void Open(ImagerSession& session) {
    const auto start = std::chrono::steady_clock::now();
    session.Open();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    Say("QVImagerOpen: ok (" + std::to_string(ms) + " ms)");
}

void Close(ImagerSession& session) {
    session.Close();
    Say("QVImagerClose: ok");
}

void ShowVersion() {
    char16_t firmware[256] = {}, boot[256] = {}, hardware[256] = {};
    Check("QVImagerGetVersion", QVImagerGetVersion(firmware, boot, hardware));
    Say("firmware  " + ToUtf8(TextOf(firmware, 256)));
    Say("boot      " + ToUtf8(TextOf(boot, 256)));
    Say("hardware  " + ToUtf8(TextOf(hardware, 256)));
}

// Also brings the library's copy of the flags up to date: a single flag is
// sent, and saved for the next open, from that copy.
void ShowEnabledCount() {
    EnableRecord record{};
    Check("QVImagerGetSymboleEnableByStruct", QVImagerGetSymboleEnableByStruct(&record));
    int32_t fields[sizeof(EnableRecord) / sizeof(int32_t)];
    std::memcpy(fields, &record, sizeof fields);
    const auto on =
        std::count_if(std::begin(fields), std::end(fields), [](int32_t v) { return v != 0; });
    Say("QVImagerGetSymboleEnableByStruct: " + std::to_string(on) + " of " +
        std::to_string(std::size(fields)) + " symbologies on");
}

void Enable(int symbology) {
    Check("QVImagerSetSymboleEnable", QVImagerSetSymboleEnable(symbology, 1));
    Say("QVImagerSetSymboleEnable(" + std::to_string(symbology) +
        ", 1): " + std::string(SymbologyTitle(symbology)) + " on");
}

}  // namespace

int RunDemo(const Invocation& inv, os::InterruptWatch& watch) {
    const auto start = std::chrono::steady_clock::now();
    PrintLine(
        "qvimager demo: a short session with the RO25 engine simulator running inside "
        "this program");
    ImagerSession session({inv.trace, inv.log, true});
    BarcodeReceiver receiver(ReceiveMode::Message, watch);
    if (receiver.Window() == nullptr) throw CommandFailed("cannot create the receiving window");

    Step("Open the imager");
    Open(session);
    Check("QVImagerSetWindow", QVImagerSetWindow(receiver.Window()));
    Say("QVImagerSetWindow: barcodes come to this program's window as message 0x0464");

    Step("Engine version");
    ShowVersion();

    Step("Enable Code 39 and QR Code (and Code 128 for the third barcode)");
    ShowEnabledCount();
    for (const DemoBarcode& b : kBarcodes)
        Enable(b.symbology);

    Step("Scan three barcodes the simulator holds in front of the imager");
    for (const DemoBarcode& b : kBarcodes) {
        session.Engine()->Queue({FindSymbology(b.symbology), b.text});
    }
    for (uint32_t n = 1; n <= std::size(kBarcodes); ++n) {
        if (watch.Interrupted()) break;
        receiver.Arm();
        const int32_t started = QVImagerScanStart(nullptr);
        if (started != 1 && receiver.DeviceLost()) {
            throw CommandFailed("the engine's device went away (unplugged or hung up)");
        }
        Check("QVImagerScanStart", started);
        ReceivedBarcode barcode;
        const auto outcome = receiver.Wait(kBarcodeTimeoutMs, barcode);
        if (outcome != BarcodeReceiver::Outcome::Barcode) {
            // After the device went away the stop has nothing left to stop.
            if (outcome == BarcodeReceiver::Outcome::DeviceLost) {
                throw CommandFailed("the engine's device went away (unplugged or hung up)");
            }
            Check("QVImagerScanStop", QVImagerScanStop());
            if (outcome == BarcodeReceiver::Outcome::Interrupted) break;
            throw CommandFailed("barcode " + std::to_string(n) + " did not come within " +
                                std::to_string(kBarcodeTimeoutMs / 1000) + " s");
        }
        std::string number = std::to_string(barcode.symbology);
        number.insert(0, number.size() < 3 ? 3 - number.size() : 0, ' ');
        std::string title(SymbologyTitle(barcode.symbology));
        title.resize(std::max<size_t>(title.size(), 9), ' ');
        Say("barcode " + std::to_string(n) + ": " + number + " " + title + " " +
            Quoted(ToUtf8(barcode.text)));
    }
    if (watch.Interrupted()) {
        session.Close();
        PrintLine("\ninterrupted: imager closed");
        return 0;
    }

    Step("Change a Code 39 option and read it back");
    const std::vector<int32_t> before = ReadOptions(OptionSet::Code39);
    Say("QVImagerGetCode39Setting: " + FormatValues(before));
    // Each run changes them, also when an earlier run left them set.
    const std::vector<int32_t>& wanted = before == kCode39First ? kCode39Second : kCode39First;
    WriteOptions(OptionSet::Code39, wanted);
    Say("QVImagerSetCode39Setting(" + FormatValues(wanted) + "): ok");
    std::vector<int32_t> options = ReadOptions(OptionSet::Code39);
    Say("QVImagerGetCode39Setting: " + FormatValues(options) +
        (options == wanted ? " (changed)" : " (NOT what was set)"));
    if (options != wanted) throw CommandFailed("the Code 39 option did not change");

    Step("Close the imager");
    Close(session);

    Step("Open again, on an engine restarted at its factory settings");
    session.Engine()->Restart();
    Say("the library applies its settings files at open");
    Open(session);
    options = ReadOptions(OptionSet::Code39);
    const bool kept = options == wanted;
    Say("QVImagerGetCode39Setting: " + FormatValues(options) +
        (kept ? " (the option survived)" : " (LOST)"));
    if (!kept) throw CommandFailed("the Code 39 option was not restored at open");

    Step("Close the imager");
    Close(session);

    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    char took[32];
    std::snprintf(took, sizeof took, "%.1f", seconds.count());
    PrintLine("\ndemo done in " + std::string(took) + " s");
    return 0;
}

}  // namespace qv::cli
