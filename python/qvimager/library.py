"""The two shared libraries through ctypes: where they are found, the
signatures the module calls them with, and the cause of a failed call."""

import ctypes
import os

__all__ = ["IMAGER_LIBRARY", "PLATFORM_LIBRARY", "WM_IMAGER_DATA", "WM_IMAGER_DEVICE_LOST",
           "last_failure", "load_libraries"]

#: The message of each barcode: wParam the symbology, lParam its UTF-16 text.
WM_IMAGER_DATA = 0x0464
#: The message that the engine's device went away.
WM_IMAGER_DEVICE_LOST = 0x0465
#: The imager library, by soname.
IMAGER_LIBRARY = "libQV_Rizoviv2I_RO25.so.0"
#: The platform library, by soname.
PLATFORM_LIBRARY = "libQVPlatform.so.0"

WNDPROC = ctypes.CFUNCTYPE(ctypes.c_ssize_t, ctypes.c_void_p, ctypes.c_uint32, ctypes.c_size_t,
                           ctypes.c_ssize_t)

# Room for the cause's one line; a longer one is cut by the library.
_FAILURE_CAPACITY = 512


class Msg(ctypes.Structure):
    """The platform's QVMSG."""
    _fields_ = [("hwnd", ctypes.c_void_p), ("message", ctypes.c_uint32),
                ("wParam", ctypes.c_size_t), ("lParam", ctypes.c_ssize_t),
                ("time", ctypes.c_uint32)]


def load_libraries(directory=None):
    """The platform and imager libraries (ctypes.CDLL): from `directory`,
    else from $QVIMAGER_LIBRARY_DIR, else where the system's loader finds
    them."""
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
    platform.QVPlatformPeekMessage.argtypes = [ctypes.POINTER(Msg), ctypes.c_void_p,
                                               ctypes.c_int32]
    platform.QVPlatformTranslateMessage.argtypes = [ctypes.POINTER(Msg)]
    platform.QVPlatformDispatchMessage.restype = ctypes.c_ssize_t
    platform.QVPlatformDispatchMessage.argtypes = [ctypes.POINTER(Msg)]
    platform.QVPlatformPostMessage.argtypes = [ctypes.c_void_p, ctypes.c_uint32, ctypes.c_size_t,
                                               ctypes.c_ssize_t]
    platform.QVPlatformGetLastFailure.restype = ctypes.c_int32
    platform.QVPlatformGetLastFailure.argtypes = [ctypes.c_char_p, ctypes.c_uint32]
    imager.QVImagerSetWindow.argtypes = [ctypes.c_void_p]
    imager.QVImagerScanStart.argtypes = [ctypes.c_void_p]
    return platform, imager


def last_failure(platform):
    """(errno, text) of the calling thread's last failure in the libraries,
    or None when the failure has no system code (the log names it). Call
    it on the thread of the failed call, before that thread calls the
    libraries again."""
    text = ctypes.create_string_buffer(_FAILURE_CAPACITY)
    code = platform.QVPlatformGetLastFailure(text, _FAILURE_CAPACITY)
    if code == 0:
        return None
    return code, text.value.decode("utf-8", errors="replace")
