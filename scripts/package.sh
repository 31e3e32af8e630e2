#!/usr/bin/env bash
# Builds the Debian package (build-package/korvale_<version>_amd64.deb), installs it into this
# machine's system, checks as a new user that korvale-cli and the window start from /usr/bin
# (the window under Xvfb, opened on an image as a file manager would; its screenshot goes to
# build-package/screenshot.png), then removes the package and checks that nothing of it is left.
# Run as root, or as a user who may use sudo. The package stays in build-package/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh dpkg-dev xvfb xauth x11-utils x11-apps netpbm

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
apt_get=("${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVALE_BUILD_TESTS=OFF \
      -DKORVALE_BUILD_BENCHMARKS=OFF "${launcher[@]}"
cmake --build build-package -j "$(nproc)"
rm -f build-package/korvale_*.deb
(cd build-package && cpack -G DEB)
package=$(ls "$PWD"/build-package/korvale_*_amd64.deb)

echo "== Package: $(basename "$package"), $(stat -c %s "$package") bytes"
dpkg-deb --field "$package" Package Version Architecture Depends Installed-Size
dpkg-deb --contents "$package" | awk '{ print $6 }' | grep -v '/$'

if dpkg-query -W -f='${db:Status-Status}' korvale 2>/dev/null | grep -qx installed; then
    echo "korvale is installed already; remove it first" >&2
    exit 1
fi

user=korvale-check-$$
work=$(mktemp -d)
chmod 755 "$work"
cleanup() {
    if dpkg-query -W -f='${db:Status-Status}' korvale 2>/dev/null | grep -qx installed; then
        "${apt_get[@]}" remove -y -q korvale >/dev/null || true
    fi
    if id "$user" >/dev/null 2>&1; then
        "${as_root[@]}" userdel -r "$user" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

"${apt_get[@]}" install -y -q "$package"
dpkg-query -L korvale | sort >"$work/package-paths"

"${as_root[@]}" useradd --create-home --shell /bin/bash "$user"
mkdir "$work/shots"
"${as_root[@]}" chown "$user" "$work/shots"
ppmmake skyblue 640 480 | pnmtojpeg >"$work/photo one.jpg"
ppmmake orange 320 200 | ppmtobmp >"$work/scan.bmp"
chmod 644 "$work"/*.jpg "$work"/*.bmp

# What the new user does: the command-line program, then the window as the desktop entry starts
# it for two files chosen in a file manager.
cat >"$work/session.sh" <<'SESSION'
set -euo pipefail
work=$1
echo "korvale-cli: $(command -v korvale-cli)"
korvale-cli presets
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/io.github.brenvik.Korvale.desktop)
program=${exec_line%% *}
echo "window: $(command -v "$program") (Exec=$exec_line)"
xvfb-run --auto-servernum --server-args='-screen 0 1024x900x24' bash -c '
    "$1" "$2" "$3" &
    pid=$!
    for _ in $(seq 100); do
        xwininfo -root -tree | grep -q "\"Korvale\"" && break
        sleep 0.2
    done
    xwininfo -root -tree | grep "\"Korvale\""
    sleep 2
    xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$4"
    kill "$pid"
    wait "$pid" || true
' window "$program" "$work/photo one.jpg" "$work/scan.bmp" "$work/shots/screenshot.png"
SESSION
chmod 644 "$work/session.sh"
echo "== As the new user $user"
"${as_root[@]}" su - "$user" -c "bash $work/session.sh $work"
cp "$work/shots/screenshot.png" build-package/screenshot.png
echo "Screenshot: build-package/screenshot.png"

echo "== Removing"
"${apt_get[@]}" remove -y -q korvale
left=$(while read -r path; do
    if [ -e "$path" ] && [ ! -d "$path" ]; then echo "$path"; fi
done <"$work/package-paths")
status=$(dpkg-query -W -f='${db:Status-Status}' korvale 2>/dev/null || echo "not-installed")
echo "package status after removal: $status"
if [ -n "$left" ]; then
    echo "FAIL: files of the package are left:" >&2
    echo "$left" >&2
    exit 1
fi
# The package's own folders and dpkg's record of it are gone; shared folders
# (usr/share/icons/...) belong to other packages too.
for folder in /usr/share/korvale /usr/share/doc/korvale /var/lib/dpkg/info/korvale.list; do
    if [ -e "$folder" ]; then
        echo "FAIL: $folder is left" >&2
        exit 1
    fi
done
echo "Left in the user's home (the user's own files):"
"${as_root[@]}" find "/home/$user" -path "*Brenvik*" -type f
echo "Package check passed."
