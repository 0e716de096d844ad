# Checked runs with the compiler's sanitizers, each in a build directory of
# its own (the normal build is left alone):
#   make check-asan   AddressSanitizer + UndefinedBehaviorSanitizer over the
#                     C++ tests (ctest) and the Python tests (pytest)
#   make check-tsan   ThreadSanitizer over the concurrency stress test
# Each fails when a sanitizer reports anything.

ASAN_BUILD ?= build/asan
TSAN_BUILD ?= build/tsan
CHECK_OPT ?= -O1 -g

# Beyond -fsanitize=address,undefined (VORLIX_SANITIZE): bounds checks in the
# standard containers, and float-to-integer conversions out of range (not part
# of GCC's "undefined" group).
ASAN_CXX_FLAGS := $(CHECK_OPT) -D_GLIBCXX_ASSERTIONS -fsanitize=float-cast-overflow \
  -fno-sanitize-recover=float-cast-overflow

# allocator_may_return_null: an impossible allocation fails as it would
# without the sanitizer (bad_alloc, MemoryError) instead of ending the run.
ASAN_RUN_OPTIONS := halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:allocator_may_return_null=1
UBSAN_RUN_OPTIONS := halt_on_error=1:print_stacktrace=1
TSAN_RUN_OPTIONS := halt_on_error=0:history_size=7:second_deadlock_stack=1

.PHONY: check-asan check-tsan

check-asan: setup
	@py=$$($(PY) -c 'import sys; print(sys.executable)'); \
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DVORLIX_BUILD_TESTS=ON -DVORLIX_SANITIZE=ON \
	  -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=$(ASAN_CXX_FLAGS)" \
	  -DPython_EXECUTABLE="$$py" >/dev/null
	@cmake --build $(ASAN_BUILD)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=$(ASAN_RUN_OPTIONS):detect_leaks=1 \
	  UBSAN_OPTIONS=$(UBSAN_RUN_OPTIONS) ctest --output-on-failure -j2
	@# The interpreter is not instrumented: the runtimes the module links are
	@# preloaded so that they come first. The interpreter leaks by design at
	@# exit, hence no leak check; PYTHONMALLOC=malloc puts Python's own objects
	@# under the sanitizer too (a reference dropped once too often shows up).
	@py=$$($(PY) -c 'import sys; print(sys.executable)'); \
	mod=$$(ls $(ASAN_BUILD)/pkg/_vorlix*.so); \
	rt=$$(ldd $$mod | awk '/lib(asan|ubsan)\.so/ { printf "%s%s", sep, $$3; sep = ":" }'); \
	case "$$rt" in *libasan*libubsan*|*libubsan*libasan*) ;; \
	  *) echo "check-asan: $$mod does not link the sanitizer runtimes" >&2; exit 1;; esac; \
	echo "check-asan: pytest with LD_PRELOAD=$$rt"; \
	LD_PRELOAD=$$rt ASAN_OPTIONS=$(ASAN_RUN_OPTIONS):detect_leaks=0 UBSAN_OPTIONS=$(UBSAN_RUN_OPTIONS) \
	  PYTHONMALLOC=malloc PYTHONPATH=$(abspath $(ASAN_BUILD))/pkg "$$py" -m pytest -q tests/python

# Two runs of tests/stress/stress_core.cpp. "serial" keeps every sheet below
# the pool's serial grain, so no work reaches the prebuilt (uninstrumented)
# oneTBB scheduler and no suppression is needed. "pool" runs searches, sorts
# and snapshots on the worker pool; tests/stress/tsan.supp says what it hides
# and why.
check-tsan: setup
	@cmake -S tests/stress -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  "-DCMAKE_CXX_FLAGS_DEBUG=$(CHECK_OPT)" >/dev/null
	@cmake --build $(TSAN_BUILD)
	@TSAN_OPTIONS=$(TSAN_RUN_OPTIONS) $(TSAN_BUILD)/vorlix_stress serial
	@TSAN_OPTIONS=$(TSAN_RUN_OPTIONS):suppressions=$(abspath tests/stress/tsan.supp):print_suppressions=1 \
	  $(TSAN_BUILD)/vorlix_stress pool
