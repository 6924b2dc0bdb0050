"""The RO25 imager from Python: ctypes over the imager library and the
platform library, no compiled extension.

Barcodes come as window messages to a window of the thread that opened the
imager, and wake that thread's message descriptor, so an asyncio loop (or a
plain poll) takes them without a callback on the library's real-time thread::

    with qvimager.Imager() as imager:
        imager.scan_start()
        barcode = await imager.next_barcode()
        print(barcode.symbology, barcode.text)

The library's calls must not run on two threads at once: make them all from
the thread that opened the imager, or through Imager.call() from an asyncio
loop, which runs them one after another on a worker thread so that the loop
is not blocked by the open (about a second) or a settings exchange.
"""

import asyncio
import collections
import concurrent.futures
import ctypes
import os
import select

__all__ = ["Barcode", "Imager", "ImagerError", "OPTION_SETS", "SYMBOLOGIES"]

WM_IMAGER_DATA = 0x0464
WM_IMAGER_DEVICE_LOST = 0x0465
IMAGER_LIBRARY = "libQV_Rizoviv2I_RO25.so.0"
PLATFORM_LIBRARY = "libQVPlatform.so.0"

# The per-symbology option sets: the export stem (QVImagerSet<stem>Setting),
# the number of values, and which of them are single characters.
OPTION_SETS = {
    "Aztec": (4, ()),
    "BPO": (1, ()),
    "Codabar": (6, ()),
    "Code11": (1, ()),
    "Code39": (4, ()),
    "Code93": (1, ()),
    "Code128_GS1_128_ISBT": (10, (6,)),
    "DataMatrix": (3, ()),
    "UPCA": (3, ()),
    "UPCE": (3, ()),
    "EAN13": (4, ()),
    "EAN8": (2, ()),
    "UPCEAN": (6, (4,)),
    "GS1Composite": (3, ()),
    "Interleaved2of5": (3, ()),
    "Matrix2of5": (1, ()),
    "MSI": (1, ()),
    "PDF417": (3, ()),
    "MicroPDF": (1, ()),
    "Planet": (1, ()),
    "Plessey": (2, ()),
    "Postnet": (1, ()),
    "QRCode": (2, ()),
    "Standard2of5": (3, ()),
    "Telepen": (1, ()),
    "TLC39": (2, (1,)),
}

# Symbology numbers by name, as reported with each barcode.
SYMBOLOGIES = {
    "aztec": 2, "codabar": 6, "code11": 8, "code128": 9, "code39": 12, "code93": 14,
    "datamatrix": 17, "ean8": 19, "ean13": 20, "interleaved2of5": 22, "msi": 29,
    "pdf417": 32, "qr": 37, "upca": 43, "upce": 44, "gs1-128": 55,
}

Barcode = collections.namedtuple("Barcode", "symbology text")


class ImagerError(OSError):
    """A call the library did not do (it returned -1): no imager open, the
    device suspended, a wrong thread, or the operation failed. The library's
    debug output (QV_DEBUG_OUTPUT) names the cause."""


WNDPROC = ctypes.CFUNCTYPE(ctypes.c_ssize_t, ctypes.c_void_p, ctypes.c_uint32, ctypes.c_size_t,
                           ctypes.c_ssize_t)


class _Msg(ctypes.Structure):
    _fields_ = [("hwnd", ctypes.c_void_p), ("message", ctypes.c_uint32),
                ("wParam", ctypes.c_size_t), ("lParam", ctypes.c_ssize_t),
                ("time", ctypes.c_uint32)]


def utf16_at(address, limit=1 << 20):
    """The zero-terminated UTF-16 text at an address, as str; units that are
    not UTF-16 (a lone surrogate) become U+FFFD."""
    units = ctypes.cast(address, ctypes.POINTER(ctypes.c_uint16))
    length = 0
    while length < limit and units[length] != 0:
        length += 1
    return ctypes.string_at(address, 2 * length).decode("utf-16-le", errors="replace")


