#!/usr/bin/env bash
# chanwiz-sim end to end: exit codes, messages and output files.
set -u
src=$1
sim=${CHANWIZ_SIM:?set CHANWIZ_SIM to the chanwiz-sim binary}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pass=0
fail=0

bom() { head -c 2 "$1" | od -An -tx1 | tr -d ' '; }
text_of() {  # file: its text (UTF-16LE files, as regedit wants 5.00 ones, decoded)
  if [ "$(bom "$1")" = fffe ]; then iconv -f UTF-16 -t UTF-8 "$1" | tr -d '\r'; else cat "$1"; fi
}
tally() {  # status (0 passed), name, why, file to show
  if [ "$1" -eq 0 ]; then pass=$((pass + 1)); return; fi
  fail=$((fail + 1))
  echo "FAIL: $2: $3"
  text_of "$4" | sed 's/^/    /' | head -5
}
check() {  # name, expected exit code, command...
  local name=$1 want=$2 got
  shift 2
  "$@" >"$work/out" 2>"$work/err" </dev/null
  got=$?
  tally "$((got != want))" "$name" "exit $got, expected $want" "$work/err"
}
contains() {  # name, file, text
  text_of "$2" | grep -qF -- "$3"
  tally $? "$1" "\"$3\" not in $2:" "$2"
}
m=$src/samples
run_script="click 1016; click 1; click 1023; click 1"

# The bundled machine without answers or a terminal: the start page, then a stop.
check "default machine, no answers" 3 "$sim"
contains "start page shown" "$work/out" "(page 102)"
contains "says which page waited" "$work/err" 'page 102 "Procedura guidata Chanwiz QL750" waited'

check "scripted run" 0 "$sim" --answers "$run_script" --changes "$work/changes.reg" --out "$work/out.reg" --transcript "$work/t.jsonl"
contains "marker in the changes" "$work/changes.reg" '"UpdateChanwiz"=dword:00000001'
contains "changes are a .reg file" "$work/changes.reg" "Windows Registry Editor Version 5.00"
contains "whole registry written" "$work/out.reg" 'Enum\STREAM\PHTVTUNE.34'
contains "transcript records the start page" "$work/t.jsonl" '{"event":"page","template":102'
contains "transcript records the end" "$work/t.jsonl" '{"event":"end","template":131,"result":1}'
# regedit reads a 5.00 file without a byte-order mark as ANSI.
check "a 5.00 changes file without the UTF-16LE byte-order mark" 0 test "$(bom "$work/changes.reg")" = fffe
check "REGEDIT4 machine" 0 "$sim" --quiet --machine "$m/bt878a-98-uk.reg" --answers "$run_script" --undo "$work/undo4.reg"
check "REGEDIT4 undo stays ANSI" 0 grep -q '^REGEDIT4' "$work/undo4.reg"

printf 'esc\n# the country page\nclick 1\nclick 1023; click 1\n' >"$work/answers.txt"
check "answers from a file" 0 "$sim" --machine "$m/saa7134-98-italy.reg" --answers "@$work/answers.txt"

printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n"x"=dword:zz\r\n' >"$work/bad.reg"
check "malformed machine file" 2 "$sim" --machine "$work/bad.reg" --answers "enter"
contains "names file and line" "$work/err" "bad.reg:4:"
check "missing machine file" 2 "$sim" --machine "$work/none.reg"
contains "names the missing file" "$work/err" "none.reg"
check "bad script" 2 "$sim" --answers "click; jump 3"
contains "names the step" "$work/err" "step 1"
check "unknown option" 2 "$sim" --frobnicate
check "script step that cannot apply" 2 "$sim" --answers "click 4242"
contains "names the control" "$work/err" "no button 4242"
check "missing text file" 2 "$sim" --ini "$work/none.ini" --answers "close"

check "answers run out on a page" 3 "$sim" --answers "click 1016"
contains "names the country page" "$work/err" 'page 130 "Selezione nazione" waited'

check "failing page" 0 "$sim" --fail DialogBoxParamA:1:1813 --transcript "$work/f.jsonl"
check "bad fault" 2 "$sim" --fail nonsense

