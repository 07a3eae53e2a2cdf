#!/usr/bin/env bash
# Installs the build into a scratch prefix and starts the installed program
# from its link in bin/ as the desktop entry does: it must find its
# libraries in lib/kavrol and its skins and help page in share/kavrol.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
config=$(mktemp -d)
trap 'rm -rf "$prefix" "$config"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

for file in lib/kavrol/kavrol lib/kavrol/kavrol-cli lib/kavrol/libCorvexaDll.so \
            lib/kavrol/libLumaport.so share/kavrol/Corvexa.html share/kavrol/SKIN0/face.bmp \
            share/kavrol/SKIN2/skin.ini share/applications/kavrol.desktop \
            share/icons/hicolor/64x64/apps/kavrol.png; do
  if [ ! -s "$prefix/$file" ]; then echo "missing $file"; exit 1; fi
done
for program in kavrol kavrol-cli; do
  if [ "$(readlink "$prefix/bin/$program")" != "../lib/kavrol/$program" ]; then
    echo "bin/$program is not a link to lib/kavrol/$program"; exit 1
  fi
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/kavrol.desktop"
fi
grep -qx 'Exec=kavrol' "$prefix/share/applications/kavrol.desktop"

# The command line tool loads the engine from beside its real file.
"$prefix/bin/kavrol-cli" --version

# The desktop program, started through its link from another folder: the
# tour writes every skin only when the libraries bound and the skins loaded.
if ! command -v xvfb-run >/dev/null; then
  echo "xvfb-run is not installed: the desktop program was not started"
  exit 0
fi
cd /
XDG_CONFIG_HOME=$config xvfb-run -a -s "-screen 0 1024x768x24" \
  env PATH="$prefix/bin:$PATH" kavrol --screenshot-tour "$config/tour"
for skin in 0 1 2; do
  if [ ! -s "$config/tour/main_skin$skin.png" ]; then echo "skin $skin did not load"; exit 1; fi
done
echo "installed and started from $prefix"
