# libFuzzer targets (fuzz/), built with Debian's clang against the core
# sources, which are compiled here with the fuzzer's instrumentation and
# AddressSanitizer + UndefinedBehaviorSanitizer.
#   make fuzz                    builds every target and runs each for FUZZ_SECONDS (20 s)
#   make fuzz FUZZ_SECONDS=600   long runs
#   make fuzz FUZZ_TARGETS=cell_text
# Each run starts from a scratch copy of fuzz/corpus/<target>, so the
# committed seeds never grow; a crash input is left in $(FUZZ_BUILD)/artifacts.

FUZZ_SECONDS ?= 20
FUZZ_BUILD ?= build/fuzz
FUZZ_CXX ?= clang++
FUZZ_TARGETS ?= cell_text letter_reference datetime_text json_string json_number book_json
FUZZ_FLAGS := -std=c++20 -O1 -g -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS \
    -fsanitize=address,undefined -fno-sanitize-recover=all -Icore
FUZZ_CORE_SOURCES := $(wildcard core/model/*.cpp) core/platform/pool.cpp
FUZZ_CORE_OBJECTS := $(patsubst core/%.cpp,$(FUZZ_BUILD)/obj/%.o,$(FUZZ_CORE_SOURCES))
FUZZ_BINARIES := $(addprefix $(FUZZ_BUILD)/fuzz_,$(FUZZ_TARGETS))

.PHONY: fuzz fuzz-build fuzz-setup
# Keep the core objects between builds (make would drop them as intermediates).
.SECONDARY: $(FUZZ_CORE_OBJECTS)

fuzz-setup:
	@bash fuzz/setup.sh

fuzz-build: fuzz-setup
	@$(MAKE) --no-print-directory $(FUZZ_BINARIES)

$(FUZZ_BUILD)/obj/%.o: core/%.cpp $(wildcard core/*/*.hpp core/*/*.inc)
	@mkdir -p $(dir $@)
	$(FUZZ_CXX) $(FUZZ_FLAGS) -fsanitize=fuzzer-no-link -c $< -o $@

$(FUZZ_BUILD)/fuzz_%: fuzz/fuzz_%.cpp $(wildcard fuzz/*.hpp) $(FUZZ_CORE_OBJECTS)
	$(FUZZ_CXX) $(FUZZ_FLAGS) -fsanitize=fuzzer $< $(FUZZ_CORE_OBJECTS) -ltbb -o $@

fuzz: fuzz-build
	@mkdir -p $(FUZZ_BUILD)/artifacts; passed=0; failed=0; \
	for t in $(FUZZ_TARGETS); do \
	  work=$$(mktemp -d); \
	  cp fuzz/corpus/$$t/* "$$work"/; \
	  if $(FUZZ_BUILD)/fuzz_$$t "$$work" -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	        -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$t- \
	        >$(FUZZ_BUILD)/fuzz_$$t.log 2>&1; then \
	    passed=$$((passed + 1)); \
	    echo "fuzz_$$t: ok, $$(sed -n 's/^stat::number_of_executed_units: *//p' $(FUZZ_BUILD)/fuzz_$$t.log) runs in $(FUZZ_SECONDS) s"; \
	  else \
	    failed=$$((failed + 1)); \
	    echo "fuzz_$$t: FAILED"; tail -n 40 $(FUZZ_BUILD)/fuzz_$$t.log; \
	  fi; \
	  rm -rf "$$work"; \
	done; \
	echo "fuzz: $$passed passed, $$failed failed"; \
	[ $$failed -eq 0 ]
