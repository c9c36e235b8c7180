#!/usr/bin/env bash
# Builds the Debian package in the build folder given, unpacks it into a
# scratch root (as a fresh machine would get it, without touching this
# one) and uses what it installed: the program, a reduction of an installed
# example, the man page, the completion and the desktop entry.
set -euo pipefail
build="$1"
cmake --build "$build" --target package >/dev/null
deb=$(ls -t "$build"/tarnivox_*.deb | head -n 1)
echo "package: $deb"
depends=$(dpkg-deb --field "$deb" Depends)
echo "depends: $depends"
case "$depends" in
    *libqt6widgets6*) ;;
    *) echo "the package does not declare its Qt 6 dependency" >&2; exit 1 ;;
esac

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
bin="$root/usr/bin"
share="$root/usr/share"

"$bin/tarnivox" --version | grep -q "^tarnivox " || { echo "installed tarnivox --version fails" >&2; exit 1; }
"$bin/tarnivox-simulate" --version >/dev/null

ex="$share/tarnivox/examples/cad4"
QT_QPA_PLATFORM=offscreen "$bin/tarnivox" reduce "$ex/cad4.dat" --format cad4 --par "$ex/cad4.par" \
    --out "$root/cad4.hkl" --json "$root/cad4.json" --quiet
[ "$(wc -l < "$root/cad4.hkl")" -gt 20 ] || { echo "the installed program wrote no intensities" >&2; exit 1; }

for page in tarnivox tarnivox-simulate; do
    MANPAGER=cat MANWIDTH=80 man -l "$share/man/man1/$page.1" 2>/dev/null | grep -q "EXIT STATUS" \
        || { echo "man $page does not render" >&2; exit 1; }
done
MANPAGER=cat man -l "$share/man/man1/tarnivox.1" 2>/dev/null | grep -q "template-par" \
    || { echo "man tarnivox lacks the subcommands" >&2; exit 1; }

offered=$(bash -c "source '$share/bash-completion/completions/tarnivox'
    COMP_WORDS=(tarnivox reduce --fo); COMP_CWORD=2; _tarnivox; echo \"\${COMPREPLY[*]}\"")
[ "$offered" = "--format --form" ] || { echo "completion of 'tarnivox reduce --fo': '$offered'" >&2; exit 1; }

desktop-file-validate "$share/applications/tarnivox.desktop"
[ -f "$share/icons/hicolor/scalable/apps/tarnivox.svg" ]
[ -f "$share/doc/tarnivox/users-guide.md" ] && [ -f "$share/doc/tarnivox/tarnivox-summary.schema.json" ]
echo "package installs and runs: $(basename "$deb")"
