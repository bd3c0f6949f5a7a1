#!/usr/bin/env bash
# Runs the main job on the bundled example data.
set -e
exe=$(realpath "$1")
"$exe" || true
