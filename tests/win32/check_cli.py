#!/usr/bin/env python3
"""Check chanwiz-cli.exe's resources: check_resources.py --cli EXE."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_resources import main  # noqa: E402

if __name__ == "__main__":
    sys.exit(main(["--cli"] + sys.argv[1:]))
