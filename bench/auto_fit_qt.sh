#!/usr/bin/env bash
# The automatic run over the 2,000-reflection CAD4 example on the real Qt
# window (offscreen), with the scan plot drawn for every reflection.  It
# prints the time of the run.  Build first: cmake --build build --target test_ui_qt
set -euo pipefail
build="${1:-build}"
QT_QPA_PLATFORM=offscreen "$build/tests/test_ui_qt" \
    --gtest_filter=ScanPlotOnQt.AutomaticRunOverTheLargeExampleWithPlotting | grep "automatic run"
