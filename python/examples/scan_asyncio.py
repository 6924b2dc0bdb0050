#!/usr/bin/env python3
"""Prints barcodes as they come, in an asyncio program that goes on with its
own work meanwhile. The libraries are found by the system's loader, or in
$QVIMAGER_LIBRARY_DIR."""
import asyncio

import qvimager


async def main():
    imager = qvimager.Imager()  # on the loop's thread: its window gets the barcodes
    try:
        await imager.call(imager.open)  # about a second, off the loop
        print("version:", (await imager.call(imager.version))[0])
        while True:
            await imager.call(imager.scan_start)
            barcode = await imager.next_barcode()
            print(barcode.symbology, barcode.text)
    finally:
        imager.release()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
