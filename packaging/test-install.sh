#!/usr/bin/env bash
# Installs a build into a temporary root and checks what a user gets: both programs, the
# modules where the installed programs look for them, the desktop entry, file types, AppStream
# data, icons, manual pages, the HTML manual, the bash completion, the copyright, and the
# watcher's systemd unit with the example files it reads.
# Usage: test-install.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Under DESTDIR every file lands where the build would put it, /etc included for a /usr build,
# and the paths written into the unit keep their meaning below the temporary root.
DESTDIR=$root cmake --install "$build" >/dev/null
prefix=$root$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")

for file in bin/kestrix bin/kestrix-cli \
    share/applications/org.kestrix.Kestrix.desktop share/mime/packages/org.kestrix.Kestrix.xml \
    share/metainfo/org.kestrix.Kestrix.metainfo.xml share/icons/hicolor/scalable/apps/kestrix.svg \
    share/icons/hicolor/48x48/apps/kestrix.png share/icons/hicolor/256x256/apps/kestrix.png \
    share/man/man1/kestrix.1 share/man/man1/kestrix-cli.1 share/doc/kestrix/manual/index.html \
    share/doc/kestrix/manual/archive-overview.png share/doc/kestrix/manual/archive-link-phone.png \
    share/bash-completion/completions/kestrix-cli share/doc/kestrix/copyright \
    lib/systemd/system/kestrix-watch@.service; do
    [[ -f $prefix/$file ]] || fail "$file is not installed"
done
modules=$(find "$prefix" -name 'libkestrix_*.so' | sort)
[[ $(wc -l <<<"$modules") -eq 3 && $modules == *"/kestrix/libkestrix_movie.so"* &&
    $modules == *"/kestrix/libkestrix_mqtt.so"* ]] ||
    fail "modules: $modules"

desktop-file-validate "$prefix/share/applications/org.kestrix.Kestrix.desktop" ||
    fail "desktop entry"
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$prefix/share/metainfo/org.kestrix.Kestrix.metainfo.xml" \
        >/dev/null || fail "AppStream metainfo"
fi
for page in kestrix kestrix-cli; do
    warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "$page.1: $warnings"
    MANWIDTH=80 man -l "$prefix/share/man/man1/$page.1" 2>/dev/null | grep -q "^NAME" ||
        fail "$page.1 does not render"
done
MANWIDTH=80 man -l "$prefix/share/man/man1/kestrix-cli.1" 2>/dev/null |
    grep -q "Resampling filter" || fail "kestrix-cli.1 lacks the subcommands' options"
grep -q 'id="settings"' "$prefix/share/doc/kestrix/manual/index.html" ||
    fail "the manual has no settings section"

# The installed program loads its modules from the installed folder.
"$prefix/bin/kestrix-cli" --version | grep -q "^kestrix-cli " || fail "kestrix-cli --version"
pictures=$(mktemp -d)
trap 'rm -rf "$root" "$pictures"' EXIT
printf 'P3 2 2 255 0 0 0 255 255 255 9 9 9 200 100 0' >"$pictures/a.ppm"
/usr/bin/python3 -c "from PIL import Image; Image.open('$pictures/a.ppm').save('$pictures/a.png')"
loaded=$(LD_DEBUG=files "$prefix/bin/kestrix-cli" movie "$pictures/m.avi" "$pictures/a.png" 2>&1 |
    grep -c "file=$prefix/.*libkestrix_movie.so" || true)
[[ $loaded -ge 1 && -s $pictures/m.avi ]] || fail "the installed movie module was not used"

# The watcher's unit runs the installed kestrix-cli on the installed example for the instance
# kestrix-watch@example, and systemd accepts it (with the program and the manual page it names).
unit=$prefix/lib/systemd/system/kestrix-watch@.service
if [[ -f $unit ]]; then
    program=$(sed -n 's/^ExecStart=\([^ ]*\) .*/\1/p' "$unit")
    links=$(sed -n 's/^ExecStart=.* --links \([^ ]*\) .*/\1/p' "$unit")
    options=$(sed -n 's/^EnvironmentFile=-\{0,1\}//p' "$unit")
    [[ $root$program == "$prefix/bin/kestrix-cli" ]] || fail "the unit runs $program"
    [[ -n $links && -f $root${links//%i/example} && -f $root${options//%i/example} ]] ||
        fail "the unit reads $links and $options, the examples are not there"
    tree=$("$prefix/bin/kestrix-cli" links print "$root${links//%i/example}" 2>&1 || true)
    [[ $tree == *"[L] Summit"* ]] || fail "the example link file does not read: $tree"
    sed "s|$program|$root$program|" "$unit" >"$pictures/kestrix-watch@.service"
    # A value systemd cannot parse is only a warning: any word about the unit fails.
    verified=$(MANPATH=$prefix/share/man systemd-analyze verify "$pictures/kestrix-watch@.service" \
        2>&1) && [[ $verified != *kestrix-watch@* ]] || fail "systemd-analyze verify: $verified"
fi

"$here/test-completion.sh" "$prefix/bin/kestrix-cli" >/dev/null || fail "bash completion"

((failures == 0)) && echo "install: every check passed"
((failures == 0))
