#!/usr/bin/env bash
# The administrator's tools on a fresh machine root, as a person would type them.
# Usage: cli_test.sh BIN_DIR
set -u
bin=$1
failures=0
passes=0
export TAMSIC_MACHINE=$(mktemp -d)
trap 'rm -rf "$TAMSIC_MACHINE"' EXIT

check() {  # check NAME EXPECTED-SUBSTRING COMMAND...
  local name=$1 want=$2
  shift 2
  local out
  out=$("$@" 2>&1)
  if [[ "$out" == *"$want"* ]]; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    printf 'FAIL %s\n  command: %s\n  wanted: %s\n  got:\n%s\n' "$name" "$*" "$want" "$out"
  fi
}
check_exit() {  # check_exit NAME CODE COMMAND...
  local name=$1 code=$2
  shift 2
  "$@" >/dev/null 2>&1
  local got=$?
  if [ "$got" -eq "$code" ]; then passes=$((passes + 1)); else
    failures=$((failures + 1))
    printf 'FAIL %s: exit %s, wanted %s (%s)\n' "$name" "$got" "$code" "$*"
  fi
}

# A new, empty machine root just works.
check fresh-root 'HKEY_LOCAL_MACHINE\SOFTWARE\Classes' "$bin/reg" query 'HKLM\SOFTWARE'
check_exit missing-key 1 "$bin/reg" query 'HKLM\SOFTWARE\Nothing'
check missing-key-message 'unable to find the specified registry key' "$bin/reg" query 'HKLM\SOFTWARE\Nothing'
check_exit bad-syntax 1 "$bin/reg" frobnicate

# reg add / query / delete.
check add 'completed successfully' "$bin/reg" add 'HKLM\SOFTWARE\Korvane\Sablewing\Value' /v ProgFiles /d 'C:\Program Files\Tamsic\' /f
check add-dword 'completed successfully' "$bin/reg" add 'HKEY_LOCAL_MACHINE\SOFTWARE\T' /v N /t REG_DWORD /d 42 /f
check query-dword 'N    REG_DWORD    0x2a' "$bin/reg" query 'hklm\software\t' /v n
check add-multi 'completed successfully' "$bin/reg" add 'HKLM\SOFTWARE\T' /v M /t REG_MULTI_SZ /d 'a\0b' /f
check query-multi 'M    REG_MULTI_SZ    a\0b' "$bin/reg" query 'HKLM\SOFTWARE\T'
check_exit bad-dword 1 "$bin/reg" add 'HKLM\SOFTWARE\T' /v X /t REG_DWORD /d twelve /f
check overwrite-declined 'canceled' sh -c "echo no | '$bin/reg' add 'HKLM\\SOFTWARE\\T' /v N /t REG_DWORD /d 1"
check query-kept '0x2a' "$bin/reg" query 'HKLM\SOFTWARE\T' /v N

# export / import round trip through a file.
file=$TAMSIC_MACHINE/export.reg
check export 'completed successfully' "$bin/reg" export 'HKLM\SOFTWARE\T' "$file" /y
check export-header 'Windows Registry Editor Version 5.00' iconv -f UTF-16LE -t UTF-8 "$file"
check delete 'completed successfully' "$bin/reg" delete 'HKLM\SOFTWARE\T' /f
check import 'completed successfully' "$bin/reg" import "$file"
check query-imported 'M    REG_MULTI_SZ    a\0b' "$bin/reg" query 'HKLM\SOFTWARE\T' /s
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad]\n"A"="1"\n"B"=hex:zz\n' > "$TAMSIC_MACHINE/bad.reg"
check import-bad 'line 5' "$bin/reg" import "$TAMSIC_MACHINE/bad.reg"
check_exit import-bad-nothing 1 "$bin/reg" query 'HKLM\SOFTWARE\Bad'

# adsutil over the metabase of a fresh IIS.
check ads-enum '[/W3SVC/Info]' "$bin/adsutil" enum W3SVC
check ads-get 'ServerComment                   : (STRING) "Default Web Site"' "$bin/adsutil" get W3SVC/1/ServerComment
check ads-bindings '(LIST) (1 Items) ":80:"' "$bin/adsutil" get W3SVC/1/ServerBindings
check ads-vserv 'created "W3SVC/2"' "$bin/adsutil" create_vserv W3SVC/2
check ads-set 'ServerComment                   : (STRING) "Second Site"' "$bin/adsutil" set W3SVC/2/ServerComment "Second Site"
check ads-set-list '(LIST) (2 Items) "127.0.0.1:8080:" ":8081:www.example"' "$bin/adsutil" set W3SVC/2/ServerBindings "127.0.0.1:8080:" ":8081:www.example"
check ads-set-path 'Path                            : (STRING) "C:\Sites\Two"' "$bin/adsutil" set W3SVC/2/Root/Path 'C:\Sites\Two'
check ads-inherited '(STRING) "IUSR_' "$bin/adsutil" get W3SVC/2/Root/AnonymousUserName
check ads-numeric '7777                            : (STRING) "custom"' "$bin/adsutil" set W3SVC/2/7777 custom
check ads-dword 'FilterState                     : (INTEGER) 1' "$bin/adsutil" set W3SVC/Filters/FilterState 1
check ads-delete 'deleted property "7777"' "$bin/adsutil" delete W3SVC/2/7777
check_exit ads-bad-dword 1 "$bin/adsutil" set W3SVC/Filters/FilterState many

# A settings load writes a new site's key, which reg then shows.
mkdir -p "$TAMSIC_MACHINE/drive_c/Sites/Two"
check load 'slots' "$bin/load_settings"
check site-key 'CacheExt    REG_SZ    .htm,.html,.txt,.xml' "$bin/reg" query 'HKLM\SOFTWARE\Korvane\Sablewing\Value\Sites\1'
check site-key-mime 'MimeTypes    REG_MULTI_SZ    text,1,9\0application,0,0,msword,1,9' "$bin/reg" query 'HKLM\SOFTWARE\Korvane\Sablewing\Value\Sites\1'
check site-browsers 'Opera 5    REG_MULTI_SZ    Opera/5.,application,0,0' "$bin/reg" query 'HKLM\SOFTWARE\Korvane\Sablewing\Value\Sites\2\Browsers'
check site-folder 'gzipcache' ls "$TAMSIC_MACHINE/drive_c/Sites/Two"

# regsvr32 registers the console extension under the IIS manager a fresh machine has.
console="$(cd "$bin/../lib" && pwd)/squashconsole.so"
check_exit regsvr-usage 1 "$bin/regsvr32"
check_exit regsvr-no-file 3 "$bin/regsvr32" /s 'C:\Nothing\there.so'
check_exit regsvr-no-entry 4 "$bin/regsvr32" /s "$(cd "$bin/../lib" && pwd)/squashfilter.so"
check regsvr 'DllRegisterServer in' "$bin/regsvr32" "$console"
check regsvr-class 'Z:' "$bin/reg" query 'HKCR\CLSID\{5D3A81C4-7E20-4B9F-9C61-2F04B8E7A913}\InprocServer32'
check regsvr-extension 'Korvane Tamsic Uitlity' "$bin/reg" query 'HKLM\SOFTWARE\Microsoft\MMC\NodeTypes\{A841B6C7-7577-11D0-BB1F-00A0C922E79C}\Extensions\PropertySheet'
check unregsvr 'DllUnregisterServer in' "$bin/regsvr32" /u "$console"
check_exit unregsvr-gone 1 "$bin/reg" query 'HKCR\CLSID\{5D3A81C4-7E20-4B9F-9C61-2F04B8E7A913}'

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
