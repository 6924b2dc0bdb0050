"""The Python module against ro25-sim: barcodes through asyncio and the
message descriptor, waits that end without a barcode, failures with their
cause, settings read back, text as str. Run by ctest with QV_SIM (the
simulator) and QVIMAGER_LIBRARY_DIR (the built libraries)."""
import asyncio
import errno
import os
import pickle
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
sys.path.insert(0, HERE)
import qvimager  # noqa: E402
from simulator import Simulator  # noqa: E402

BARCODES = [(12, "PYTHON-1"), (37, "héllo wörld"), (9, "PYTHON-3"), (12, "PYTHON-4")]


def run_with_timeout(coroutine, seconds=30):
    return asyncio.run(asyncio.wait_for(coroutine, seconds))


class AgainstSimulator(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        cls.sim = Simulator()
        cls.sim.use()
        os.environ["QV_REGISTRY"] = os.path.join(cls.work.name, "registry.reg")
        # The simulator sends the text's UTF-8 bytes.
        os.environ["QV_ANSI_CODEPAGE"] = "UTF-8"
        cls.app_dir = os.path.join(cls.work.name, "app")
        cls.imager = qvimager.Imager(application_dir=cls.app_dir)
        cls.imager.open()

    @classmethod
    def tearDownClass(cls):
        cls.imager.release()
        cls.sim.stop()
        cls.work.cleanup()

    def setUp(self):
        # What an earlier test left, in the engine or taken, is no concern here.
        self.sim.command("clear", "")
        if not self.imager.is_open:
            self.imager.open()
        while self.imager.read_barcode(timeout=0.05) is not None:
            pass

    def test_1_three_barcodes_reach_an_asyncio_loop_through_the_descriptor(self):
        imager = self.imager
        self.sim.queue_barcodes(*BARCODES[:3])

        async def scan_three():
            got = []
            for _ in range(3):
                await imager.call(imager.scan_start)
                got.append(await asyncio.wait_for(imager.next_barcode(), 10))
            return got

        got = asyncio.run(scan_three())
        self.assertEqual(got, [qvimager.Barcode(s, t) for s, t in BARCODES[:3]])
        self.assertTrue(all(isinstance(b.text, str) for b in got))
        self.assertEqual([b.raw for b in got], [t.encode("utf-8") for _, t in BARCODES[:3]])

    def test_2_a_barcode_without_a_loop(self):
        self.sim.queue_barcodes(BARCODES[3])
        self.imager.scan_start()
        self.assertEqual(self.imager.read_barcode(timeout=10), qvimager.Barcode(*BARCODES[3]))
        # None queued now: the wait ends at its time-out.
        self.assertIsNone(self.imager.read_barcode(timeout=0.05))

    def test_3_a_loop_that_takes_barcodes_late_gets_every_text_once_in_order(self):
        imager = self.imager
        texts = ["LATE-%03d" % i for i in range(1, 21)]
        self.sim.queue_barcodes(*[(12, t) for t in texts])

        def press_until_each_is_read():
            # On a thread of its own, so that the loop's pauses hold only the
            # taking of messages; a press is repeated if the engine read none.
            for left in range(len(texts) - 1, -1, -1):
                while self.sim.queued() > left:
                    imager.scan_start()
                    for _ in range(50):
                        if self.sim.queued() <= left:
                            break
                        time.sleep(0.02)

        async def take_slowly():
            presser = asyncio.get_running_loop().run_in_executor(None, press_until_each_is_read)
            got = []
            while len(got) < len(texts):
                got.append((await imager.next_barcode()).text)
                if len(got) % 5 == 0:
                    await asyncio.sleep(1)  # busy elsewhere: messages wait
            await presser
            return got

        self.assertEqual(run_with_timeout(take_slowly(), 60), texts)

    def test_4_waits_that_end_without_a_barcode(self):
        imager = self.imager

        async def cancelled_mid_wait():
            waiting = asyncio.create_task(imager.next_barcode())
            await asyncio.sleep(0.2)
            waiting.cancel()
            with self.assertRaises(asyncio.CancelledError):
                await waiting
            return "cancelled"

        async def cancelled_once_handed_over():
            # The barcode reaches the wait, then the task is cancelled before
            # it runs again: the barcode must not be lost.
            waiting = asyncio.create_task(imager.next_barcode())
            await asyncio.sleep(0.2)
            await imager.call(imager.scan_start)
            time.sleep(0.5)  # the loop held: the barcode's message waits
            imager.dispatch()
            waiting.cancel()
            with self.assertRaises(asyncio.CancelledError):
                await waiting
            return "handed over"

        async def closed_on_the_worker():
            waiting = asyncio.create_task(imager.next_barcode())
            await asyncio.sleep(0.2)
            await imager.call(imager.close)
            with self.assertRaises(qvimager.ImagerError) as caught:
                await waiting
            self.assertEqual(caught.exception.errno, errno.ECANCELED)
            await imager.call(imager.open)
            return "closed"

        async def released_while_waiting():
            # Another Imager of the same thread: release() ends its object.
            other = qvimager.Imager(application_dir=self.app_dir)
            await other.call(other.open)
            waiting = asyncio.create_task(other.next_barcode())
            await asyncio.sleep(0.2)
            other.release()
            with self.assertRaises(qvimager.ImagerError):
                await waiting
            await imager.call(imager.open)
            return "released"

        for how in (cancelled_mid_wait, cancelled_once_handed_over, closed_on_the_worker,
                    released_while_waiting):
            with self.subTest(how=how.__name__):
                self.sim.queue_barcodes((12, "AFTER-" + how.__name__))
                end = run_with_timeout(how())
                self.assertTrue(end)

                async def next_one():
                    if how is not cancelled_once_handed_over:
                        await imager.call(imager.scan_start)
                    return await imager.next_barcode()

                # Nothing lost, nothing stuck: the next barcode comes.
                self.assertEqual(run_with_timeout(next_one(), 10).text, "AFTER-" + how.__name__)

    def test_5_settings_read_back_what_was_set(self):
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

    def test_6_failures_raise_oserror_with_their_cause(self):
        imager = self.imager
        work = self.work.name
        unreadable = os.path.join(work, "unreadable-tty")
        open(unreadable, "w").close()
        os.chmod(unreadable, 0)
        missing = os.path.join(work, "no-such-tty")

        def open_on(port):
            def attempt():
                imager.close()
                saved = os.environ["QV_PORT_COM2"]
                os.environ["QV_PORT_COM2"] = port
                try:
                    imager.open()
                finally:
                    os.environ["QV_PORT_COM2"] = saved
            return attempt

        def setting_on_a_silent_engine():
            imager.close()
            imager.open()
            self.sim.command("fault silent on", "")
            try:
                imager.set_symbology_enabled(qvimager.SYMBOLOGIES["qr"], True)
            finally:
                self.sim.command("fault clear", "")

        cases = [
            ("missing device", open_on(missing), FileNotFoundError, missing),
            ("permission denied", open_on(unreadable), PermissionError, unreadable),
            ("silent engine", setting_on_a_silent_engine, TimeoutError, ""),
            # Refused before any device is touched: no cause is promised.
            ("not open", lambda: (imager.close(), imager.scan_start()), qvimager.ImagerError, None),
        ]
        for name, action, expected, in_text in cases:
            with self.subTest(name):
                if expected is PermissionError and os.geteuid() == 0:
                    continue  # root opens it anyway
                with self.assertRaises(qvimager.ImagerError) as caught:
                    action()
                self.assertIsInstance(caught.exception, OSError)
                if in_text is None:
                    continue
                self.assertIsInstance(caught.exception, expected)
                self.assertIn(in_text, caught.exception.strerror)
                self.assertTrue(caught.exception.errno)

    def test_7_ending_without_release_closes_the_imager(self):
        self.imager.close()
        self.sim.command("clear", "")
        child = ("import qvimager, sys\n"
                 "imager = qvimager.Imager(application_dir=sys.argv[1])\n"
                 "imager.open()\n"
                 "imager.scan_start()\n")
        subprocess.run([sys.executable, "-c", child, self.app_dir], check=True, timeout=30,
                       env=dict(os.environ, PYTHONPATH=os.path.join(HERE, "..")))
        self.assertRegex(self.sim.command("status", "supply"), r"^supply 0,")

    def test_8_a_reopen_after_the_device_went_away_delivers_again(self):
        imager = self.imager

        async def one():
            await imager.call(imager.scan_start)
            return await imager.next_barcode()

        for loss_taken_before_the_reopen in (True, False):
            with self.subTest(loss_taken_before_the_reopen=loss_taken_before_the_reopen):
                self.sim.stop()  # the pseudo-terminal hangs up
                if loss_taken_before_the_reopen:
                    with self.assertRaises(qvimager.ImagerError) as caught:
                        imager.read_barcode(timeout=10)
                    self.assertEqual(caught.exception.errno, errno.ENODEV)
                else:
                    time.sleep(0.5)  # its message waits, to be taken after the reopen
                imager.close()
                type(self).sim = Simulator()
                self.sim.use()
                imager.open()
                self.sim.queue_barcodes((12, "BACK-AGAIN"))
                self.assertEqual(run_with_timeout(one(), 10).text, "BACK-AGAIN")

    def test_9_async_with_opens_and_releases(self):
        self.imager.close()
        self.sim.queue_barcodes((37, "ASYNC-WITH"))
        made = []

        async def scan():
            async with qvimager.Imager(application_dir=self.app_dir) as imager:
                made.append(imager)
                await imager.call(imager.scan_start)
                barcode = await imager.next_barcode()
            return barcode

        self.assertEqual(run_with_timeout(scan()), (37, "ASYNC-WITH"))
        self.assertFalse(made[0].is_open)
        self.assertEqual(made[0].descriptor, -1)

        # An open that fails releases the object all the same.
        saved = os.environ["QV_PORT_COM2"]
        os.environ["QV_PORT_COM2"] = os.path.join(self.work.name, "no-such-tty")
        try:
            imager = qvimager.Imager(application_dir=self.app_dir)

            async def fail():
                async with imager:
                    pass

            with self.assertRaises(qvimager.ImagerError):
                run_with_timeout(fail())
            self.assertEqual(imager.descriptor, -1)
        finally:
            os.environ["QV_PORT_COM2"] = saved


class WithoutEngine(unittest.TestCase):
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

    def test_raw_bytes_in_the_code_page(self):
        cases = [
            ("ISO-8859-1", "\xe9\x81\x00\xff", b"\xe9\x81\x00\xff"),  # every byte comes back
            ("UTF-8", "héllo", "héllo".encode("utf-8")),
            ("", "€", b"\x80"),                 # unset: CP1252
            ("NO-SUCH-PAGE", "€", b"\x80"),     # unknown: CP1252, as the library
            ("CP1252", "\ufffd", b"?"),         # a byte CP1252 leaves undefined
        ]
        for page, text, raw in cases:
            with self.subTest(page=page):
                codec = qvimager.code_page_codec(page)
                self.assertEqual(text.encode(codec, errors="replace"), raw)
        barcode = qvimager.Barcode(12, "ABC", b"ABC")
        symbology, text = barcode  # still the pair
        self.assertEqual((symbology, text, barcode.raw), (12, "ABC", b"ABC"))
        self.assertEqual(barcode._replace(text="X").raw, b"X")

    def test_errors_are_the_oserror_subclass_of_their_errno(self):
        cases = [(errno.ENOENT, FileNotFoundError), (errno.EACCES, PermissionError),
                 (errno.ETIMEDOUT, TimeoutError), (errno.ENODEV, OSError), (0, OSError)]
        for code, expected in cases:
            with self.subTest(code=code):
                error = qvimager.errors.error_for(code, "/dev/ttyS1: reason")
                self.assertIsInstance(error, qvimager.ImagerError)
                self.assertIsInstance(error, expected)
                self.assertEqual(error.errno, code or None)
                self.assertIn("/dev/ttyS1: reason", str(error))
                # Across processes (concurrent.futures, multiprocessing) it stays what it is.
                self.assertIs(type(pickle.loads(pickle.dumps(error))), type(error))

    def test_every_public_name_has_a_docstring(self):
        missing = []
        for name in qvimager.__all__:
            value = getattr(qvimager, name)
            if callable(value) and not (value.__doc__ or "").strip():
                missing.append(name)
            if isinstance(value, type):
                missing += ["%s.%s" % (name, member) for member, attr in vars(value).items()
                            if callable(attr) and not member.startswith("_")
                            and not (attr.__doc__ or "").strip()]
        self.assertEqual(missing, [])

    def test_version_is_the_libraries(self):
        header = os.path.join(HERE, "..", "..", "include", "QV_Rizoviv2I_RO25.h")
        with open(header, encoding="utf-8") as f:
            self.assertIn('#define QV_IMAGER_VERSION_STRING "%s"' % qvimager.__version__, f.read())


def python_that_builds_packages():
    """This Python, else the system's, if it has what an offline
    `pip install --no-build-isolation` needs; else None."""
    needs = ("import importlib.util, sys\n"
             "sys.exit(not all(importlib.util.find_spec(m) for m in "
             "('pip', 'setuptools', 'venv', 'wheel')))")
    for python in (sys.executable, "/usr/bin/python3"):
        if os.path.exists(python) and subprocess.run(
                [python, "-c", needs], capture_output=True).returncode == 0:
            return python
    return None


class Installed(unittest.TestCase):
    def test_pip_installs_it_into_a_fresh_venv_that_imports_it(self):
        builder = python_that_builds_packages()
        if builder is None:
            self.skipTest("needs python3-pip, python3-setuptools, python3-venv, python3-wheel")
        with tempfile.TemporaryDirectory() as work:
            # A copy, so that the build leaves nothing in the source tree.
            source = os.path.join(work, "source")
            subprocess.run(["cp", "-r", os.path.join(HERE, ".."), source], check=True)
            venv = os.path.join(work, "venv")
            subprocess.run([builder, "-m", "venv", "--system-site-packages",
                            "--without-pip", venv], check=True)
            python = os.path.join(venv, "bin", "python")
            subprocess.run([python, "-m", "pip", "install", "--quiet", "--no-index",
                            "--no-build-isolation", "--no-deps", source], check=True,
                           cwd=work, timeout=120)
            probe = ("import qvimager, sys\n"
                     "assert qvimager.__file__.startswith(sys.prefix), qvimager.__file__\n"
                     "qvimager.load_libraries()\n"
                     "print(qvimager.__version__)\n")
            env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
            done = subprocess.run([python, "-c", probe], cwd=work, env=env, check=True,
                                  capture_output=True, text=True, timeout=60)
            self.assertEqual(done.stdout.strip(), qvimager.__version__)


if __name__ == "__main__":
    unittest.main()
