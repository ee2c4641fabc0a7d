#!/usr/bin/env bash
# Fuzzes the 3DS loader: builds the ImportModel target with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer into build-fuzz/ and runs
# it for SECONDS (default 600) on one core. Seeds are the files the loader
# tests write and the real sample files. Not part of CI.
#   usage: bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"

packages=(clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Seeds: run the loader tests, which leave their byte-built files behind.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target loader3ds_test
work=build/tests/work/loader3ds_test
(cd "$work" && SOURCE_DIR="$OLDPWD" "$OLDPWD/build/tests/loader3ds_test" >/dev/null)
mkdir -p build-fuzz/corpus
# Each test writes into a directory of its own; keep its name on the seed.
find "$work" -iname '*.3ds' | while read -r seed; do
    cp "$seed" "build-fuzz/corpus/$(basename "$(dirname "$seed")")-$(basename "$seed")"
done
for samples in ../shared/3ds-samples ../../shared/3ds-samples; do
    if [[ -d $samples ]]; then
        find "$samples" -maxdepth 1 -iname '*.3ds' -exec cp {} build-fuzz/corpus/ \;
        break
    fi
done

clang++ -std=c++20 -O1 -g -I. -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    tests/fuzz/import_model_fuzz.cpp loader3ds/model_loader.cpp loader3ds/vertex_normals.cpp \
    -o build-fuzz/import_model_fuzz

cd build-fuzz
./import_model_fuzz -jobs=1 -workers=1 -max_total_time="$seconds" -max_len=65536 corpus
