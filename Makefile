# make test   - install what is missing, build everything, run every test
# make demo   - build the demo medium and start the wizard from it
# make sign   - a signed medium: PAYLOAD=folder MEDIUM=folder, with the vendor's
#               certificate (SIGN_PFX, SIGN_PASSWORD, optional SIGN_TIMESTAMP_URL;
#               see README.md)
BUILD ?= build
JOBS ?= 2

.PHONY: all setup build test demo screenshots bench sign format clean

all: build

setup:
	@tools/install-packages.sh
	@tools/build-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release

build: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	tools/run-tests.sh $(BUILD)

screenshots: build
	tools/screenshots.sh $(BUILD)

demo: build
	tools/demo.sh $(BUILD)

bench: build
	tools/bench.sh $(BUILD)

# tools/sign-medium.sh: the uninstaller signed and taken into the wizard, the
# medium laid out with its wizard stamped, that wizard signed.
sign: build
	@[ -n "$(PAYLOAD)" ] && [ -n "$(MEDIUM)" ] || \
	  { echo "make sign: name the payload and the medium: make sign PAYLOAD=folder MEDIUM=folder" >&2; exit 2; }
	JOBS=$(JOBS) tools/sign-medium.sh $(BUILD) $(PAYLOAD) $(MEDIUM)

format:
	find app wizard install uninstall fileops picker platform tests tools demo bench \
	  \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) | xargs -r clang-format -i

clean:
	rm -rf $(BUILD)
