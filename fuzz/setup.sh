#!/usr/bin/env bash
# Installs what the fuzz targets need when it is missing: Debian's clang and
# the compiler runtime that carries libFuzzer and the sanitizers
# (libclang-rt-14-dev; without it -fsanitize=fuzzer fails at link time).
set -euo pipefail

CLANGXX=${CLANGXX:-clang++}

have_toolchain() {
    command -v "$CLANGXX" >/dev/null 2>&1 || return 1
    local dir
    dir=$(mktemp -d)
    printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$dir/probe.cpp"
    local ok=0
    "$CLANGXX" -fsanitize=fuzzer,address,undefined "$dir/probe.cpp" -o "$dir/probe" >/dev/null 2>&1 || ok=1
    rm -rf "$dir"
    return $ok
}

if have_toolchain; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "fuzz/setup.sh: clang with libFuzzer is missing; run as root to install clang and libclang-rt-14-dev" >&2
    exit 1
fi

echo "fuzz/setup.sh: installing clang and libclang-rt-14-dev" >&2
export DEBIAN_FRONTEND=noninteractive
# Another install may hold the package lock for a while: wait for it.
apt-get -o DPkg::Lock::Timeout=900 update -qq
apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends clang libclang-rt-14-dev >/dev/null

if ! have_toolchain; then
    echo "fuzz/setup.sh: clang still cannot link -fsanitize=fuzzer" >&2
    exit 1
fi