# The undo file puts every value back (5.00 text in UTF-8, as the default machine is).
check "undo file" 0 "$sim" --quiet --answers "$run_script" --undo "$work/undo.reg" --changes "$work/changes2.reg"
contains "undo deletes the created key" "$work/undo.reg" '[-HKEY_LOCAL_MACHINE\SOFTWARE\Morvex Multimedia]'
contains "undo puts back the old country code" "$work/undo.reg" '"CountryCode"="1"'
contains "undo puts back the old tuner" "$work/undo.reg" '"TunerType"="FM1236"'
check "undo on a 9x machine" 0 "$sim" --quiet --machine "$m/usb2800-98-usa.reg" --answers "click 1015; click 1" --undo "$work/undo4.reg"
contains "undo keeps the machine's format" "$work/undo4.reg" "REGEDIT4"
contains "undo deletes created values" "$work/undo4.reg" '"TunerID7"=-'
check "undo needs a file" 2 "$sim" --undo

check "report" 0 "$sim" --quiet --machine "$m/usb2821-xp-china.reg" --answers "click 1015; click 1" --report "$work/report.txt"
contains "report names the family" "$work/report.txt" "  family: USB EM28xx"
contains "report names the choice" "$work/report.txt" "  TV system: 0 NTSC"
contains "report lists created values" "$work/report.txt" '"VideoStandard"  REG_DWORD  0x00000001 (1)  (created)'
contains "report lists the message box" "$work/report.txt" "    Please Re-Plugin the QL750 Device on your computer."
check "report when no device" 0 "$sim" --quiet --machine "$m/nodevice-xp.reg" --answers "" --report "$work/report2.txt"
contains "report says no choice" "$work/report2.txt" "  (no choice made)"
check "report needs a file" 2 "$sim" --report

check "shipped texts pass" 0 "$sim" --check-texts "$src/resources/Chanwiz.ini"
contains "every shipped section is ok" "$work/out" "[39] ok"
printf '[1]\r\nAppTitleName=T\r\nOKText=0123456789abcdef\r\n[33]\r\nOKText=Suivant\r\nOKTexte=x\r\n' >"$work/bad.ini"
check "cut and unknown texts" 1 "$sim" --check-texts "$work/bad.ini"
contains "shows the cut text" "$work/out" '  cut OKText to 15 bytes: "0123456789abcde"'
contains "shows the default of a missing key" "$work/out" '  missing CANCELText: the default shows "Cancel"'
contains "says the section is not used" "$work/out" '  not used: AppTitleName is missing or empty, so section [1] is used instead'
contains "names the unknown key" "$work/out" '  unknown key "OKTexte"'
printf '[1]\r\nAppTitleName=T\r\n' >"$work/short.ini"
check "missing keys alone pass" 0 "$sim" --check-texts "$work/short.ini"
check "unreadable text file" 2 "$sim" --check-texts "$work/none.ini"
contains "names the unreadable file" "$work/err" "none.ini: no such file"
check "check-texts needs a file" 2 "$sim" --check-texts

# Rehearsing an unattended run: the exit code is the one chanwiz-cli.exe gives.
check "country by name writes" 0 "$sim" --quiet --machine "$m/saa7134-xp-italy.reg" --country "Italy (PAL-B/G)" --changes "$work/u-changes.reg" --transcript "$work/u.jsonl"
contains "says what it wrote" "$work/err" "settings written: 5 driver values for the SAA713X device"
contains "country answered as a person would" "$work/u.jsonl" '"step":"select 1019 11"'
contains "no restart by default" "$work/u.jsonl" '"step":"click 1023"'
contains "the tuner's standard written" "$work/u-changes.reg" '"DefaultStandard"="0x00000010"'
check "same run by script" 0 "$sim" --quiet --machine "$m/saa7134-xp-italy.reg" --answers "click 1016; select 1021 8; select 1019 11; click 1; click 1023; click 1" \
  --changes "$work/s-changes.reg" --transcript "$work/s.jsonl"
check "--country and the equivalent script differ" 0 sh -c 'cmp "$1" "$2" && cmp "$3" "$4"' - "$work/u-changes.reg" "$work/s-changes.reg" "$work/u.jsonl" "$work/s.jsonl"
check "country code" 0 "$sim" --quiet --machine "$m/cx2388x-xp-germany.reg" --country-code 49
check "TV system" 0 "$sim" --quiet --machine "$m/bt878a-xp-uk.reg" --standard "pal i" --transcript "$work/tv.jsonl"
contains "TV system row" "$work/tv.jsonl" '"step":"select 1012 4"'
check "restart asked for" 0 "$sim" --quiet --machine "$m/bt878a-xp-uk.reg" --standard "PAL I" --restart --transcript "$work/r.jsonl"
contains "restarts, not forced" "$work/r.jsonl" '"event":"restart","flags":18'
check "USB device" 0 "$sim" --quiet --machine "$m/usb2800-xp-usa.reg" --country-code 1
contains "success box on standard error" "$work/err" "[QL750 Chanwiz Wizard]"

