#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# Renders the checked-in PNG icons from their SVG sources: 32 and 48 pixels from the
# scalable icon, 16 pixels from its version drawn on the 16-pixel grid.
set -euo pipefail
icons=$(cd "$(dirname "${BASH_SOURCE[0]}")/../packaging/icons" && pwd)
render=$(dirname "${BASH_SOURCE[0]}")/render_icon.py
id=io.github.tarnwick.Ocula
for size in 16 32 48; do
    svg=$icons/$id.svg
    ((size == 16)) && svg=$icons/$id-16.svg
    mkdir -p "$icons/${size}x$size"
    python3 "$render" "$svg" "$size" "$icons/${size}x$size/$id.png"
done
