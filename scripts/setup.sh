#!/usr/bin/env bash
# Installs what building and testing vorlix needs, when it is missing:
# Debian packages (as root, with apt-get) and Python packages (with pip).
set -euo pipefail

debs=(g++ cmake ninja-build pkg-config libtbb-dev libpcre2-dev libgtest-dev valgrind)
missing=()
for p in "${debs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing Debian packages: ${missing[*]} (run as root or install them)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

PY=${PYTHON:-python3}
req="$(dirname "$0")/requirements-dev.txt"
# Install only when a listed distribution is missing (versions are not compared).
if ! "$PY" - "$req" <<'PYEOF'
import importlib.metadata as md
import re
import sys

for line in open(sys.argv[1]):
    line = line.split("#")[0].strip()
    if not line:
        continue
    name = re.split(r"[<>=!~\[ ;]", line)[0]
    try:
        md.version(name)
    except md.PackageNotFoundError:
        sys.exit(1)
PYEOF
then
  "$PY" -m pip install -q --disable-pip-version-check -r "$req"
fi
