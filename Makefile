# Two commands do everything on a fresh machine:
#   make demo   builds vorlix and runs the example report job
#   make test   builds vorlix and runs every C++ and Python test
PY ?= python3
BUILD ?= build/dev
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release
export PYTHONPATH := $(abspath $(BUILD))/pkg

.PHONY: setup build test test-cpp test-python demo install clean

setup:
	@bash scripts/setup.sh

build: setup
	@cmake -S . -B $(BUILD) -G Ninja -DVORLIX_BUILD_TESTS=ON -DPython_EXECUTABLE=$$(command -v $(PY)) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)

test-cpp: build
	@cd $(BUILD) && ctest --output-on-failure -j2 | tail -n 3

test-python: build
	@$(PY) -m pytest -q tests/python

test: test-cpp test-python

demo: build
	@$(PY) examples/report.py

install: setup
	@$(PY) -m pip install .

clean:
	rm -rf build

# Further targets (checks, benchmarks) live in their own fragments.
include $(wildcard mk/*.mk)
