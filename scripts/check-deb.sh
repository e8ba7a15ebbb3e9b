#!/usr/bin/env bash
# Checks a built package without touching the machine's own system:
#   bash scripts/check-deb.sh PACKAGE.deb
#   1. installs it with dpkg into a throw-away root (a dpkg database of its own, maintainer
#      scripts run outside a chroot with DPKG_ROOT set, which they honour);
#   2. checks the installed file list: programs, library with its soname link, header, pkg-config
#      and CMake files, translation, guides, udev rules, desktop entry, metainfo, icon, manual
#      pages, copyright and changelog;
#   3. checks that the installed programs name their version and that the pkg-config file points
#      into the package;
#   4. removes and purges it and checks that nothing of it is left;
#   5. runs lintian on it: any error fails the check.
set -euo pipefail
deb=$(realpath "$1")
root=$(mktemp -d)
trap 'rm -rf "$root" "$root.log"' EXIT
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/usr/bin"
: >"$root/var/lib/dpkg/status"
dpkg_root=(dpkg --root="$root" --force-script-chrootless --force-depends --force-not-root
           --log=/dev/null)

echo "check-deb: install into $root"
# The dependencies are not in the throw-away root: dpkg's complaints about them go to a file.
"${dpkg_root[@]}" -i "$deb" >"$root.log" 2>&1 || { cat "$root.log"; exit 1; }
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo "x86_64-linux-gnu")
listed=$("${dpkg_root[@]}" -L quillmate)
expected=(
  /usr/bin/quillmate /usr/bin/quillmate-cli /usr/bin/kovra-sim
  "/usr/lib/$multiarch/libkovra.so.0" "/usr/lib/$multiarch/libkovra.so"
  /usr/include/kovra.h "/usr/lib/$multiarch/pkgconfig/kovra.pc"
  "/usr/lib/$multiarch/cmake/kovra/kovra-config.cmake"
  /usr/share/kv-desfire-quillmate/KV_DESFire_QuillmateEng.qm
  /usr/share/kv-desfire-quillmate/quillmate-guide-de.pdf
  /usr/share/kv-desfire-quillmate/quillmate-guide-en.pdf
  /usr/share/applications/quillmate.desktop /usr/share/metainfo/quillmate.metainfo.xml
  /usr/share/icons/hicolor/scalable/apps/quillmate.svg
  /usr/share/man/man1/quillmate.1.gz /usr/share/man/man1/quillmate-cli.1.gz
  /usr/share/man/man1/kovra-sim.1.gz
  /usr/share/doc/quillmate/copyright /usr/share/doc/quillmate/changelog.gz
)
missing=0
for file in "${expected[@]}"; do
  if ! grep -qxF "$file" <<<"$listed" || [ ! -e "$root$file" ]; then
    echo "check-deb: missing from the package: $file"
    missing=1
  fi
done
if ! grep -q '/udev/rules.d/60-kv-desfire-readers.rules$' <<<"$listed"; then
  echo "check-deb: missing from the package: the udev rules"
  missing=1
fi
if grep -E '^/usr/local|/build|/tmp' <<<"$listed"; then
  echo "check-deb: files outside the package's folders (above)"
  missing=1
fi
[ "$missing" -eq 0 ]
for program in quillmate-cli kovra-sim quillmate; do
  said=$(LD_LIBRARY_PATH="$root/usr/lib/$multiarch" "$root/usr/bin/$program" --version)
  grep -q "$version" <<<"$said" || { echo "check-deb: $program --version said: $said"; exit 1; }
done
grep -q "^prefix=\${pcfiledir}/../../..$" "$root/usr/lib/$multiarch/pkgconfig/kovra.pc" || {
  echo "check-deb: kovra.pc does not find its prefix"; exit 1; }
echo "check-deb: $(wc -l <<<"$listed") paths of quillmate $version ($arch) installed and checked"

"${dpkg_root[@]}" --purge quillmate >/dev/null
left=$(find "$root" -mindepth 1 \( -path "$root/var/lib/dpkg" -prune \) -o \( -type f -print \))
if [ -n "$left" ]; then
  echo "check-deb: left after purge:"; echo "$left"; exit 1
fi
echo "check-deb: removed without a trace"

if command -v lintian >/dev/null 2>&1; then
  # Errors fail the check; warnings are printed for the record.
  lintian --fail-on error --tag-display-limit 0 "$deb" || { echo "check-deb: lintian errors"; exit 1; }
  echo "check-deb: lintian found no errors"
else
  echo "check-deb: lintian is not installed (scripts/setup-deps.sh installs it)"; exit 1
fi
