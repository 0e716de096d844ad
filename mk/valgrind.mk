# make check-valgrind: the C++ tests under valgrind's memcheck, built
# without sanitizers (-O1 -g) in a directory of their own. Fails on any
# memory error or definite/possible leak; tests/valgrind/memcheck.supp names
# the reports that are not ours, and why.
#
# Cell records come from a block pool whose chunks are never given back:
# memcheck would see neither a leaked nor a freed-then-used cell inside
# them. VORLIX_PLAIN_ALLOCATION gives every cell its own allocation here, as
# the AddressSanitizer build does.

VALGRIND_BUILD ?= build/valgrind

.PHONY: check-valgrind

check-valgrind: setup
	@command -v valgrind >/dev/null || { \
	  if [ "$$(id -u)" -ne 0 ]; then echo "check-valgrind: valgrind is missing (run as root or install it)" >&2; exit 1; fi; \
	  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq valgrind >/dev/null || \
	  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq valgrind >/dev/null; }; }
	@cmake -S . -B $(VALGRIND_BUILD) -G Ninja -DVORLIX_BUILD_TESTS=ON -DVORLIX_BUILD_EXTENSION=OFF \
	  -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g -DVORLIX_PLAIN_ALLOCATION=1" >/dev/null
	@cmake --build $(VALGRIND_BUILD)
	@valgrind --error-exitcode=1 --leak-check=full \
	  --suppressions=$(abspath tests/valgrind/memcheck.supp) $(VALGRIND_BUILD)/vorlix_core_tests
