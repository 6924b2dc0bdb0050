"""The exceptions of the module: every failure is an OSError."""

import errno

__all__ = ["ImagerError", "error_for"]


class ImagerError(OSError):
    """A call the library did not do (it returned -1), or a wait for a
    barcode that cannot end with one.

    `errno` and `strerror` carry the cause where one is known: the platform
    library's last failure of the calling thread, naming the device, path or
    command and the system's reason. Where Python has an OSError subclass for
    that errno (FileNotFoundError, PermissionError, TimeoutError, ...), the
    exception is an instance of it too, so either kind of ``except`` works.
    Without a known cause `errno` is None."""


# One class per OSError subclass, made on first use, so that a caller may
# catch ImagerError or FileNotFoundError alike.
_JOINT_CLASSES = {}


def error_for(code, text):
    """An ImagerError for the errno `code` with the message `text`; an
    instance of Python's OSError subclass for that errno as well. A code of 0
    or None gives an ImagerError without errno."""
    if not code:
        return ImagerError(text)
    base = type(OSError(code, text))
    if base is OSError:
        return ImagerError(code, text)
    joint = _JOINT_CLASSES.get(base)
    if joint is None:
        joint = type("Imager" + base.__name__, (ImagerError, base), {
            "__doc__": "An ImagerError that is also a %s." % base.__name__,
            "__module__": __name__,
        })
        _JOINT_CLASSES[base] = joint
        globals()[joint.__name__] = joint  # found by name, so that pickle works
    return joint(code, text)


def device_lost():
    """The error of a wait that the engine's device going away ended."""
    return error_for(errno.ENODEV, "the imager's device went away; close and open it again")


def not_open(while_waiting=False):
    """The error of a wait for a barcode on an imager that is not open, or
    that was closed while the wait went on."""
    if while_waiting:
        return error_for(errno.ECANCELED, "the imager was closed while waiting for a barcode")
    return error_for(errno.EBADF, "the imager is not open")
