"""The names the settings calls take."""

__all__ = ["OPTION_SETS", "SYMBOLOGIES"]

#: The per-symbology option sets: the export stem (QVImagerSet<stem>Setting)
#: to (number of values, indexes of the values that are single characters).
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

#: Symbology numbers by name, as reported with each barcode.
SYMBOLOGIES = {
    "aztec": 2, "codabar": 6, "code11": 8, "code128": 9, "code39": 12, "code93": 14,
    "datamatrix": 17, "ean8": 19, "ean13": 20, "interleaved2of5": 22, "msi": 29,
    "pdf417": 32, "qr": 37, "upca": 43, "upce": 44, "gs1-128": 55,
}
