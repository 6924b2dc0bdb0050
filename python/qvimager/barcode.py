"""A decoded barcode, and the texts the library hands over."""

import codecs
import collections
import ctypes
import os

__all__ = ["Barcode", "code_page_codec", "utf16_at"]


class Barcode(collections.namedtuple("Barcode", "symbology text")):
    """A decoded barcode: `symbology` (a number of SYMBOLOGIES), `text` (str)
    and `raw` (bytes).

    `raw` is the text in the engine's code page (QV_ANSI_CODEPAGE, as the
    library read it when the imager was opened), which gives back the bytes
    the engine sent wherever the code page defines them: always with
    ISO-8859-1 (the choice for binary barcodes), for valid text with UTF-8.
    A byte the code page leaves undefined reaches `text` as U+FFFD and `raw`
    as b"?". The barcode is still the pair (symbology, text) for unpacking
    and comparison."""

    def __new__(cls, symbology, text, raw=None):
        """`raw` defaults to the text in CP1252, the library's default code
        page."""
        self = super().__new__(cls, symbology, text)
        self.raw = raw if raw is not None else text.encode("cp1252", errors="replace")
        return self

    @classmethod
    def _make(cls, iterable):
        return cls(*iterable)

    def __repr__(self):
        return "Barcode(symbology=%r, text=%r, raw=%r)" % (self.symbology, self.text, self.raw)


def code_page_codec(name=None):
    """The Python codec of the library's code page: `name`, else
    $QV_ANSI_CODEPAGE; CP1252 when unset, empty or unknown to Python, as the
    library falls back."""
    if name is None:
        name = os.environ.get("QV_ANSI_CODEPAGE", "")
    try:
        return codecs.lookup(name).name if name else "cp1252"
    except LookupError:
        return "cp1252"


def utf16_at(address, limit=1 << 20):
    """The zero-terminated UTF-16 text at an address, as str; units that are
    not UTF-16 (a lone surrogate) become U+FFFD."""
    units = ctypes.cast(address, ctypes.POINTER(ctypes.c_uint16))
    length = 0
    while length < limit and units[length] != 0:
        length += 1
    return ctypes.string_at(address, 2 * length).decode("utf-16-le", errors="replace")
