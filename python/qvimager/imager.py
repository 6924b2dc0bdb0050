"""The imager object: opening and closing, barcodes as they come, and the
settings calls."""

import asyncio
import atexit
import collections
import concurrent.futures
import ctypes
import errno
import os
import select
import threading
import time

from . import errors
from .barcode import Barcode, code_page_codec, utf16_at
from .library import (WM_IMAGER_DATA, WM_IMAGER_DEVICE_LOST, WNDPROC, Msg, last_failure,
                      load_libraries)
from .tables import OPTION_SETS

__all__ = ["Imager"]

# Posted by this module to its own window (the application range, above
# WM_APP): where an open began in the window's queue, so that a device-lost
# message of an earlier open taken late does not end the new one; and a
# wake-up for a wait on another thread when the imager is closed.
_WM_OPEN_BEGAN = 0x8000 + 0x51
_WM_WAKE = 0x8000 + 0x52

# Every Imager whose window still exists: the window's procedure is a ctypes
# thunk of the object, which must not be collected while the platform may
# still call it.
_WINDOWS_ALIVE = set()


class Imager:
    """The imager, opened by open(), a ``with`` or an ``async with`` block,
    on the thread whose messages carry its barcodes.

    The library's calls must not run on two threads at once: make them all
    from the thread that made this object, or through call() from an asyncio
    loop, which runs them one after another on a worker thread.

    `descriptor` is readable while the window's thread has messages waiting
    (watch it to call dispatch()); it is -1 once released."""

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
        self._thread = threading.get_ident()
        self._barcodes = collections.deque()
        self._waiters = collections.deque()
        self._open = False
        self._codec = code_page_codec()
        # Opens begun, the open whose mark the window has taken, and the open
        # during which the device went away.
        self._opens = 0
        self._opens_seen = 0
        self._lost_during = -1
        self._at_exit_registered = False
        self._worker = concurrent.futures.ThreadPoolExecutor(max_workers=1)
        name = "QVImagerPython".encode("utf-16-le") + b"\0\0"
        self._window = self._platform.QVPlatformCreateWindow(name, self._proc, None)
        self.descriptor = self._platform.QVPlatformGetMessageDescriptor()
        if not self._window or self.descriptor < 0:
            raise OSError(ctypes.get_errno(), "no window or message descriptor for this thread")
        _WINDOWS_ALIVE.add(self)

    # -- life ------------------------------------------------------------
    def open(self):
        """Opens the imager with this object's window as the barcodes'
        target (receive type 0, window messages). Takes about a second. Also
        the way back after the device went away: close, then open again."""
        if self._window is None:
            raise errors.error_for(errno.EBADF, "the imager was released")
        self._opens += 1
        self._platform.QVPlatformPostMessage(self._window, _WM_OPEN_BEGAN, self._opens, 0)
        self._codec = code_page_codec()
        self._check(self._lib.QVImagerOpen(), "QVImagerOpen")
        self._open = True
        if not self._at_exit_registered:
            atexit.register(self._close_at_exit)
            self._at_exit_registered = True
        try:
            self._check(self._lib.QVImagerSetWindow(self._window), "QVImagerSetWindow")
            self._check(self._lib.QVImagerSetReceiveType(0), "QVImagerSetReceiveType")
        except errors.ImagerError:
            self.close()
            raise
        return self

    def close(self):
        """Closes the imager (the engine powered off). A wait
        for a barcode, here or on a loop, ends with ImagerError; barcodes
        already taken stay readable."""
        self._open = False
        self._lib.QVImagerClose()
        self._end_waits()

    def release(self):
        """Closes the imager and destroys the window: call it on the
        window's thread. The object is of no further use; until then it
        stays alive, since the platform may call its window."""
        self.close()
        self._worker.shutdown()
        if self._at_exit_registered:
            atexit.unregister(self._close_at_exit)
            self._at_exit_registered = False
        if self._window is not None:
            self._platform.QVPlatformDestroyWindow(self._window)
            self._window = None
            self.descriptor = -1
        _WINDOWS_ALIVE.discard(self)

    @property
    def is_open(self):
        """Whether the imager is open through this object."""
        return self._open

    def __enter__(self):
        """open(), for a ``with`` block that releases at its end (also when
        the open fails)."""
        try:
            return self.open()
        except BaseException:
            self.release()
            raise

    def __exit__(self, *exc):
        """release()."""
        self.release()

    async def __aenter__(self):
        """open() on the worker thread, for an ``async with`` block that
        releases at its end (also when the open fails)."""
        try:
            await self.call(self.open)
        except BaseException:
            self.release()
            raise
        return self

    async def __aexit__(self, *exc):
        """close() on the worker thread, then release()."""
        try:
            await self.call(self.close)
        finally:
            self.release()

    async def call(self, method, *args):
        """Runs one of this object's blocking methods on its worker thread,
        one call at a time, so that the loop goes on meanwhile."""
        loop = asyncio.get_running_loop()
        return await loop.run_in_executor(self._worker, lambda: method(*args))

    def _close_at_exit(self):
        # A process that ends without release() would leave the engine
        # powered with its trigger held.
        if self._open:
            self._open = False
            self._lib.QVImagerClose()

    # -- scanning --------------------------------------------------------
    def scan_start(self):
        """Presses the trigger: the engine reads one barcode."""
        self._check(self._lib.QVImagerScanStart(None), "QVImagerScanStart")

    def scan_stop(self):
        """Releases the trigger."""
        self._check(self._lib.QVImagerScanStop(), "QVImagerScanStop")

    def dispatch(self):
        """Takes what the thread's queue holds, without blocking; the
        barcodes taken wait in read order. Call it on the window's thread
        when the descriptor is readable."""
        msg = Msg()
        while self._platform.QVPlatformPeekMessage(ctypes.byref(msg), None, 1):
            self._platform.QVPlatformTranslateMessage(ctypes.byref(msg))
            self._platform.QVPlatformDispatchMessage(ctypes.byref(msg))
        while self._waiters and (self._barcodes or self._ended()):
            waiter = self._waiters.popleft()
            if waiter.done():
                continue
            if self._barcodes:
                waiter.set_result(self._barcodes.popleft())
            else:
                waiter.set_exception(self._ended(while_waiting=True))

    def read_barcode(self, timeout=None):
        """The next barcode, waiting up to `timeout` seconds (None: no limit)
        for it; None when none came in time. Raises ImagerError when the
        imager is not open or closes meanwhile, or its device went away."""
        deadline = None if timeout is None else time.monotonic() + timeout
        poller = select.poll()
        poller.register(self.descriptor, select.POLLIN)
        waited = False
        while True:
            self.dispatch()
            if self._barcodes:
                return self._barcodes.popleft()
            ended = self._ended(while_waiting=waited)
            if ended:
                raise ended
            waited = True
            left = None if deadline is None else max(0, deadline - time.monotonic())
            if not poller.poll(None if left is None else int(left * 1000)) and left is not None:
                if time.monotonic() >= deadline:
                    return None

    async def next_barcode(self):
        """The next barcode, as the running asyncio loop learns it from the
        descriptor. Raises ImagerError when the imager is not open or closes
        (or is released) meanwhile, or its device went away. Cancelling the
        awaiting task loses no barcode."""
        loop = asyncio.get_running_loop()
        if threading.get_ident() == self._thread and self._window is not None:
            self.dispatch()
        if self._barcodes:
            return self._barcodes.popleft()
        ended = self._ended()
        if ended:
            raise ended
        waiter = loop.create_future()
        self._waiters.append(waiter)
        descriptor = self.descriptor
        loop.add_reader(descriptor, self.dispatch)
        try:
            return await waiter
        except asyncio.CancelledError:
            # Cancelled after the barcode was handed to this wait but before
            # the task ran again: the barcode goes back to the front.
            if waiter.done() and not waiter.cancelled() and waiter.exception() is None:
                self._barcodes.appendleft(waiter.result())
            raise
        finally:
            if waiter in self._waiters:
                self._waiters.remove(waiter)
            if not any(w.get_loop() is loop for w in self._waiters):
                loop.remove_reader(descriptor)

    async def barcodes(self):
        """Every barcode as it comes, for ``async for``; ends with the
        ImagerError that ends the waits."""
        while True:
            yield await self.next_barcode()

    def _ended(self, while_waiting=False):
        """The error that a wait for a barcode ends with now, or None."""
        if not self._open:
            return errors.not_open(while_waiting)
        if self._lost_during == self._opens:
            return errors.device_lost()
        return None

    def _end_waits(self):
        # May run on any thread: each loop settles its own futures, and a
        # read_barcode() blocked in poll wakes on a message.
        for waiter in list(self._waiters):
            try:
                waiter.get_loop().call_soon_threadsafe(self._end_wait, waiter)
            except RuntimeError:  # its loop is closed
                pass
        if self._window is not None:
            self._platform.QVPlatformPostMessage(self._window, _WM_WAKE, 0, 0)

    def _end_wait(self, waiter):
        if not waiter.done() and not self._open:
            waiter.set_exception(errors.not_open(while_waiting=True))

    def _window_proc(self, window, message, wparam, lparam):
        if message == WM_IMAGER_DATA and lparam:
            text = utf16_at(lparam)
            raw = text.encode(self._codec, errors="replace")
            self._barcodes.append(Barcode(int(wparam), text, raw))
        elif message == WM_IMAGER_DEVICE_LOST:
            self._lost_during = self._opens_seen
        elif message == _WM_OPEN_BEGAN:
            self._opens_seen = int(wparam)
        return 0

    # -- settings --------------------------------------------------------
    def symbology_enabled(self, symbology):
        """Whether the symbology (a number of SYMBOLOGIES) is enabled."""
        value = ctypes.c_int32()
        self._check(self._lib.QVImagerGetSymboleEnable(symbology, ctypes.byref(value)),
                    "QVImagerGetSymboleEnable")
        return value.value != 0

    def set_symbology_enabled(self, symbology, enabled):
        """Enables or disables one symbology."""
        self._check(self._lib.QVImagerSetSymboleEnable(symbology, 1 if enabled else 0),
                    "QVImagerSetSymboleEnable")

    def set_all_symbologies_enabled(self, enabled):
        """Enables or disables every symbology."""
        self._check(self._lib.QVImagerSetALLSymboleEnable(1 if enabled else 0),
                    "QVImagerSetALLSymboleEnable")

    def options(self, stem):
        """The values of an option set (a key of OPTION_SETS), as a tuple:
        ints, and one-character str where the set holds a character."""
        count, chars = OPTION_SETS[stem]
        values = [ctypes.c_char() if i in chars else ctypes.c_int32() for i in range(count)]
        function = getattr(self._lib, "QVImagerGet%sSetting" % stem)
        self._check(function(*[ctypes.byref(v) for v in values]), "QVImagerGet%sSetting" % stem)
        return tuple(v.value.decode("latin-1") if i in chars else v.value
                     for i, v in enumerate(values))

    def set_options(self, stem, *values):
        """Sets every value of an option set (a key of OPTION_SETS), in the
        order options() gives them."""
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
        self._check(getattr(self._lib, "QVImagerSet%sSetting" % stem)(*args),
                    "QVImagerSet%sSetting" % stem)

    def _general(self, name, count):
        values = [ctypes.c_int32() for _ in range(count)]
        self._check(getattr(self._lib, "QVImagerGet" + name)(*[ctypes.byref(v) for v in values]),
                    "QVImagerGet" + name)
        return values[0].value if count == 1 else tuple(v.value for v in values)

    def security_level(self):
        """The engine's security level."""
        return self._general("SecurtyLevel", 1)

    def set_security_level(self, level):
        """Sets the engine's security level."""
        self._check(self._lib.QVImagerSetSecurtyLevel(level), "QVImagerSetSecurtyLevel")

    def receive_type(self):
        """How barcodes are handed over: 0 messages (this module's way), 1
        key strokes, 2 the clipboard."""
        return self._general("ReceiveType", 1)

    def version(self):
        """(firmware, boot, hardware) as str."""
        texts = [ctypes.create_string_buffer(512) for _ in range(3)]
        self._check(self._lib.QVImagerGetVersion(*texts), "QVImagerGetVersion")
        return tuple(t.raw.decode("utf-16-le").split("\0", 1)[0] for t in texts)

    def factory_reset(self):
        """Restores the engine's factory settings."""
        self._check(self._lib.QVImagerFactoryReset(), "QVImagerFactoryReset")

    def _check(self, result, what):
        # The cause is the calling thread's, so it is read before anything
        # else calls the libraries on this thread.
        if result == 1:
            return
        cause = last_failure(self._platform)
        if cause is None:
            raise errors.ImagerError("%s: not done (QV_DEBUG_OUTPUT=stderr shows why)" % what)
        raise errors.error_for(cause[0], "%s: %s" % (what, cause[1]))
