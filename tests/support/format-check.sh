#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# Every tracked C++ source must match the checked-in .clang-format.
set -euo pipefail
files=$(git ls-files '*.cpp' '*.h')
[ -n "$files" ] || { echo "no tracked sources"; exit 1; }
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files
echo "format check: $(echo "$files" | wc -l) files clean"
