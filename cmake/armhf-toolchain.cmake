# Cross build for 32-bit ARM (Debian armhf: hard-float ABI, 32-bit C long).
# The target libraries come from Debian multiarch (libtbb-dev:armhf,
# libpcre2-dev:armhf, libgtest-dev:armhf, libpython3.11-dev:armhf), so they live
# beside the host's in /usr rather than in a separate sysroot.
# The interpreter that decides the module suffix is the armhf python3.11 of the
# root named by VORLIX_ARMHF_ROOT, run under qemu-user.
#
#   cmake -S . -B build/armhf -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/armhf-toolchain.cmake \
#     -DCMAKE_POLICY_DEFAULT_CMP0190=NEW -DVORLIX_ARMHF_ROOT=$PWD/build/armhf-root

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# GCC notes on ARM that the passing of some aggregates changed in GCC 7.1; this
# build links nothing compiled by an older GCC, so the notes only bury warnings.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)

# The armhf Debian root holding the target interpreter (scripts/armhf-check.sh
# makes it). Toolchain files are read again for try_compile projects: pass it on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VORLIX_ARMHF_ROOT)
if(NOT VORLIX_ARMHF_ROOT AND DEFINED ENV{VORLIX_ARMHF_ROOT})
  set(VORLIX_ARMHF_ROOT "$ENV{VORLIX_ARMHF_ROOT}")
endif()
if(NOT EXISTS "${VORLIX_ARMHF_ROOT}/usr/bin/python3.11")
  message(FATAL_ERROR "VORLIX_ARMHF_ROOT (\"${VORLIX_ARMHF_ROOT}\") must name an armhf Debian root with python3.11")
endif()

# Debian multiarch keeps the armhf libraries, headers and package files beside
# the host's under /usr, so no separate root path is searched: the library
# architecture selects /usr/lib/arm-linux-gnueabihf (and its cmake/ package
# files), and the host's x86_64 directories are kept out of every search.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /usr/include/x86_64-linux-gnu
    /usr/lib/x86_64-linux-gnu/cmake /lib/x86_64-linux-gnu)

# pkg-config must read the armhf .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Test discovery (gtest_discover_tests) and the interpreter queries run the ARM
# binaries under qemu-user; -L resolves the dynamic loader and libraries the
# root has, the rest falls back to the host's armhf multiarch files.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-arm-static -L ${VORLIX_ARMHF_ROOT})

# The interpreter found must be the target's, run under the emulator, so that
# the module gets the armhf suffix (cpython-311-arm-linux-gnueabihf). That needs
# policy CMP0190 NEW, which a toolchain file cannot set for the project (the
# project's cmake_minimum_required has already run): configure with
# -DCMAKE_POLICY_DEFAULT_CMP0190=NEW (scripts/armhf-check.sh does).
set(Python_EXECUTABLE ${VORLIX_ARMHF_ROOT}/usr/bin/python3.11 CACHE FILEPATH "armhf interpreter")
# /usr/include/python3.11/pyconfig.h includes the armhf one when __ARM_PCS_VFP is set.
set(Python_INCLUDE_DIR /usr/include/python3.11 CACHE PATH "armhf Python headers")