check "no device" 1 "$sim" --quiet --machine "$m/nodevice-xp.reg" --country-code 39
contains "says there is nothing to configure" "$work/err" "nothing to configure: no supported TV tuner device was found"
check "several devices" 1 "$sim" --quiet --machine "$m/two-saa7134-xp.reg" --country-code 39
contains "says how many" "$work/err" "2 supported TV tuner devices were found"
# (The first two sets are the saved-access record's.)
check "a write fails" 1 "$sim" --quiet --machine "$m/bt878a-xp-uk.reg" --standard "PAL I" --fail RegSetValueExA:3:5
contains "names the failed write" "$work/err" 'a write failed: RegSetValueExA HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\'
check "NICAM question unanswered" 3 "$sim" --quiet --machine "$m/saa7134-xp-italy.reg" --country "China (PAL-D/K)" --out "$work/nicam-out.reg"
contains "says how to answer it" "$work/err" "give --nicam yes or --nicam no"
check "untouched registry" 0 "$sim" --quiet --machine "$m/saa7134-xp-italy.reg" --answers close --out "$work/untouched.reg"
# A run that stopped writes what it did until then, marked as such.
contains "a stopped run's file is marked" "$work/nicam-out.reg" "; INCOMPLETE: the run stopped before its end (exit 3"
grep -v '^; INCOMPLETE' "$work/nicam-out.reg" >"$work/nicam-out-unmarked.reg"
check "nothing written when the answers ran out" 0 cmp "$work/untouched.reg" "$work/nicam-out-unmarked.reg"
check "NICAM answered" 0 "$sim" --quiet --machine "$m/saa7134-xp-italy.reg" --country "China (PAL-D/K)" --nicam yes --changes "$work/n.reg"
contains "NICAM I forced" "$work/n.reg" '"ForceNicamI"=dword:00000001'

check "dry run" 0 "$sim" --quiet --machine "$m/cx2388x-xp-germany-deny.reg" --country-code 49 --dry-run --out "$work/dry-out.reg" --undo "$work/dry-undo.reg"
contains "prints the changes" "$work/out" '"WWVideoCountryCode"=dword:00000031'
contains "says nothing changed" "$work/err" "nothing was changed"
contains "undo of the dry run" "$work/dry-undo.reg" '"WWVideoCountryCode"=dword:00000001'
check "untouched registry" 0 "$sim" --quiet --machine "$m/cx2388x-xp-germany-deny.reg" --answers close --out "$work/untouched-deny.reg"
check "dry run leaves the registry" 0 cmp "$work/untouched-deny.reg" "$work/dry-out.reg"

# 64-bit Windows: marker and component in the 32-bit view; driver keys shared.
check "64-bit machine" 0 "$sim" --quiet --machine "$m/saa7134-x64-italy-tn.reg" --country-code 39 \
  --out "$work/x64-out.reg" --changes "$work/x64-c.reg" --undo "$work/x64-u.reg" --report "$work/x64-r.txt"
contains "marker in the 32-bit view" "$work/x64-c.reg" '[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Morvex Multimedia\Common]'
contains "driver key shared" "$work/x64-c.reg" '[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\{4d36e96c-e325-11ce-bfc1-08002be10318}\0002]'
contains "component found in the 32-bit view" "$work/x64-c.reg" '"TunerType"="TN9533"'
contains "undo deletes it there" "$work/x64-u.reg" '[-HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Morvex Multimedia]'
contains "--out has it there" "$work/x64-out.reg" '[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Morvex Multimedia\Common]'
contains "report names it there" "$work/x64-r.txt" 'HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Morvex Multimedia\Common  "UpdateChanwiz"'
check "64-bit dry run" 0 "$sim" --quiet --machine "$m/cx2388x-x64-germany.reg" --country-code 49 --dry-run
contains "dry run names the 32-bit view" "$work/out" '[HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\Morvex Multimedia\Common]'

