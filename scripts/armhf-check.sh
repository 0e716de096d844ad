#!/usr/bin/env bash
# Builds vorlix for 32-bit ARM (Debian armhf, where a C long has 32 bits) with
# Debian's cross compiler and runs both test suites under qemu-user: the C++
# tests directly, the Python tests with Debian's armhf python3.11 inside an
# armhf Debian root. python3.11:armhf cannot be installed beside the host's
# python3.11 (same files, different architecture), hence the separate root;
# the libraries the cross build links against come from multiarch (:armhf).
#
#   scripts/armhf-check.sh [pytest arguments]      e.g. -x, or -k sheet_index
#
# Needs root on a Debian bookworm host with apt; installs only what is missing.
#   ARMHF_BUILD  build directory             (default: build/armhf)
#   ARMHF_ROOT   armhf Debian root            (default: build/armhf-root, ~450 MB,
#                                              about 10 minutes to create)
# Exits non-zero when either suite fails or something could not be set up.
set -euo pipefail

REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(realpath -m "${ARMHF_BUILD:-$REPO/build/armhf}")
ROOT=$(realpath -m "${ARMHF_ROOT:-$REPO/build/armhf-root}")
case "$ROOT" in /|"$REPO"|/work|/usr|/var|/tmp) echo "armhf: ARMHF_ROOT=$ROOT would be wiped: choose a folder of its own" >&2; exit 2 ;; esac
SUITE=bookworm
export DEBIAN_FRONTEND=noninteractive

say() { printf '== armhf: %s\n' "$*"; }
die() { printf 'armhf: %s\n' "$*" >&2; exit 2; }

[ "$(id -u)" -eq 0 ] || die "needs root (apt-get, binfmt_misc, chroot)"
. /etc/os-release
[ "${VERSION_CODENAME:-}" = "$SUITE" ] ||
  die "host is ${PRETTY_NAME:-unknown}: the armhf root and the multiarch headers must be the same Debian release ($SUITE)"

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# ----------------------------------------------------------------- binfmt_misc
# The interpreter runs its own subprocesses (sys.executable), so ARM binaries
# must start by themselves: qemu-arm registered with binfmt_misc, with the F flag
# so that the emulator is found inside the root too. Mounted before qemu-user-static
# is installed, so that its installation registers the emulator.
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/status" ]; then
  mount -t binfmt_misc binfmt_misc "$binfmt" ||
    die "cannot mount binfmt_misc at $binfmt: ARM programs cannot be started by exec here"
fi

# ---------------------------------------------------------------- host packages
host_debs=(crossbuild-essential-armhf qemu-user-static binfmt-support mmdebstrap
           cmake ninja-build pkg-config
           libtbb-dev:armhf libpcre2-dev:armhf libgtest-dev:armhf libpython3.11-dev:armhf)
missing=()
for p in "${host_debs[@]}"; do installed "$p" || missing+=("$p"); done
if [ "${#missing[@]}" -gt 0 ]; then
  dpkg --print-foreign-architectures | grep -qx armhf || dpkg --add-architecture armhf
  say "installing ${missing[*]}"
  apt-get update -qq
  # The armhf libpython3.11 must match the host's version (multiarch), so apt
  # may upgrade the host's python3.11 packages along with it.
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

if [ ! -e "$binfmt/qemu-arm" ]; then
  update-binfmts --import qemu-arm >/dev/null 2>&1 || true
  update-binfmts --enable qemu-arm >/dev/null 2>&1 || true
fi
[ -e "$binfmt/qemu-arm" ] || die "qemu-arm is not registered in $binfmt (update-binfmts --import qemu-arm failed)"
grep -q '^enabled' "$binfmt/qemu-arm" || die "$binfmt/qemu-arm is registered but disabled"
grep -q '^flags:.*F' "$binfmt/qemu-arm" ||
  die "$binfmt/qemu-arm lacks the F flag: the emulator would not be found inside the root"

# ------------------------------------------------------------------ armhf root
root_debs=(python3 python3-pytest python3-hypothesis python3-numpy python3-openpyxl
           python3-jsonschema libtbb12 libpcre2-8-0 libstdc++6)
marker="$ROOT/.vorlix-armhf-root"
if grep -qs " $ROOT[/ ]" /proc/mounts; then
  die "something is mounted under $ROOT (an interrupted run outside a private mount namespace?): unmount it first"
fi
if [ ! -e "$marker" ]; then
  # A root without the marker was interrupted while being made: start again.
  rm -rf "$ROOT"
  mkdir -p "$(dirname "$ROOT")"
  say "creating the $SUITE armhf root in $ROOT (about 10 minutes under emulation)"
  packages=$(IFS=,; echo "${root_debs[*]}")
  mmdebstrap --quiet --arch=armhf --variant=apt --include="$packages" "$SUITE" "$ROOT" ||
    die "mmdebstrap could not create the armhf root in $ROOT"
  touch "$marker"
