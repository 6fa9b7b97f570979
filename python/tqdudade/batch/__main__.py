"""python3 -m tqdudade.batch: see tqdudade.batch."""
import sys

from . import main

sys.exit(main())
