# Top-level commands. The real build lives in CMake (presets "host", "windows" and "windows64");
# this file strings them together and fills dist/.
#
#   make          dist/: Mendrel.exe, payload.tar.gz, payload.crc and the signed ZorvanFix.exe
#   make test     host unit tests, then the end-to-end scenarios under Wine
#   make demo     build, then run dist/ZorvanFix.exe silently under Wine in a scratch prefix
#   make bench    benchmarks
SHELL := /bin/bash
.PHONY: all host windows windows64 dist dist64 test unit e2e bench demo clean

all: dist

host:
	cmake --preset host >/dev/null
	cmake --build --preset host

windows:
	cmake --preset windows >/dev/null
	cmake --build --preset windows

windows64:
	cmake --preset windows64 >/dev/null
	cmake --build --preset windows64

# The product: the payload members in their fixed order, packed and embedded into the launcher.
dist: host windows
	scripts/stage-payload build/windows build/payload-stage
	mkdir -p dist
	cp build/payload-stage/Mendrel.exe dist/Mendrel.exe
	scripts/build-launcher --arch 32 --payload-out dist build/payload-stage dist/ZorvanFix.exe

# The same product built for x86_64, for end-to-end runs on hosts that cannot run 32-bit code.
dist64: host windows64
	scripts/stage-payload build/windows64 build/payload-stage64
	mkdir -p build/dist64
	cp build/payload-stage64/Mendrel.exe build/dist64/Mendrel.exe
	scripts/build-launcher --arch 64 --payload-out build/dist64 build/payload-stage64 build/dist64/ZorvanFix.exe

unit: host
	ctest --preset host

e2e: dist dist64
	tests/e2e/run

test: dist dist64
	ctest --preset host
	tests/e2e/run

bench: host
	scripts/run-benchmarks

demo: dist dist64
	scripts/demo

clean:
	rm -rf build dist
