#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer and runs each for the given
# number of seconds (default 20): the reply parsers, seeded with real tracker
# replies, and the loaders of the files a user hands the tool (the per-tracker
# table, a config file, a table checked against a template), seeded with
# files that pass. A second argument caps the size of a file target's input
# (default 4096: a few rows or a config file; try 100000 by hand).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
max_len=${2:-4096}
out=build-fuzz
# The file targets write each input to a folder of their own under TMPDIR; a
# crash leaves it behind, here rather than in /tmp.
mkdir -p "$out/tmp"
export TMPDIR="$PWD/$out/tmp"
flags="-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I."
# Whole rooms, so that no file they need can be left out of the list; of the
# batch room the table and config checks (the rest needs the engine, SQLite
# and the label libraries). The file targets link an archive of them all and
# take what they use.
protocol=(protocol/*.cpp)
sources=("${protocol[@]}" port/*.cpp port/posix/*.cpp settings/*.cpp
         batch/{ConfigCheck,CsvRecords,FleetTable,TableCells,PortReport,ProvisionPlan}.cpp)
object_of() { local s=${1%.cpp}; echo "$out/${s//\//_}.o"; }
# Compiled side by side, one per core; $flags is expanded by the shell xargs starts.
export flags
# shellcheck disable=SC2016
for s in "${sources[@]}"; do echo "$s $(object_of "$s")"; done |
  xargs -n 2 -P "$(nproc)" sh -c 'clang++ $flags -fsanitize=fuzzer-no-link -c "$0" -o "$1"'
objects=()
for s in "${protocol[@]}"; do objects+=("$(object_of "$s")"); done
rm -f "$out/kestrun-fuzz.a"
all=()
for s in "${sources[@]}"; do all+=("$(object_of "$s")"); done
ar rcs "$out/kestrun-fuzz.a" "${all[@]}"

# run NAME LEN FILE...: fuzzes NAME from its corpus, seeded with FILE..., inputs of at most LEN bytes.
run() {
  local name=$1 len=$2
  shift 2
  local corpus="$out/corpus-$name"
  mkdir -p "$corpus"
  for seed in "$@"; do cp "$seed" "$corpus/seed-$(basename "$seed")"; done
  echo "fuzz_$name: ${seconds}s"
  # An input of a few KB runs in well under a second: ten seconds is a
  # blow-up, and so is a 2 GB resident set.
  "$out/fuzz_$name" -max_total_time="$seconds" -max_len="$len" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=0 "$corpus" 2>&1 | tail -n 2
}

seed_dir="$out/seeds"
mkdir -p "$seed_dir"
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
  printf '%b' "${seeds[$i]}" > "$seed_dir/$name"
  run "$name" 1200 "$seed_dir/$name"
done

# The file targets. The template of `provision` is a fresh config file.
template="$PWD/tests/data/fresh-config.ini"
files=(table config provision)
for i in "${!files[@]}"; do
  clang++ $flags -DKESTRUN_FUZZ_TARGET=$i -DKESTRUN_FUZZ_TEMPLATE="\"$template\"" fuzz/files_fuzz.cpp \
    "$out/kestrun-fuzz.a" -o "$out/fuzz_${files[$i]}"
done
printf 'IMEI,RVSRI/APN,RVSRI/IP,RVPIN/PIN,#Vehicle\n490154203237518,internet,10.0.0.1,0042,Van 3\n%s\n' \
  '356938035643809,"m2m;fleet",192.168.0.2,1234,' > "$seed_dir/imei.csv"
printf '\xEF\xBB\xBFCOM;RVSRI/IP1;RVPIN/PinCheck;RVKPN/PhoneNum1\r\nCOM7;10;1;"+49 170 1234"\r\n%s\r\n' \
  '/dev/ttyUSB3;192;0;' > "$seed_dir/com.csv"
# Values the window caps (an APN and server ports too long), which --allow-caps sends capped.
sed 's/^ServerPort=$/ServerPort=123456/; s/^APN=$/APN=internet.example.com.with.a.name.over.forty.bytes/' \
  tests/data/fresh-config.ini > "$seed_dir/capped.ini"
run table "$max_len" "$seed_dir/imei.csv" "$seed_dir/com.csv"
run config "$max_len" tests/data/fresh-config.ini tests/data/windows-config.ini "$seed_dir/capped.ini"
run provision "$max_len" "$seed_dir/imei.csv"
