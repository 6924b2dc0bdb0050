// scan: open, scan barcodes one trigger press at a time, print each, close.
#include <string>

#include "QVPlatform.h"
#include "QV_Rizoviv2I_RO25.h"
#include "barcode_receiver.h"
#include "commands.h"
#include "export_check.h"
#include "imager_session.h"
#include "os/process.h"
#include "output.h"

namespace qv::cli {
namespace {

// With the embedded engine nothing but the queued barcodes can come.
constexpr uint32_t kEmbeddedTimeoutSeconds = 10;

void PrintBarcode(uint32_t number, ReceiveMode mode, const ReceivedBarcode& b) {
    if (JsonOutput()) {
        // The same keys in every mode; null where the mode has no such value.
        JsonObject object;
        object.Add("barcode", number).Add("mode", ReceiveModeName(mode));
        if (mode == ReceiveMode::Message || mode == ReceiveMode::Callback) {
            object.Add("symbology", b.symbology).Add("name", SymbologyTitle(b.symbology));
        } else {
            object.AddNull("symbology").AddNull("name");
        }
        object.Add("text", ToUtf8(b.text));
        if (mode == ReceiveMode::Keyboard || mode == ReceiveMode::Clipboard) {
            object.Add("key_strokes", FormatKeyStrokes(b.keys));
        } else {
            object.AddNull("key_strokes");
        }
        PrintJson(object);
        return;
    }
    const std::string head = "barcode " + std::to_string(number) + ": ";
    switch (mode) {
        case ReceiveMode::Message:
        case ReceiveMode::Callback:
            PrintLine(head + std::to_string(b.symbology) + " " +
                      std::string(SymbologyTitle(b.symbology)) + " " + Quoted(ToUtf8(b.text)));
            break;
        case ReceiveMode::Keyboard:
            PrintLine(head + "typed " + Quoted(ToUtf8(b.text)));
            PrintLine("  key strokes: " + FormatKeyStrokes(b.keys));
            break;
        case ReceiveMode::Clipboard:
            PrintLine(head + "clipboard " + Quoted(ToUtf8(b.text)));
            if (!b.keys.empty()) PrintLine("  key strokes: " + FormatKeyStrokes(b.keys));
            break;
    }
}

}  // namespace

int RunScan(const Invocation& inv, os::InterruptWatch& watch) {
    const ScanOptions& scan = inv.scan;
    const bool deviceConfigured = os::GetEnv("QV_PORT_COM2") || os::GetEnv("QV_DRIVER_BAR1");
    if (deviceConfigured && !scan.barcodes.empty()) {
        throw UsageError(
            "--barcode needs the embedded simulator; unset QV_PORT_COM2 and "
            "QV_DRIVER_BAR1 to use it");
    }
    if (!deviceConfigured && scan.barcodes.empty()) {
        throw UsageError(
            "the embedded simulator reads only the barcodes it is given: add "
            "--barcode SYMBOLOGY:TEXT");
    }
    ImagerSession session({inv.trace, inv.log, false});
    for (const BarcodeToQueue& barcode : scan.barcodes)
        session.Engine()->Queue(barcode);
    const uint32_t count = scan.count.value_or(static_cast<uint32_t>(scan.barcodes.size()));
    const uint32_t timeout =
        scan.timeoutSeconds.value_or(session.Embedded() ? kEmbeddedTimeoutSeconds : 0);

    BarcodeReceiver receiver(scan.mode, watch);
    if (receiver.Window() == nullptr) throw CommandFailed("cannot create the receiving window");
    session.Open();
    // The window gets the barcodes of the message and callback modes (the
    // library tests the window first, also when a callback is named), and
    // in every mode the word that the engine's device went away.
    Check("QVImagerSetWindow", QVImagerSetWindow(receiver.Window()));
    switch (scan.mode) {
        case ReceiveMode::Message:
        case ReceiveMode::Callback:
            break;
        case ReceiveMode::Keyboard:
            Check("QVImagerSetReceiveType", QVImagerSetReceiveType(1));
            break;
        case ReceiveMode::Clipboard:
            Check("QVImagerSetReceiveType", QVImagerSetReceiveType(2));
            break;
    }
    PrintLine("scanning (" + std::string(ReceiveModeName(scan.mode)) + "), " +
              (count == 0 ? std::string("until Ctrl-C")
                          : std::to_string(count) + " barcode" + (count == 1 ? "" : "s")));
    if (os::GetEnv("QV_DRIVER_BAR1") == "none") {
        PrintLine(
            "QV_DRIVER_BAR1=none: the trigger line is not switched; press the engine's trigger");
    }

    uint32_t received = 0;
    bool interrupted = false;
    // Output that cannot be written (a closed pipe, a full disk) ends the scan
    // like Ctrl-C: the imager is closed before the program ends.
    while ((count == 0 || received < count) && !watch.Interrupted() && !OutputFailed()) {
        receiver.Arm();
        const int32_t started = QVImagerScanStart(receiver.Callback());
        if (started != 1 && receiver.DeviceLost()) {
            session.Close();
            throw CommandFailed("the engine's device went away (unplugged or hung up)");
        }
        Check("QVImagerScanStart", started);
        ReceivedBarcode barcode;
        auto outcome = BarcodeReceiver::Outcome::TimedOut;
        {
            EngineWatch::Activity waiting(session.Watch(), "waiting for a barcode");
            outcome = receiver.Wait(timeout * 1000, barcode);
        }
        if (outcome == BarcodeReceiver::Outcome::Barcode) {
            PrintBarcode(++received, scan.mode, barcode);
            continue;
        }
        if (outcome == BarcodeReceiver::Outcome::DeviceLost) {
            session.Close();
            throw CommandFailed("the engine's device went away (unplugged or hung up)");
        }
        Check("QVImagerScanStop", QVImagerScanStop());
        if (outcome == BarcodeReceiver::Outcome::TimedOut) {
            session.Close();
            throw CommandFailed("no barcode within " + std::to_string(timeout) +
                                " s (is its symbology enabled? --trace shows the engine's side)");
        }
        interrupted = true;
    }
    interrupted = interrupted || watch.Interrupted();
    session.Close();
    if (const uint32_t untyped = QVPlatformGetUntypedCharacters(); untyped != 0) {
        PrintLine("key strokes: " + std::to_string(untyped) + " character" +
                  (untyped == 1 ? "" : "s") +
                  " could not be typed in the keyboard's layouts (the log names them)");
    }
    const bool shortOfCount = count != 0 && received < count;
    const uint32_t counted = shortOfCount ? count : received;
    PrintLine(std::string(interrupted ? "interrupted: " : "done: ") + std::to_string(received) +
              (shortOfCount ? " of " + std::to_string(count) : "") + " barcode" +
              (counted == 1 ? "" : "s") + ", scan stopped, imager closed");
    // Fewer barcodes than asked for is no success: the shell's status for the
    // signal that cut the scan short (130 for Ctrl-C). A scan without a count
    // ends by a signal as intended.
    if (interrupted && shortOfCount && watch.Signal() != 0) return 128 + watch.Signal();
    return 0;
}

}  // namespace qv::cli
