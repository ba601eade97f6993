#!/usr/bin/env bash
# The program's main job on a simulated modem: installs what it needs,
# builds, starts the modem simulator on COM4 and runs a whole upgrade of a
# generated 512 KiB image with the sample identity data file.
#
# With a display the window is yours to drive. Without one the program runs
# on a virtual display, driven by key presses as a person would (Enter at
# the prompt, Enter for Upgrade, Enter at the result), and screenshots are
# saved in demo-out/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh build

scripts/run-demo.sh build/bin quilvex.dat demo-out
