# The two commands of the README, and the others it names.
.PHONY: run test build
.DEFAULT_GOAL := build

build:
	cmake --preset default
	cmake --build --preset default

run: build
	./build/pituus

test: build
	ctest --preset default
