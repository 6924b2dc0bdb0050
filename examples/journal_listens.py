"""Runs $QV_EXAMPLE with a journal listening where the system's would be (a
tmpfs over /run/systemd, so this runs in a private mount namespace) and
fails if a single entry reaches it."""
import os
import socket
import subprocess
import sys

RUN = "/run/systemd"
os.makedirs(RUN, exist_ok=True)
subprocess.run(["mount", "-t", "tmpfs", "tmpfs", RUN], check=True)
os.makedirs(RUN + "/journal")
journal = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
journal.bind(RUN + "/journal/socket")
journal.setblocking(False)

run = subprocess.run([os.environ["QV_EXAMPLE"]], capture_output=True, timeout=60)
if run.returncode != 0:
    sys.exit("the example failed: " + run.stderr.decode(errors="replace"))
entries = []
while True:
    try:
        entries.append(journal.recv(65536))
    except BlockingIOError:
        break
if entries:
    sys.exit("%d entries reached the journal, the first: %r" % (len(entries), entries[0]))
print("without QV_DEBUG_OUTPUT: nothing reached a listening journal")
