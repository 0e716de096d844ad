# The shipped target is 32-bit ARM (armhf, a C long of 32 bits): a cross build
# with Debian's armhf compiler, then the C++ and Python test suites under
# qemu-user with Debian's armhf python3.11 (scripts/armhf-check.sh). Needs root
# and apt; the first run installs the cross toolchain and makes an armhf root.
#   make check-armhf
#   make check-armhf ARMHF_PYTEST_ARGS=-x
ARMHF_BUILD ?= build/armhf
ARMHF_ROOT ?= build/armhf-root
ARMHF_PYTEST_ARGS ?=

.PHONY: check-armhf
check-armhf:
	@ARMHF_BUILD=$(abspath $(ARMHF_BUILD)) ARMHF_ROOT=$(abspath $(ARMHF_ROOT)) \
	  bash scripts/armhf-check.sh $(ARMHF_PYTEST_ARGS)
