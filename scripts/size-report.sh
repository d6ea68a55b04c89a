#!/usr/bin/env bash
# Size of the device library (-Os PowerPC build): text, data and bss per
# object file and in total, what the parts cost (code, tables, messages), the
# biggest symbols, and the budget. Exits non-zero when a budget is exceeded.
#
#   scripts/size-report.sh [build-dir]      (default: build/ppc)
# CROSS selects the binutils prefix (default powerpc-linux-gnu-; empty for
# the host's own).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/ppc}
cross=${CROSS-powerpc-linux-gnu-}
# The device's budget, in bytes.
budget_code=9216    # .text + .rodata
budget_relro=512    # .data.rel.ro

lib=$(readlink -f "$build/src/libcorvellib.so.1" 2>/dev/null || true)
if [ -z "$lib" ] || [ ! -f "$lib" ]; then
  echo "size-report: no $build/src/libcorvellib.so.1; build it first" >&2
  exit 2
fi
objdir="$build/src/CMakeFiles"

# "size -A" lines of one file as "section size".
sections() { "${cross}size" -A "$1" | awk 'NR > 2 && NF >= 2 && $2 ~ /^[0-9]+$/ { print $1, $2 }'; }

# Sums one file's sections into: text rodata relro data bss strings
classify() {
  sections "$1" | awk '
    $1 ~ /^\.text/                    { text += $2 }
    $1 ~ /^\.rodata\.str/             { str += $2 }
    $1 ~ /^\.rodata/                  { rodata += $2 }
    $1 ~ /^\.data\.rel\.ro/           { relro += $2; next }
    $1 ~ /^\.(s?data|tdata)/          { data += $2 }
    $1 ~ /^\.(s?bss|tbss)/            { bss += $2 }
    END { printf "%d %d %d %d %d %d\n", text, rodata, relro, data, bss, str }'
}

echo "Size report: $lib"
echo
echo "Per object, before --gc-sections (bytes):"
printf '  %-26s %7s %7s %7s %7s %7s\n' object text rodata rel.ro data bss
tot=(0 0 0 0 0) messages=0
while IFS= read -r obj; do
  read -r t r rr d b s < <(classify "$obj")
  name=${obj#"$objdir"/}; name=${name#*.dir/}; name=${name%.cpp.o}
  printf '  %-26s %7d %7d %7d %7d %7d\n' "$name" "$t" "$r" "$rr" "$d" "$b"
  tot=($((tot[0] + t)) $((tot[1] + r)) $((tot[2] + rr)) $((tot[3] + d)) $((tot[4] + b)))
  # Diagnostic texts: the message catalogue and any string literals.
  if [ "$name" = frame/messages ]; then messages=$((messages + r)); else messages=$((messages + s)); fi
done < <(find "$objdir/corvellib.dir" "$objdir/corvel_engine.dir" -name '*.o' | sort)
printf '  %-26s %7d %7d %7d %7d %7d\n' total "${tot[@]}"

read -r text rodata relro data bss _ < <(classify "$lib")
loader=$(sections "$lib" | awk '$1 ~ /^\.(dyn|gnu\.|rela|got|plt|hash|note|eh_frame)/ { n += $2 } END { print n + 0 }')
echo
echo "Linked library (bytes):"
printf '  %-34s %6d\n' "code (.text)" "$text"
printf '  %-34s %6d\n' "messages (diagnostic texts)" "$messages"
printf '  %-34s %6d\n' "tables (rest of .rodata)" "$((rodata - messages))"
printf '  %-34s %6d\n' "tables with pointers (.data.rel.ro)" "$relro"
printf '  %-34s %6d\n' "writable data (.data, .bss)" "$((data + bss))"
printf '  %-34s %6d\n' "loader (symbols, relocs, GOT, PLT)" "$loader"
printf '  %-34s %6d\n' "file size" "$(stat -c %s "$lib")"
echo
echo "Biggest symbols (bytes):"
"${cross}nm" --size-sort -S -C -t d "$lib" | tail -12 | awk '{ $1 = ""; printf "  %6d", $2; $2 = ""; print }'

echo
echo "Budget:"
fail=0
check() { # label value limit
  local verdict=ok
  if [ "$2" -gt "$3" ]; then verdict=OVER; fail=1; fi
  printf '  %-22s %6d of %6d  %s\n' "$1" "$2" "$3" "$verdict"
}
check ".text + .rodata" "$((text + rodata))" "$budget_code"
check ".data.rel.ro" "$relro" "$budget_relro"
check ".data + .bss" "$((data + bss))" 0
exit "$fail"