def load_libraries(directory=None):
    """The platform and imager libraries: from `directory`, else from
    $QVIMAGER_LIBRARY_DIR, else where the system's loader finds them."""
    directory = directory or os.environ.get("QVIMAGER_LIBRARY_DIR")
    path = (lambda name: os.path.join(directory, name)) if directory else (lambda name: name)
    # The platform library first, so the imager library's dependency is met
    # by this very copy.
    platform = ctypes.CDLL(path(PLATFORM_LIBRARY), use_errno=True)
    imager = ctypes.CDLL(path(IMAGER_LIBRARY))
    platform.QVPlatformCreateWindow.restype = ctypes.c_void_p
    platform.QVPlatformCreateWindow.argtypes = [ctypes.c_char_p, WNDPROC, ctypes.c_void_p]
    platform.QVPlatformDestroyWindow.argtypes = [ctypes.c_void_p]
    platform.QVPlatformSetApplicationDirectory.argtypes = [ctypes.c_char_p]
    platform.QVPlatformGetMessageDescriptor.argtypes = []
    platform.QVPlatformPeekMessage.argtypes = [ctypes.POINTER(_Msg), ctypes.c_void_p,
                                               ctypes.c_int32]
    platform.QVPlatformTranslateMessage.argtypes = [ctypes.POINTER(_Msg)]
    platform.QVPlatformDispatchMessage.restype = ctypes.c_ssize_t
    platform.QVPlatformDispatchMessage.argtypes = [ctypes.POINTER(_Msg)]
    imager.QVImagerSetWindow.argtypes = [ctypes.c_void_p]
    imager.QVImagerScanStart.argtypes = [ctypes.c_void_p]
    return platform, imager


