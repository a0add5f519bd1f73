#!/bin/bash
# The install step: "cmake --install --strip" to a temporary prefix puts the programs, manual
# pages, desktop entry, icons, AppStream metadata, sample and the Uninstall entry in place; the
# desktop tools accept them, and the installed programs then run as installed (huelet keeps its
# data folder and registry hive when closed) without any variable pointing at them.
# Usage: install.sh BUILD_DIR SOURCE_DIR
set -u
build=$(cd "${1:?build folder}" && pwd)
for tool in cmake xvfb-run xdotool appstreamcli desktop-file-validate man identify readelf; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done

work=$(mktemp -d /tmp/huelet-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config \
    XDG_STATE_HOME=$work/state XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime \
    HUELET_UPDATE_URL=http://127.0.0.1:9
unset HUELET_REGISTRY_DIR HUELET_MACHINE_REGISTRY_DIR DESTDIR
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" --strip >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; echo "FAIL: cmake --install --strip"; exit 1; }
echo "installed:"
(cd "$prefix" && find . -type f | sort | sed 's|^\./|  |')
reg="$prefix/etc/xdg/Norwick Softworks/registry.d/huelet.reg"
metainfo=share/metainfo/invalid.huelet.Huelet.metainfo.xml
pages=(huelet huelet-splash huelet-identify)
for f in bin/huelet bin/huelet-splash bin/huelet-identify share/applications/huelet.desktop \
    "$metainfo" share/icons/hicolor/scalable/apps/huelet.svg share/huelet/samples/coffee.jpg \
    share/huelet/samples/LICENSES.txt; do
    [ -f "$prefix/$f" ] || fail "$f not installed"
done
[ -f "$reg" ] || { fail "no Uninstall entry at $reg"; exit 1; }
for line in '"DisplayName"="Norwick Softworks Huelet"' '"Publisher"="Norwick Softworks"' \
    "\"InstallLocation\"=\"$prefix/bin/\"" '"DisplayVersion"="'; do
    grep -qF "$line" "$reg" || fail "missing in the entry: $line"
done

# Stripped, yet still carrying the version block the update check reads.
for exe in huelet huelet-splash huelet-identify; do
    readelf -S "$prefix/bin/$exe" | grep -qE '\.(symtab|debug_info)' && fail "bin/$exe is not stripped"
done
out=$("$prefix/bin/huelet-identify" "$prefix/bin/huelet") || fail "installed huelet-identify: status $?"
grep -Eq '^  Version +[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' <<<"$out" || fail "stripped huelet lost its version: $out"

# The desktop tools accept the entry and the metadata; the metadata's addresses are the
# configured web site's.
desktop-file-validate "$prefix/share/applications/huelet.desktop" >"$work/check" 2>&1 ||
    fail "desktop-file-validate: $(cat "$work/check")"
appstreamcli validate --no-net "$prefix/$metainfo" >"$work/check" 2>&1 ||
    fail "appstreamcli validate: $(cat "$work/check")"
appstreamcli validate-tree --no-net "$prefix" >"$work/check" 2>&1 ||
    fail "appstreamcli validate-tree: $(cat "$work/check")"
site=$(sed -n 's/^HUELET_WEB_SITE:[A-Z]*=//p' "$build/CMakeCache.txt")
site=${site%/}
grep -qF "<image type=\"source\" width=\"825\" height=\"678\">$site/screenshots/huelet.png</image>" \
    "$prefix/$metainfo" || fail "screenshot address is not below $site/"
grep -qF "<url type=\"homepage\">$site/</url>" "$prefix/$metainfo" || fail "homepage is not $site/"
grep -qF '<launchable type="desktop-id">huelet.desktop</launchable>' "$prefix/$metainfo" ||
    fail "the metadata does not launch huelet.desktop"
for exe in huelet huelet-splash huelet-identify; do
    grep -qF "<binary>$exe</binary>" "$prefix/$metainfo" || fail "the metadata does not provide $exe"
done

# Icons: each size is what its folder says; the SVG is readable and square.
for size in 48 64 128 256; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/huelet.png"
    got=$(identify -format '%m %wx%h' "$icon" 2>&1)
    [ "$got" = "PNG ${size}x${size}" ] || fail "icon ${size}x${size}: $got"
done
got=$(identify -format '%wx%h' "$prefix/share/icons/hicolor/scalable/apps/huelet.svg" 2>&1)
[ "$got" = "128x128" ] || fail "scalable icon: $got"

# Manual pages: format without warnings, with their name, and name every option of --help.
for page in "${pages[@]}"; do
    file="$prefix/share/man/man1/$page.1"
    [ -f "$file" ] || { fail "man page $page.1 not installed"; continue; }
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" >"$work/page" 2>"$work/warnings" ||
        fail "man -l $page.1 failed"
    [ -s "$work/warnings" ] && fail "$page.1 warnings: $(cat "$work/warnings")"
    grep -Eq "^ *$page +- " "$work/page" || fail "$page.1 has no NAME line"
    grep -q '@[A-Z_]*@' "$file" && fail "$page.1 has unfilled placeholders"
    [ "$page" = huelet ] && continue
    "$prefix/bin/$page" --help >"$work/help" || fail "$page --help: status $?"
    grep -oE -- '--[a-z][a-z-]*' "$work/help" | sort -u >"$work/options"
    while read -r option; do
        grep -qF -- "$option" "$work/page" || fail "$page.1 does not describe $option"
    done <"$work/options"
done

# The installed huelet-splash without arguments splashes the installed sample into the current
# folder.
mkdir "$work/splash"
(cd "$work/splash" && "$prefix/bin/huelet-splash") >"$work/splash.out" 2>&1 ||
    fail "installed huelet-splash: $(cat "$work/splash.out")"
grep -qF "Wrote $work/splash/coffee-splash.jpg from $prefix/share/huelet/samples/coffee.jpg" \
    "$work/splash.out" || fail "installed huelet-splash: $(cat "$work/splash.out")"
[ "$(identify -format '%m' "$work/splash/coffee-splash.jpg" 2>&1)" = JPEG ] ||
    fail "no JPEG coffee-splash.jpg in the current folder"

# Run the installed program once and close it.
cat "$(dirname "${BASH_SOURCE[0]}")/lib/session.bash" - >"$work/session.sh" <<'SESSION'
#!/bin/bash
set -u
exe=$1 result=$2
fail() { echo "FAIL: $*" >"$result"; kill "$pid" 2>/dev/null; exit 1; }
"$exe" &
pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Huelet v' | head -n 1)
[ -n "$wid" ] || fail "window not found"
quit_and_record
SESSION
timeout 90 xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/session.sh" "$prefix/bin/huelet" \
    "$work/result" >"$work/session.log" 2>&1
result=$(cat "$work/result" 2>/dev/null)
echo "installed run: $result"
[ "$result" = "exit 0" ] || { cat "$work/session.log"; fail "session: $result"; }
[ -d "$XDG_DATA_HOME/Norwick Softworks/Huelet" ] || fail "installed run removed its data folder"
grep -qF "\"Huelet\"=\"$prefix/bin/huelet\"" \
    "$XDG_CONFIG_HOME/Norwick Softworks/registry/HKEY_CURRENT_USER.reg" 2>/dev/null ||
    fail "installed run removed its registry traces"
[ ! -e "$prefix/bin/settings.ini" ] || fail "installed run wrote settings.ini"

[ "$failures" -eq 0 ] || exit 1
echo "ok"
