#!/usr/bin/env bash
# Builds kvtool (release preset), then shows it at work on a copy of the
# example device configuration in a temporary folder: the file dumped,
# converted to compressed PIA and read back, a value set and read, the JSON
# form, a compound document (DOC) and a sectioned file (DPIA); then an older
# PC2 plotter file and a driver description set. Each command is echoed
# before its output.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
kv_require_packages build

echo "== building kvtool (release preset)"
log="$(mktemp)"
if ! { cmake --preset release && cmake --build --preset release --target kvtool; } \
    >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  exit 1
fi
rm -f "$log"
kvtool="$PWD/build/release/bin/kvtool"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp examples/printer.pia "$work/"
cd "$work"

# Echoes a kvtool command, quoting what a shell would need quoted, then runs it.
run() {
  local line="kvtool" arg
  for arg in "$@"; do
    if [[ -z $arg || $arg =~ [^A-Za-z0-9_./=:,-] ]]; then
      line+=" '$arg'"
    else
      line+=" $arg"
    fi
  done
  printf '\n$ %s\n' "$line"
  "$kvtool" "$@"
}

run dump printer.pia
run convert printer.pia printer-packed.pia --header compress
printf '(%s bytes of plain text became %s bytes)\n' \
  "$(wc -c <printer.pia)" "$(wc -c <printer-packed.pia)"
run version printer-packed.pia
run dump printer-packed.pia --path '\media\sizes'
run set printer-packed.pia '\io\baud' 9600
run get printer-packed.pia '\io\baud'
run set printer-packed.pia '\pens\4\name' '"Green'
run get printer-packed.pia '\pens\4\name'
run dump printer-packed.pia --json --path '\pens\1'
run convert printer-packed.pia printer.json
run convert printer.json printer-again.pia
echo
if cmp -s printer-packed.pia printer-again.pia; then
  echo "PIA -> JSON -> PIA gave back the same bytes."
else
  echo "PIA -> JSON -> PIA changed the file!" >&2
  exit 1
fi

# The same tree as a compound document, and a file of separately loadable
# sections, one for each top node of examples/sections.pia.
examples="${kvtool%/build/release/bin/kvtool}/examples"
run convert printer-packed.pia printer.doc
run version printer.doc
run get printer.doc '\io\baud'
cp "$examples/sections.pia" .
run convert sections.pia profiles.dpia --to dpia
run version profiles.dpia
run section profiles.dpia photo

# An older PC2 plotter configuration: recognised by its first line, read with
# every default of the format filled in, and converted to PIA.
cp "$examples/plotter.pc2" .
run version plotter.pc2
run get plotter.pc2 '\Plotter/Device/WidthTable\Color8'
run convert plotter.pc2 plotter.pia --header ''
run dump plotter.pia --path '\PlotDriver'

# A driver description set: the example folder imported below \Model, and a
# part of the capability tree it gives.
cp -r "$examples/drivers" drivers
run dump -t pdt drivers/keytexts.txt --root '\Model' \
  --path '\Model\res_color_mem\rcm_list\Colour_Normal\resolution_list\Normal_600'
run version -t pdt drivers/keytexts.txt
run get -t pdt drivers/keytexts.txt --root '\Model' '\Model\meta\localized_model_name'
run get -t pdt drivers/keytexts.txt --root '\Model' \
  '\Model\custom_name\Calibration_Table\default_value'
