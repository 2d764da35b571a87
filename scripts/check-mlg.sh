#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Reads an .mlg log with an independent reader of the format, the npm package
# mlg-converter, installed into a temporary folder (needs the network; run by
# hand, not by CI). Prints the fields, units, record and marker counts and
# checks that every record has every field. Given a second log of the same
# records in .csv or .msl form, it also checks that names, units, record count
# and every value agree (within the text's places).
#   scripts/check-mlg.sh LOG.mlg [SAME.csv|SAME.msl]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 LOG.mlg [SAME.csv|SAME.msl]" >&2; exit 2; }
MLG=$(realpath "$1"); TEXT=${2:+$(realpath "$2")}
VERSION=${MLG_CONVERTER_VERSION:-0.8.1}
WORK=$(mktemp -d); trap 'rm -rf "$WORK"' EXIT
(cd "$WORK" && npm init -y >/dev/null && npm install --silent --no-audit --no-fund "mlg-converter@$VERSION" >/dev/null)
cat >"$WORK/check.js" <<'JS'
const fs = require('fs');
const { Parser } = require('mlg-converter');
const [mlgPath, textPath] = process.argv.slice(2);
const buf = fs.readFileSync(mlgPath);
const log = new Parser(buf.buffer.slice(buf.byteOffset, buf.byteOffset + buf.length)).parse();
const fields = log.fields;
const records = log.records.filter((r) => r.type === 'field');
const markers = log.records.filter((r) => r.type === 'marker');
const shown = (f, r) => (r[f.name] + (f.transform || 0)) * (f.scale || 1);
console.log(`${log.fileFormat} v${log.formatVersion}: ${fields.length} fields, ${records.length} records, ${markers.length} markers`);
console.log('fields: ' + fields.map((f) => `${f.name} [${f.units}]`).join(', '));
console.log('info: ' + JSON.stringify(log.info));
let failures = 0;
const fail = (m) => { if (failures++ < 20) console.log('MISMATCH ' + m); };
for (const r of records) for (const f of fields) if (typeof r[f.name] !== 'number') fail(`record lacks ${f.name}`);
if (records.length > 0) console.log('first record: ' + fields.map((f) => `${f.name}=${shown(f, records[0]).toFixed(f.digits)}`).join(' '));
if (textPath) {
  const text = fs.readFileSync(textPath, 'utf8').split(/\r?\n/);
  const sep = textPath.toLowerCase().endsWith('.msl') ? '\t' : ',';
  const body = text.filter((l) => l && !l.startsWith('"') && !l.startsWith('#') && !l.startsWith('MARK'));
  let names = body[0].split(sep), units;
  if (sep === '\t') { units = body[1].split(sep); body.splice(0, 2); } else {
    units = names.map((n) => (n.match(/ \(([^()]*)\)$/) || [, ''])[1]);
    names = names.map((n) => n.replace(/ \([^()]*\)$/, '')); body.splice(0, 1);
  }
  if (names.join('|') !== fields.map((f) => f.name).join('|')) fail(`names ${names} vs ${fields.map((f) => f.name)}`);
  if (units.join('|') !== fields.map((f) => f.units).join('|')) fail(`units ${units} vs ${fields.map((f) => f.units)}`);
  if (body.length !== records.length) fail(`${body.length} text records, ${records.length} in the mlg`);
  body.forEach((line, i) => line.split(sep).forEach((t, k) => {
    const f = fields[k], v = records[i] && shown(f, records[i]);
    if (t === '' ? !Number.isNaN(v) : Math.abs(Number(t) - v) > 0.5 * 10 ** -f.digits + 1e-6)
      fail(`record ${i + 1} ${f.name}: text ${t}, mlg ${v}`);
  }));
  console.log(`compared ${body.length} records with ${textPath}`);
}
console.log(failures ? `FAILED (${failures} mismatches)` : 'OK');
process.exit(failures ? 1 : 0);
JS
(cd "$WORK" && node check.js "$MLG" ${TEXT:+"$TEXT"})
