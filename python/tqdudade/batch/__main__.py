"""python3 -m tqdudade.batch: see tqdudade.batch."""
import os
import sys

from . import main

status = main()
# Every line is written; Python's teardown of its modules would take longer
# than a batch of a few drawings, so the process ends here.
try:
    sys.stdout.flush()
    sys.stderr.flush()
except OSError:
    status = status or 1
os._exit(status)
