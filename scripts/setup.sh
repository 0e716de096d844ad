#!/usr/bin/env bash
# Installs what building and testing vorlix needs, when it is missing:
# Debian packages (as root, with apt-get) and Python packages (with pip).
set -euo pipefail

debs=(g++ cmake ninja-build pkg-config libtbb-dev libpcre2-dev libgtest-dev)
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
# One import per requirement line ("package  # module"); install only when one is missing.
need=0
while read -r line; do
  mod=${line##*# }
  [ -n "$mod" ] && [ "$mod" != "$line" ] || continue
  "$PY" -c "import $mod" 2>/dev/null || need=1
done < "$req"
if [ "$need" -eq 1 ]; then
  "$PY" -m pip install -q --disable-pip-version-check -r "$req"
fi
