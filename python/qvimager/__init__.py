"""The RO25 imager from Python: ctypes over the imager library and the
platform library, no compiled extension.

Barcodes come as window messages to a window of the thread that made the
Imager, and wake that thread's message descriptor, so an asyncio loop (or a
plain poll) takes them without a callback on the library's real-time
thread::

    async with qvimager.Imager() as imager:
        await imager.call(imager.scan_start)
        barcode = await imager.next_barcode()
        print(barcode.symbology, barcode.text, barcode.raw)

A failed call raises ImagerError, an OSError with the library's cause
(errno and a line naming the device, path or command): FileNotFoundError,
PermissionError or TimeoutError where Python has a class for that errno.

A process that ends without release() still closes the imager (atexit), so
the engine is left powered off; but SIGTERM, the way a
service manager stops a service, ends Python without atexit. A service turns
it into a normal end::

    loop.add_signal_handler(signal.SIGTERM, main_task.cancel)   # asyncio
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))      # otherwise

SIGKILL leaves the engine as it was.
"""

from .barcode import Barcode, code_page_codec, utf16_at
from .errors import ImagerError
from .imager import Imager
from .library import (IMAGER_LIBRARY, PLATFORM_LIBRARY, WM_IMAGER_DATA, WM_IMAGER_DEVICE_LOST,
                      last_failure, load_libraries)
from .tables import OPTION_SETS, SYMBOLOGIES

#: The module's version: the libraries' it comes with.
__version__ = "0.1.0"

__all__ = ["Barcode", "IMAGER_LIBRARY", "Imager", "ImagerError", "OPTION_SETS",
           "PLATFORM_LIBRARY", "SYMBOLOGIES", "WM_IMAGER_DATA", "WM_IMAGER_DEVICE_LOST",
           "code_page_codec", "last_failure", "load_libraries", "utf16_at"]
