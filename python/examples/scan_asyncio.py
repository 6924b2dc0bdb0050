#!/usr/bin/env python3
"""Prints barcodes as they come, in an asyncio program that goes on with its
own work meanwhile, and ends cleanly on Ctrl-C or SIGTERM (a service
manager's stop). The libraries are found by the system's loader, or in
$QVIMAGER_LIBRARY_DIR."""
import asyncio
import signal

import qvimager


async def scan():
    # Made on the loop's thread: its window gets the barcodes.
    async with qvimager.Imager() as imager:
        print("version:", (await imager.call(imager.version))[0])
        while True:
            await imager.call(imager.scan_start)
            barcode = await imager.next_barcode()
            print(barcode.symbology, barcode.text, barcode.raw.hex())


async def main():
    task = asyncio.create_task(scan())
    loop = asyncio.get_running_loop()
    for signum in (signal.SIGINT, signal.SIGTERM):
        loop.add_signal_handler(signum, task.cancel)
    try:
        await task
    except asyncio.CancelledError:
        pass  # the imager was closed and released on the way out


if __name__ == "__main__":
    asyncio.run(main())