class Imager:
    """The imager, opened by open() or a with block on the thread whose
    messages carry its barcodes."""

    def __init__(self, library_dir=None, application_dir=None):
        """Loads the libraries and makes the window of the calling thread
        that the barcodes go to: construct it on the thread that runs the
        loop. `application_dir` is where the engine's settings files are
        kept (the library's default, the executable's directory, would be
        Python's): by default $XDG_STATE_HOME/qvimager."""
        self._platform, self._lib = load_libraries(library_dir)
        if application_dir is None:
            state = os.environ.get("XDG_STATE_HOME") or os.path.expanduser("~/.local/state")
            application_dir = os.path.join(state, "qvimager")
        os.makedirs(application_dir, exist_ok=True)
        self._platform.QVPlatformSetApplicationDirectory(os.fsencode(application_dir))
        self._proc = WNDPROC(self._window_proc)  # alive as long as the window
        self._barcodes = collections.deque()
        self._waiters = collections.deque()
        self._lost = False
        self._worker = concurrent.futures.ThreadPoolExecutor(max_workers=1)
        name = "QVImagerPython".encode("utf-16-le") + b"\0\0"
        self._window = self._platform.QVPlatformCreateWindow(name, self._proc, None)
        self.descriptor = self._platform.QVPlatformGetMessageDescriptor()
        if self.descriptor < 0:
            raise OSError(ctypes.get_errno(), "no message descriptor")

    # -- life ------------------------------------------------------------
    def open(self):
        """Opens the imager with this object's window as the barcodes'
        target (receive type 0, window messages). Takes about a second."""
        self._check(self._lib.QVImagerOpen(), "open")
        self._check(self._lib.QVImagerSetWindow(self._window), "set window")
        self._check(self._lib.QVImagerSetReceiveType(0), "set receive type")
        return self

    def close(self):
        self._lib.QVImagerClose()

    def release(self):
        """Closes the imager and destroys the window, on its thread."""
        self.close()
        self._worker.shutdown()
        if self._window is not None:
            self._platform.QVPlatformDestroyWindow(self._window)
            self._window = None
            self.descriptor = -1

    def __enter__(self):
        return self.open()

    def __exit__(self, *exc):
        self.release()

    async def call(self, method, *args):
        """Runs one of this object's blocking methods on its worker thread,
        one call at a time, so that the loop goes on meanwhile."""
        loop = asyncio.get_running_loop()
        return await loop.run_in_executor(self._worker, lambda: method(*args))

    # -- scanning --------------------------------------------------------
    def scan_start(self):
        self._check(self._lib.QVImagerScanStart(None), "scan start")

    def scan_stop(self):
        self._check(self._lib.QVImagerScanStop(), "scan stop")

    def dispatch(self):
        """Takes what the thread's queue holds, without blocking; the
        barcodes taken wait in read order. Call it when the descriptor is
        readable."""
        msg = _Msg()
        while self._platform.QVPlatformPeekMessage(ctypes.byref(msg), None, 1):
            self._platform.QVPlatformTranslateMessage(ctypes.byref(msg))
            self._platform.QVPlatformDispatchMessage(ctypes.byref(msg))
        while self._waiters and (self._barcodes or self._lost):
            waiter = self._waiters.popleft()
            if waiter.done():
                continue
            if self._barcodes:
                waiter.set_result(self._barcodes.popleft())
            else:
                waiter.set_exception(ImagerError("the imager's device went away"))

    def read_barcode(self, timeout=None):
        """The next barcode, waiting up to `timeout` seconds (None: no limit)
        for it; None when none came in time."""
        poller = select.poll()
        poller.register(self.descriptor, select.POLLIN)
        while not self._barcodes:
            if self._lost:
                raise ImagerError("the imager's device went away")
            if not poller.poll(None if timeout is None else int(timeout * 1000)):
                return None
            self.dispatch()
        return self._barcodes.popleft()

    async def next_barcode(self):
        """The next barcode, as the running asyncio loop learns it from the
        descriptor."""
        loop = asyncio.get_running_loop()
        if self._barcodes:
            return self._barcodes.popleft()
        if self._lost:
            raise ImagerError("the imager's device went away")
        waiter = loop.create_future()
        self._waiters.append(waiter)
        loop.add_reader(self.descriptor, self.dispatch)
        try:
            return await waiter
        finally:
            if not self._waiters:
                loop.remove_reader(self.descriptor)

    async def barcodes(self):
        """Every barcode as it comes, for `async for`."""
        while True:
            yield await self.next_barcode()

    def _window_proc(self, window, message, wparam, lparam):
        # The text is overwritten by the next barcode: decoded here at once.
        if message == WM_IMAGER_DATA and lparam:
            self._barcodes.append(Barcode(int(wparam), utf16_at(lparam)))
        elif message == WM_IMAGER_DEVICE_LOST:
            self._lost = True
        return 0

    # -- settings --------------------------------------------------------
    def symbology_enabled(self, symbology):
        value = ctypes.c_int32()
        self._check(self._lib.QVImagerGetSymboleEnable(symbology, ctypes.byref(value)),
                    "get symbology enable")
        return value.value != 0

    def set_symbology_enabled(self, symbology, enabled):
        self._check(self._lib.QVImagerSetSymboleEnable(symbology, 1 if enabled else 0),
                    "set symbology enable")

    def set_all_symbologies_enabled(self, enabled):
        self._check(self._lib.QVImagerSetALLSymboleEnable(1 if enabled else 0),
                    "set all symbologies")

    def options(self, stem):
        """The values of an option set (a key of OPTION_SETS), as a tuple:
        ints, and one-character str where the set holds a character."""
        count, chars = OPTION_SETS[stem]
        values = [ctypes.c_char() if i in chars else ctypes.c_int32() for i in range(count)]
        function = getattr(self._lib, "QVImagerGet%sSetting" % stem)
        self._check(function(*[ctypes.byref(v) for v in values]), "get " + stem)
        return tuple(v.value.decode("latin-1") if i in chars else v.value
                     for i, v in enumerate(values))

    def set_options(self, stem, *values):
        count, chars = OPTION_SETS[stem]
        if len(values) != count:
            raise TypeError("%s takes %d values, not %d" % (stem, count, len(values)))
        args = []
        for i, value in enumerate(values):
            if i in chars:
                encoded = value.encode("latin-1") if isinstance(value, str) else bytes([value])
                if len(encoded) != 1:
                    raise ValueError("value %d of %s is one character" % (i + 1, stem))
                args.append(ctypes.c_char(encoded))
            else:
                args.append(ctypes.c_int32(value))
        self._check(getattr(self._lib, "QVImagerSet%sSetting" % stem)(*args), "set " + stem)

    def _general(self, name, count):
        values = [ctypes.c_int32() for _ in range(count)]
        self._check(getattr(self._lib, "QVImagerGet" + name)(*[ctypes.byref(v) for v in values]),
                    "get " + name)
        return values[0].value if count == 1 else tuple(v.value for v in values)

    def security_level(self):
        return self._general("SecurtyLevel", 1)

    def set_security_level(self, level):
        self._check(self._lib.QVImagerSetSecurtyLevel(level), "set security level")

    def receive_type(self):
        return self._general("ReceiveType", 1)

    def version(self):
        """(firmware, boot, hardware) as str."""
        texts = [ctypes.create_string_buffer(512) for _ in range(3)]
        self._check(self._lib.QVImagerGetVersion(*texts), "get version")
        return tuple(t.raw.decode("utf-16-le").split("\0", 1)[0] for t in texts)

    def factory_reset(self):
        self._check(self._lib.QVImagerFactoryReset(), "factory reset")

    @staticmethod
    def _check(result, what):
        if result != 1:
            raise ImagerError("%s: not done (QV_DEBUG_OUTPUT=stderr shows why)" % what)
