#!/usr/bin/env bash
# Host build, release with debug info: the whole suite.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --workflow --preset default
