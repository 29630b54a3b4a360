# make        builds build/bin/KSInst.dll, the ksinst-call host and the benchmarks
# make test   installs what is missing, builds, runs every test under Wine
# make demo   installs what is missing, builds, runs the sample product under Wine
# make bench  builds and runs the benchmarks under Wine
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all setup configure test demo bench clean

all: configure
	cmake --build $(BUILD) --target module benchmarks -j $(JOBS)

# The demo needs less than the tests: a fresh machine sets up only that much for it.
demo: SETUP_PROFILE = demo
setup:
	@bash scripts/setup.sh $(SETUP_PROFILE)

configure: setup
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686-posix.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null

test: configure
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: configure
	cmake --build $(BUILD) --target sample_installer sample_boxanswer kshelper -j $(JOBS)
	bash examples/demo.sh $(BUILD)

bench: configure
	cmake --build $(BUILD) -j $(JOBS)
	bash bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
