#!/usr/bin/env bash
# Runs every benchmark executable of the build.
set -e
build=$1
for b in "$build"/bench_*; do
    [ -x "$b" ] && "$b"
done
