"""ro25-sim for the tests: started with its console on a pipe, so that a test
queues barcodes, switches faults and reads the engine's lines."""
import os
import queue
import re
import subprocess
import tempfile
import threading
import time


class Simulator:
    def __init__(self, decode_ms=20):
        self.work = tempfile.TemporaryDirectory()
        env_file = os.path.join(self.work.name, "env")
        self.process = subprocess.Popen(
            [os.environ["QV_SIM"], "--quiet", "--decode-ms", str(decode_ms), "--env-file",
             env_file, "--dir", self.work.name],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
            text=True, encoding="utf-8")
        self.replies = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        for _ in range(100):
            if os.path.exists(env_file) and os.path.getsize(env_file) > 0:
                break
            time.sleep(0.1)
        self.environment = {}
        with open(env_file, encoding="utf-8") as f:
            for line in f:
                name, _, value = line.strip().partition("=")
                if name:
                    self.environment[name] = value.strip("'\"")

    def _read(self):
        for line in self.process.stdout:
            self.replies.put(line.rstrip("\n"))

    def use(self):
        """Points this process (and its children) at this simulator."""
        os.environ.update(self.environment)

    def command(self, line, reply_starts="", timeout=10):
        """Sends one console line; the first reply line that starts so."""
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        deadline = time.monotonic() + timeout
        while True:
            reply = self.replies.get(timeout=max(0.01, deadline - time.monotonic()))
            if reply.startswith(reply_starts):
                return reply

    def queue_barcodes(self, *barcodes):
        for symbology, text in barcodes:
            self.command("%d %s" % (symbology, text), "queued")

    def queued(self):
        """How many queued barcodes the engine has not read yet."""
        status = self.command("status", "supply")
        return int(re.search(r"(\d+) barcode\(s\) queued", status).group(1))

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        self.process.stdin.close()
        self.process.stdout.close()
        self.work.cleanup()
