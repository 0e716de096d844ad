# Two commands do everything on a fresh machine:
#   make demo   builds vorlix and runs the example report job
#   make test   builds vorlix and runs every C++ and Python test
PY ?= python3
BUILD ?= build/dev
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release
export PYTHONPATH := $(abspath $(BUILD))/pkg

.PHONY: setup build test test-cpp test-python demo bench install clean

setup:
	@bash scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD) -G Ninja -DVORLIX_BUILD_TESTS=ON -DPython_EXECUTABLE=$$(command -v $(PY)) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)

test-cpp: build
	@cd $(BUILD) && ctest --output-on-failure -j2 > ctest.log 2>&1; rc=$$?; tail -n 3 ctest.log; exit $$rc

test-python: build
	@$(PY) -m pytest -q tests/python

test: test-cpp test-python

# The example report job: writes $(REPORT)/report.json and $(REPORT)/report.xlsx.
REPORT ?= build/report
demo: build
	@$(PY) examples/report.py --out $(REPORT)

# The benchmark suite against openpyxl, pandas and the bare limit; its peers come from
# bench/requirements.txt ("requirement  # module" per line), installed only when one is missing.
# BENCH_ARGS passes options to bench/run.py, e.g. BENCH_ARGS="--wait-quiet 600".
bench: build
	@need=0; while read -r line; do \
	  mod=$${line##*# }; [ -n "$$mod" ] && [ "$$mod" != "$$line" ] || continue; \
	  $(PY) -c "import $$mod" 2>/dev/null || need=1; \
	done < bench/requirements.txt; \
	if [ $$need -eq 1 ]; then $(PY) -m pip install -q --disable-pip-version-check -r bench/requirements.txt; fi
	@$(PY) bench/run.py $(BENCH_ARGS)

install: setup
	@$(PY) -m pip install .

clean:
	rm -rf build

# Further targets (checks, benchmarks) live in their own fragments.
include $(wildcard mk/*.mk)
