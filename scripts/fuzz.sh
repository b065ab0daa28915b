#!/usr/bin/env bash
# Builds the reply-parser fuzz targets with clang's libFuzzer and runs each for
# the given number of seconds (default 20). Seeds are real tracker replies.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
out=build-fuzz
mkdir -p "$out"
flags="-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I."
# The whole command layer, so that no file it needs can be left out of the list.
sources=(protocol/*.cpp)
objects=()
for s in "${sources[@]}"; do
  o="$out/$(basename "${s%.cpp}").o"
  clang++ $flags -fsanitize=fuzzer-no-link -c "$s" -o "$o"
  objects+=("$o")
done
names=(sri bei tri geo bac kpn wlt pin split dotted)
seeds=("+RVSRI:5830,0,1,internet,,,10.0.0.1,5000,+49\r\nOK\r\n" "+RVBEI:5830,,1.2.3.4,80,30\r\nOK\r\n"
       "+RVTRI:5830,0800,1800,5,60\r\nOK\r\n"
       "+RVGEO:5830,1,121.5,25.0,100,5,1,2,,,,,1,3,,,,,1,4,,,,,1\r\nOK\r\n"
       "+RVBAC:1,100,,,0,0,1,0,0,0,1,1,0,60,0,10,100,3\r\nOK\r\n"
       "+RVKPN:0,,,110,,SOS,1,0,1,111,,A,2,0,1,112,,B,3,,1,113,,C,4,,1,114,,D\r\nOK\r\n"
       "+RVWLT:1,2,3,4,5,6,7,8,9,10,1,0\r\nOK\r\n" "+RVPIN:1,,0\r\nOK\r\n" "a,,b\r\nc" "10.0.0.1")
for i in "${!names[@]}"; do
  name=${names[$i]}
  clang++ $flags -DKESTRUN_FUZZ_TARGET=$i fuzz/parsers_fuzz.cpp "${objects[@]}" -o "$out/fuzz_$name"
  corpus="$out/corpus-$name"
  mkdir -p "$corpus"
  printf '%b' "${seeds[$i]}" > "$corpus/seed"
  echo "fuzz_$name: ${seconds}s"
  "$out/fuzz_$name" -max_total_time="$seconds" -max_len=1200 -print_final_stats=0 "$corpus" 2>&1 | tail -n 2
done