check "unknown TV system" 2 "$sim" --quiet --standard "PAL X"
contains "lists the TV systems" "$work/err" '"PAL DK (NICAM I)"'
check "unknown country" 2 "$sim" --quiet --country "Italia"
contains "names the page's texts" "$work/err" 'e.g. "Italy (PAL-B/G)"'
check "country hint" 2 "$sim" --quiet --country "germany"
contains "suggests the texts" "$work/err" 'did you mean "Germany (PAL-B/G)"'
check "country code without a country" 2 "$sim" --quiet --country-code 999
check "two choices" 2 "$sim" --quiet --country-code 39 --standard NTSC
check "nicam yes or no" 2 "$sim" --quiet --country-code 86 --nicam maybe
check "a choice is needed" 2 "$sim" --quiet --restart
contains "says what to give" "$work/err" "give --standard, --country or --country-code"

# Every file option against a folder, a missing path, an unreadable or
# unwritable file and a full disk: exit 2, the path named, no file left behind.
# As an unprivileged user where this runs as root, or permissions would not bite.
as_user=()
[ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
t=$work/table
mkdir -p "$t/folder" "$t/sink" "$t/locked" && printf 'x\n' >"$t/unreadable"
chmod 000 "$t/unreadable" && chmod 555 "$t/locked" && chmod 777 "$t/sink" && chmod 755 "$work" "$t"
for option in --machine --ini --answers --check-texts --out --changes --undo --report --transcript; do
  case $option in
    --machine | --ini | --answers | --check-texts) unreadable=$t/unreadable ;;
    *) unreadable=$t/locked/out.reg ;;
  esac
  for bad in "folder:$t/folder" "missing:$t/nothing/file" "unreadable:$unreadable" "full:/dev/full"; do
    kind=${bad%%:*} path=${bad#*:} value=${bad#*:} sink=(--report "$t/sink/report.txt")
    # root reads and writes whatever the permissions say
    [ "${#as_user[@]}" -eq 0 ] && [ "$kind" = unreadable ] && [ "$(id -u)" -eq 0 ] && continue
    [ "$option" = --answers ] && value=@$path
    [ "$option" = --report ] && sink=(--transcript "$t/sink/t.jsonl")
    args=(--quiet "$option" "$value" "${sink[@]}")
    [ "$option" = --answers ] || args+=(--answers "$run_script")
    check "$option $kind" 2 "${as_user[@]}" "$sim" "${args[@]}"
    contains "$option $kind names the path" "$work/err" "$path"
    check "$option $kind left a file" 0 \
      sh -c '! find "$1" "$2" "$3" -mindepth 1 | grep . >&2 && [ ! -e "$4" ]' - "$t/sink" "$t/folder" "$t/locked" "$t/nothing"
    rm -rf "${t:?}/sink/"* "$t/nothing"
  done
done

# Two options naming one file, and a run that leaves every file or none.
check "one file for two options" 2 "$sim" --quiet --answers "$run_script" --changes "$t/sink/same.reg" --undo "$t/sink/../sink/same.reg"
contains "names both options" "$work/err" "--undo and --changes name the same file"
check "a bad path stops the run first" 2 "$sim" --quiet --standard "PAL BG" --undo "$t/sink/u.reg" --changes "$t/nothing/c.reg"
contains "before anything is said" "$work/err" "$t/nothing/c.reg: cannot be written: its folder"
check "nothing of the set is written" 0 test -z "$(ls -A "$t/sink")"

printf 'click 1016\n# the country page\nclick 1\npush 3\n' >"$work/bad-answers.txt"
check "bad step in a file" 2 "$sim" --quiet --answers "@$work/bad-answers.txt"
contains "names file and line" "$work/err" "bad-answers.txt:4: step 3: unknown step \"push\""

# --out is a machine file that runs again as the same machine.
check "run with --out" 0 "$sim" --quiet --machine "$m/saa7134-xp-italy-tn.reg" --answers "$run_script" --out "$work/again.reg"
contains "the simulation key stays" "$work/again.reg" '[HKEY_LOCAL_MACHINE\SOFTWARE\Chanwiz Simulation\Vamp]'
check "second run on --out" 0 "$sim" --quiet --machine "$work/again.reg" --answers "$run_script" --out "$work/again2.reg"
check "the second run changes nothing" 0 cmp "$work/again.reg" "$work/again2.reg"

# A key name Windows-1252 cannot carry: no file rather than one naming "?Windows".
finding=$src/fuzz/regressions/fuzz_reg_file/reg-file-bom-char-in-key-name.reg
check "REGEDIT4 cannot carry a name" 2 "$sim" --quiet --machine "$finding" --answers close --changes "$t/sink/c.reg" --out "$t/sink/o.reg"
contains "names file and key" "$work/err" "$t/sink/o.reg: cannot write key HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\\"
check "and writes neither file" 0 test -z "$(ls -A "$t/sink")"

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