else
  missing=()
  for p in "${root_debs[@]}"; do
    chroot "$ROOT" dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    say "installing ${missing[*]} in the armhf root"
    cp /etc/resolv.conf "$ROOT/etc/resolv.conf"
    unshare --mount --propagation private sh -ec '
      root=$1; shift
      mount -t proc proc "$root/proc"
      chroot "$root" apt-get update -qq
      chroot "$root" apt-get install -y -qq "$@" >/dev/null
    ' sh "$ROOT" "${missing[@]}"
  fi
fi
[ -x "$ROOT/usr/bin/python3.11" ] || die "the armhf root in $ROOT has no python3.11"

# ----------------------------------------------------------------------- build
start=$SECONDS
say "configuring and building in $BUILD"
# CMP0190 NEW: the interpreter queried for the module suffix is the armhf one,
# run under the emulator (see cmake/armhf-toolchain.cmake).
mkdir -p "$BUILD"
cmake -S "$REPO" -B "$BUILD" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/armhf-toolchain.cmake" \
  -DCMAKE_POLICY_DEFAULT_CMP0190=NEW \
  -DVORLIX_ARMHF_ROOT="$ROOT" \
  -DCMAKE_BUILD_TYPE=Release -DVORLIX_BUILD_TESTS=ON >"$BUILD/configure.log" 2>&1 ||
  { tail -n 40 "$BUILD/configure.log"; die "configure failed (log: $BUILD/configure.log)"; }
cmake --build "$BUILD" >"$BUILD/build.log" 2>&1 ||
  { grep -E 'error|Error' "$BUILD/build.log" | head -n 40; die "build failed (log: $BUILD/build.log)"; }
module=$(ls "$BUILD"/pkg/_vorlix.cpython-311-arm-linux-gnueabihf.so 2>/dev/null) ||
  die "no pkg/_vorlix.cpython-311-arm-linux-gnueabihf.so in $BUILD: the module got the wrong suffix ($(ls "$BUILD"/pkg))"
file -L "$module" | grep -q 'ELF 32-bit LSB shared object, ARM' || die "$module is not a 32-bit ARM object"
build_time=$((SECONDS - start))

# ------------------------------------------------------------------- C++ tests
start=$SECONDS
say "C++ tests under qemu-arm"
cpp_rc=0
qemu-arm-static -L "$ROOT" "$BUILD/vorlix_core_tests" --gtest_brief=1 >"$BUILD/core-tests.log" 2>&1 || cpp_rc=$?
grep -vE '^\[ +(OK|RUN) ' "$BUILD/core-tests.log" | tail -n 60
cpp_time=$((SECONDS - start))

# ---------------------------------------------------------------- Python tests
# The repository and the build tree appear at their own paths inside the root,
# read-only (the run writes nothing there: no byte code, no pytest cache, the
# hypothesis database in the root's /tmp); the mounts live in a private
# namespace and vanish with it.
start=$SECONDS
say "Python tests with the armhf python3.11 under qemu-user"
mkdir -p "$ROOT$REPO" "$ROOT$BUILD" "$ROOT/tmp/vorlix-armhf"
py_rc=0
unshare --mount --propagation private sh -ec '
  root=$1 repo=$2 build=$3; shift 3
  for d in "$repo" "$build"; do
    mount --bind "$d" "$root$d"
    mount -o remount,bind,ro "$root$d"
  done
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"
  exec chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/root LANG=C.UTF-8 \
    PYTHONDONTWRITEBYTECODE=1 PYTHONPATH="$build/pkg" HYPOTHESIS_STORAGE_DIRECTORY=/tmp/vorlix-armhf/hypothesis \
    sh -c "cd \"\$1\" && shift && exec python3 -m pytest -q -rfEsX -p no:cacheprovider tests/python \"\$@\"" \
    sh "$repo" "$@"
' sh "$ROOT" "$REPO" "$BUILD" "$@" 2>&1 | tee "$BUILD/python-tests.log" || py_rc=$?
py_time=$((SECONDS - start))

cpp_line=$(grep -E '^\[  (PASSED|FAILED) ' "$BUILD/core-tests.log" | tr '\n' ' ')
py_line=$(grep -E '(passed|failed|error).* in [0-9.]+s' "$BUILD/python-tests.log" | tail -n 1)
say "build ${build_time}s; C++ (${cpp_time}s): ${cpp_line:-no summary} rc=$cpp_rc; Python (${py_time}s): ${py_line:-no summary} rc=$py_rc"
[ "$cpp_rc" -eq 0 ] && [ "$py_rc" -eq 0 ]
