#!/usr/bin/env bash
# Installs a build into a temporary DESTDIR, checks the installed tree, then starts the installed
# program on a virtual X display from another working directory, in Chinese: it must find its
# manual and both catalogues in the installed folders and write its settings into the user's
# config folder. usage: install_tree.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
source "$(dirname "$0")/xvfb.sh"
require_tools Xvfb xwininfo desktop-file-validate appstreamcli systemd-analyze
start_xvfb
prefix=$workdir/dest$(cmake -L -N "$build" | sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p')
DESTDIR=$workdir/dest cmake --install "$build" >/dev/null
fail() { echo "FAIL: $*"; exit 1; }
id=org.example.klm704.KLM704

for file in bin/klm704 bin/klm704-cli bin/vx310a-sim share/klm704/translations/OTHER.qm \
    "share/doc/klm704/Software User Manual.pdf" share/applications/$id.desktop \
    share/metainfo/$id.metainfo.xml \
    share/icons/hicolor/{16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256}/apps/klm704.png \
    share/man/man1/{klm704,klm704-cli,vx310a-sim}.1.gz lib/udev/rules.d/70-klm704.rules \
    lib/systemd/system/klm704-logger@.service share/doc/klm704/examples/klm704-logger.conf; do
    [ -s "$prefix/$file" ] || fail "$file is not installed"
done
# Each manual page has every option the program's --help lists, and its exit statuses.
for program in klm704 klm704-cli vx310a-sim; do
    page=$(zcat "$prefix/share/man/man1/$program.1.gz" | sed 's/\\-/-/g')
    grep -q '^\.SH "EXIT STATUS"$' <<<"$page" || fail "$program(1) has no EXIT STATUS"
    options=$("$prefix/bin/$program" --help | grep -oE '^ +(-[[:alnum:]], )?--[[:alnum:]-]+' | grep -oE -- '--.*')
    [ -n "$options" ] || fail "$program --help lists no options"
    for option in $options; do
        grep -qE -- "$option([^[:alnum:]-]|$)" <<<"$page" || fail "$program(1) lacks $option"
    done
done
desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop entry"
grep -qx 'Name\[zh_CN\]=.*' "$prefix/share/applications/$id.desktop" || fail "no Chinese name"
# The AppStream data, checked with the desktop entry it names; nothing to remark, not even a hint.
appstream=$(appstreamcli validate-tree --no-net "$prefix" 2>&1) && ! grep -E '^ *[EWI]: ' <<<"$appstream" ||
    fail "AppStream data: $appstream"

# The logger's service unit as systemd reads it, with the program where this tree has it; any
# complaint, even one systemd only warns about, fails.
unit=$workdir/units/klm704-logger@.service
mkdir -p "$workdir/units"
sed "s|^ExecStart=${prefix#"$workdir/dest"}/|ExecStart=$prefix/|" \
    "$prefix/lib/systemd/system/klm704-logger@.service" >"$unit"
verified=$(MANPATH=$prefix/share/man systemd-analyze verify "$unit" 2>&1) && [ -z "$verified" ] ||
    fail "systemd-analyze verify klm704-logger@.service: $verified"

export XDG_CONFIG_HOME=$workdir/config QT_LOGGING_RULES="klm704.files=true"
unset KLM704_SETTINGS_FILE
settings=$XDG_CONFIG_HOME/KLM-704/options.xml
mkdir -p "$(dirname "$settings")" "$workdir/elsewhere"
echo '<options><Language>OTHER</Language></options>' >"$settings"
cd "$workdir/elsewhere"
"$prefix/bin/klm704" --device sim >"$workdir/out.log" 2>&1 &
pid=$!
wait_for_window "$pid"
kill -TERM "$pid"
wait "$pid" || fail "the program failed: $(cat "$workdir/out.log")"
for found in "\"OTHER.qm\" found at \"$prefix/share/klm704/translations/OTHER.qm\"" \
    "\"qtbase_zh_CN.qm\" found at \"" \
    "\"Software User Manual.pdf\" found at \"$prefix/share/doc/klm704/Software User Manual.pdf\"" \
    "settings file \"$settings\""; do
    grep -qF "$found" "$workdir/out.log" || fail "no line '$found' in: $(cat "$workdir/out.log")"
done
grep -q "<Geometry>" "$settings" || fail "the settings were not written to $settings"
[ ! -e "$prefix/bin/options.xml" ] || fail "settings written beside the installed program"
echo "PASS: installed tree complete, the logger unit without a complaint of systemd-analyze" \
    "verify; the installed program found its files and wrote $settings"
