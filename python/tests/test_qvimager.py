"""The Python module against ro25-sim: barcodes through asyncio and the
message descriptor, settings read back, text as str. Run by ctest with
QV_SIM (the simulator) and QVIMAGER_LIBRARY_DIR (the built libraries)."""
import asyncio
import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
import qvimager  # noqa: E402

BARCODES = [(12, "PYTHON-1"), (37, "héllo wörld"), (9, "PYTHON-3"), (12, "PYTHON-4")]


class AgainstSimulator(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        work = cls.work.name
        with open(os.path.join(work, "barcodes.txt"), "w", encoding="utf-8") as f:
            for symbology, text in BARCODES:
                f.write("%d %s\n" % (symbology, text))
        env_file = os.path.join(work, "env")
        cls.sim = subprocess.Popen(
            [os.environ["QV_SIM"], "--quiet", "--decode-ms", "20", "--barcodes",
             os.path.join(work, "barcodes.txt"), "--env-file", env_file, "--dir", work],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(env_file) and os.path.getsize(env_file) > 0:
                break
            time.sleep(0.1)
        with open(env_file, encoding="utf-8") as f:
            for line in f:
                name, _, value = line.strip().partition("=")
                if name:
                    os.environ[name] = value.strip("'\"")
        os.environ["QV_REGISTRY"] = os.path.join(work, "registry.reg")
        # The simulator sends the text's UTF-8 bytes.
        os.environ["QV_ANSI_CODEPAGE"] = "UTF-8"
        cls.imager = qvimager.Imager(application_dir=os.path.join(work, "app"))
        cls.imager.open()

    @classmethod
    def tearDownClass(cls):
        cls.imager.release()
        cls.sim.terminate()
        cls.sim.wait()
        cls.work.cleanup()

    def test_1_three_barcodes_reach_an_asyncio_loop_through_the_descriptor(self):
        imager = self.imager

        async def scan_three():
            got = []
            for _ in range(3):
                await imager.call(imager.scan_start)
                got.append(await asyncio.wait_for(imager.next_barcode(), 10))
            return got

        got = asyncio.run(scan_three())
        self.assertEqual(got, [qvimager.Barcode(s, t) for s, t in BARCODES[:3]])
        self.assertTrue(all(isinstance(b.text, str) for b in got))

    def test_2_a_barcode_without_a_loop(self):
        self.imager.scan_start()
        self.assertEqual(self.imager.read_barcode(timeout=10), qvimager.Barcode(*BARCODES[3]))
        # None queued now: the wait ends at its time-out.
        self.assertIsNone(self.imager.read_barcode(timeout=0.05))

    def test_3_settings_read_back_what_was_set(self):
        imager = self.imager
        for enabled in (False, True):
            with self.subTest(enabled=enabled):
                imager.set_symbology_enabled(qvimager.SYMBOLOGIES["qr"], enabled)
                self.assertEqual(imager.symbology_enabled(qvimager.SYMBOLOGIES["qr"]), enabled)
        before = imager.options("TLC39")
        for values in [(1, "B"), before]:
            with self.subTest(values=values):
                imager.set_options("TLC39", *values)
                self.assertEqual(imager.options("TLC39"), values)
        with self.assertRaises(TypeError):
            imager.set_options("QRCode", 1)
        with self.assertRaises(ValueError):
            imager.set_options("TLC39", 1, "BB")
        firmware, boot, hardware = imager.version()
        self.assertTrue(firmware)

    def test_4_a_call_the_library_refuses_raises(self):
        self.imager.close()
        try:
            with self.assertRaises(qvimager.ImagerError):
                self.imager.symbology_enabled(qvimager.SYMBOLOGIES["qr"])
        finally:
            self.imager.open()


class Text(unittest.TestCase):
    def test_utf16_text_becomes_str(self):
        import ctypes
        cases = [("", ""), ("ascii", "ascii"), ("héllo wörld", "héllo wörld"),
                 ("𝄞 clef", "𝄞 clef")]
        for text, expected in cases:
            with self.subTest(text=text):
                raw = ctypes.create_string_buffer(text.encode("utf-16-le") + b"\0\0")
                self.assertEqual(qvimager.utf16_at(ctypes.addressof(raw)), expected)
        # A lone surrogate is no text: replaced, not an exception.
        raw = ctypes.create_string_buffer(b"\x00\xd8a\x00\0\0")
        self.assertEqual(qvimager.utf16_at(ctypes.addressof(raw)), "\ufffda")


if __name__ == "__main__":
    unittest.main()
