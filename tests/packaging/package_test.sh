#!/bin/sh
# Builds the Debian package from the build tree, unpacks it into a scratch
# folder and checks it as a user's machine would see it: the layout, the
# program's RUNPATH, the menu entries and AppStream data, the launchers, and
# the installed program itself under Xvfb with the simulated camera, started
# from / by its launcher, shooting one picture into the Pictures folder.
#   package_test.sh <build dir> <configured tavren-launch-gphoto2> <sanitize 0|1> <gphoto2 built 0|1>
set -eu

build=$1
gphoto2_launcher=$2
sanitize=$3
gphoto2_built=$4

for tool in cpack dpkg-deb readelf desktop-file-validate appstreamcli file; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is missing (scripts/setup.sh test installs it)"; exit 77; }
done

work=$(mktemp -d)
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
step="packaging"
fail() { echo "FAIL ($step): $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
set -- "$work"/cpack/*.deb
if [ $# -ne 1 ] || [ ! -f "$1" ]; then fail "expected one .deb, found: $*"; fi
deb=$1

step="control fields"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tavren ] || fail "Package is '$(field Package)'"
[ "$(field Section)" = graphics ] || fail "Section is '$(field Section)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
for name in Maintainer Homepage Version; do
    [ -n "$(field "$name")" ] || fail "no $name"
done
field Recommends | grep -qw xdg-user-dirs || fail "xdg-user-dirs is not recommended"
# Computed by dpkg-shlibdeps from the program (Qt) and the decoder (TurboJPEG).
depends=$(field Depends)
for library in libqt6widgets6 libturbojpeg0 libc6; do
    echo "$depends" | grep -qw "$library" || fail "Depends lacks $library: $depends"
done
[ "$(field Description | wc -l)" -ge 3 ] || fail "the description has no long part"

step="layout"
dpkg-deb -x "$deb" "$work/root"
usr="$work/root/usr"
for path in bin/tavren bin/tavren-launch share/doc/tavren/copyright; do
    [ -f "$usr/$path" ] || fail "missing /usr/$path"
done
[ -x "$usr/bin/tavren-launch" ] || fail "tavren-launch is not executable"
private=$(dirname "$(find "$usr/lib" -name libVRX4KAPI.so ! -path '*/gphoto2/*')")
[ "$(basename "$private")" = tavren ] || fail "the simulated camera library is not in a folder of TAVREN's own: $private"
[ -f "$private/libExif.so" ] || fail "libExif.so is not beside the camera library in $private"
outside=$(find "$usr/lib" -name '*.so' ! -path "$private/*")
[ -z "$outside" ] || fail "libraries outside the private folder: $outside"
if [ "$gphoto2_built" = 1 ]; then
    [ -f "$private/gphoto2/libVRX4KAPI.so" ] || fail "the libgphoto2 camera library is not in $private/gphoto2"
    [ -x "$usr/bin/tavren-launch-gphoto2" ] || fail "no tavren-launch-gphoto2"
    [ -f "$usr/share/applications/org.tavren.Tavren.Gphoto2.desktop" ] || fail "no real-camera menu entry"
else
    # A menu entry that could only fail is not installed.
    [ ! -e "$usr/bin/tavren-launch-gphoto2" ] || fail "tavren-launch-gphoto2 without the library"
    [ ! -e "$usr/share/applications/org.tavren.Tavren.Gphoto2.desktop" ] || fail "real-camera entry without the library"
fi

step="RUNPATH"
dynamic=$(readelf -d "$usr/bin/tavren")
if echo "$dynamic" | grep -q '(RPATH)'; then
    fail "the program has an RPATH, which LD_LIBRARY_PATH cannot override"
fi
runpath=$(echo "$dynamic" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
# shellcheck disable=SC2016
case "$runpath" in
    '$ORIGIN/'*) ;;
    *) fail "RUNPATH is not relative to the program: '$runpath'" ;;
esac
[ "$(realpath "$usr/bin/${runpath#\$ORIGIN/}")" = "$(realpath "$private")" ] ||
    fail "RUNPATH $runpath does not name $private"
"$(dirname "$0")/runpath_check.sh" "$work/root" || fail "see above"
for library in "$private"/*.so; do
    if readelf -d "$library" | grep -qF "$build"; then fail "$library keeps a path of the build tree"; fi
done

step="desktop entries"
for entry in "$usr"/share/applications/*.desktop; do
    desktop-file-validate "$entry" || fail "$(basename "$entry") is not valid"
    grep -qx 'Categories=Graphics;Photography;' "$entry" || fail "$(basename "$entry") is not in Graphics;Photography;"
    command=$(sed -n 's/^Exec=//p' "$entry")
    [ -x "$usr/bin/$command" ] || fail "$(basename "$entry") runs '$command', which is not installed"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    for size in 16 32 48 64 128 256; do
        png="$usr/share/icons/hicolor/${size}x$size/apps/$icon.png"
        file "$png" | grep -q "PNG image data, $size x $size," || fail "no $size x $size icon $icon: $(file "$png")"
    done
    [ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"
done

step="AppStream"
metainfo="$usr/share/metainfo/org.tavren.Tavren.metainfo.xml"
appstreamcli validate --no-net "$metainfo" || fail "the metainfo is not valid"
launchable=$(sed -n 's/.*<launchable type="desktop-id">\(.*\)<\/launchable>.*/\1/p' "$metainfo")
[ -f "$usr/share/applications/$launchable" ] || fail "the metainfo launches '$launchable', which is not installed"
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$metainfo" | head -n 1)
[ "$release" = "$(field Version)" ] || fail "the newest release is $release, the package is $(field Version)"

step="launchers"
# The installed launchers with a stand-in program that reports where and how
# it was started.
stub="$work/stub/usr"
stub_gphoto2="$stub/${private#"$usr"/}/gphoto2"
mkdir -p "$stub/bin" "$stub_gphoto2"
cp "$usr/bin/tavren-launch" "$stub/bin/"
cp "$gphoto2_launcher" "$stub/bin/"
cat >"$stub/bin/tavren" <<'STUB'
#!/bin/sh
echo "cwd=$(pwd)"
echo "arguments=$#"
echo "library_path=${LD_LIBRARY_PATH-unset}"
STUB
chmod +x "$stub/bin/tavren" "$stub/bin/tavren-launch-gphoto2"
report() { sed -n "s/^$1=//p" "$work/launch.out"; }
launch() { (cd / && env "$@" >"$work/launch.out" 2>"$work/launch.err") || fail "$* failed: $(cat "$work/launch.err")"; }

mkdir "$work/home1"
launch -u LD_LIBRARY_PATH HOME="$work/home1" XDG_CONFIG_HOME="$work/home1/.config" "$stub/bin/tavren-launch" --ignored
[ "$(report cwd)" = "$work/home1/Pictures" ] || fail "started in '$(report cwd)' with no user folders set"
[ "$(report arguments)" = 0 ] || fail "the program got arguments"
[ "$(report library_path)" = unset ] || fail "tavren-launch set LD_LIBRARY_PATH"
grep -q 'no options' "$work/launch.err" || fail "ignored arguments are not reported"

if command -v xdg-user-dir >/dev/null; then
    mkdir -p "$work/home2/.config"
    # shellcheck disable=SC2016
    echo 'XDG_PICTURES_DIR="$HOME/Fotos und Bilder"' >"$work/home2/.config/user-dirs.dirs"
    launch HOME="$work/home2" XDG_CONFIG_HOME="$work/home2/.config" "$stub/bin/tavren-launch"
    [ "$(report cwd)" = "$work/home2/Fotos und Bilder" ] || fail "started in '$(report cwd)', not the user's Pictures folder"
fi

mkdir "$work/home3" && touch "$work/home3/Pictures"
launch HOME="$work/home3" XDG_CONFIG_HOME="$work/home3/.config" "$stub/bin/tavren-launch"
[ "$(report cwd)" = "$work/home3" ] || fail "with Pictures unusable, started in '$(report cwd)'"
grep -q "cannot use" "$work/launch.err" || fail "an unusable Pictures folder is not reported"

if (cd / && env HOME="$work/home1" "$stub/bin/tavren-launch-gphoto2" >"$work/launch.out" 2>"$work/launch.err"); then
    fail "tavren-launch-gphoto2 started without the libgphoto2 camera library"
fi
grep -q "not installed" "$work/launch.err" || fail "a missing libgphoto2 camera library is not explained"
touch "$stub_gphoto2/libVRX4KAPI.so"
launch HOME="$work/home1" XDG_CONFIG_HOME="$work/home1/.config" LD_LIBRARY_PATH=/opt/first "$stub/bin/tavren-launch-gphoto2"
[ "$(report library_path)" = "$stub_gphoto2:/opt/first" ] || fail "LD_LIBRARY_PATH became '$(report library_path)'"
[ "$(report cwd)" = "$work/home1/Pictures" ] || fail "the real-camera launcher started in '$(report cwd)'"
launch -u LD_LIBRARY_PATH HOME="$work/home1" XDG_CONFIG_HOME="$work/home1/.config" "$stub/bin/tavren-launch-gphoto2"
[ "$(report library_path)" = "$stub_gphoto2" ] || fail "LD_LIBRARY_PATH became '$(report library_path)'"

step="installed program under Xvfb"
home="$work/home"
mkdir "$home"
if [ "$sanitize" = 1 ]; then
    # ASan's dlopen interceptor hides the program's RUNPATH from the loader.
    export TAVREN_E2E_LIBRARY_PATH="$private"
fi
status=0
"$(dirname "$0")/../e2e/installed_program.sh" "$usr" "$home" "$private" || status=$?
[ "$status" -ne 77 ] || exit 77
[ "$status" -eq 0 ] || fail "see above"
echo "package $(basename "$deb"): layout, RUNPATH, menu entries, AppStream, launchers and a shot from the installed program"
