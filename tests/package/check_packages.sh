#!/bin/sh
# What the Debian packages in OUT (made by scripts/build-packages, as `make
# package` does) must show; run as root on a Debian system, it installs and
# purges them:
#
#   tests/package/check_packages.sh OUT [dpkg-buildpackage options...]
#
#  1. a second build, from the source package in another directory (as the
#     user QV_BUILD_USER, default qvbuild, when run as root and that user
#     exists), gives byte-identical .deb files;
#  2. the autopkgtests of debian/tests pass against the installed packages
#     (autopkgtest on the null virt server: this machine);
#  3. installing qvimager-udev creates the group qvimager and the udev
#     rules; python3-qvimager's module imports and loads the installed
#     libraries; removing and purging the packages leaves no file behind.
set -eu
out=$(cd "$1" && pwd)
shift
source=$(cd "$(dirname "$0")/../.." && pwd)
version=$(cd "$source" && dpkg-parsechangelog -S Version)
upstream=${version%-*}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
packages="libqv-rizoviv2i-ro25-0 libqvplatform0 libqvimager-dev libqvimager-doc qvimager-tools ro25-sim qvimager-udev python3-qvimager"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
# No compiler launcher in either build (scripts/build-packages says why).
as_user="env -u CMAKE_C_COMPILER_LAUNCHER -u CMAKE_CXX_COMPILER_LAUNCHER"
who=$(id -un)
build_user=${QV_BUILD_USER:-qvbuild}
if [ "$(id -u)" -eq 0 ] && id "$build_user" > /dev/null 2>&1; then
    as_user="runuser -u $build_user -- $as_user HOME=$work/home"
    who=$build_user
fi

echo "== 1. a second build elsewhere, as $who, compared with the first"
chmod 755 "$work"
mkdir -p "$work/elsewhere/deeper/path"
cp "$out/qvimager_$version.dsc" "$out/qvimager_$upstream.orig.tar.xz" \
   "$out/qvimager_$version.debian.tar.xz" "$work/elsewhere/deeper/path/"
mkdir -p "$work/home"
[ "$who" = "$(id -un)" ] || chown -R "$who" "$work/elsewhere" "$work/home"
# shellcheck disable=SC2086
(cd "$work/elsewhere/deeper/path" && $as_user dpkg-source -x "qvimager_$version.dsc" tree &&
    cd tree && $as_user dpkg-buildpackage -us -uc -b "$@") > "$work/second-build.log" 2>&1 ||
    { tail -50 "$work/second-build.log"; exit 1; }
differ=0
for deb in "$out"/*.deb; do
    name=$(basename "$deb")
    if cmp -s "$deb" "$work/elsewhere/deeper/path/$name"; then
        echo "identical: $name"
    else
        echo "DIFFERENT: $name"
        differ=1
    fi
done
[ "$(ls "$out"/*.deb | wc -l)" -eq "$(ls "$work"/elsewhere/deeper/path/*.deb | wc -l)" ] || differ=1
if [ $differ -ne 0 ]; then
    rm -rf "$out/second"
    mkdir "$out/second"
    cp "$work"/elsewhere/deeper/path/*.deb "$out/second/"
    echo "the two builds differ (the second's packages are in $out/second for diffoscope)"
    exit 1
fi

echo "== 2. autopkgtest against the installed packages"
debs=$(ls "$out"/*.deb | grep -v -- '-dbgsym_')
# shellcheck disable=SC2086
$sudo autopkgtest --no-built-binaries $debs "$out/qvimager-$upstream" -- null

echo "== 3. install, remove and purge"
# dpkg, not apt: a package removed without conffiles is gone, and apt no
# longer knows its name to purge it.
# shellcheck disable=SC2086
$sudo dpkg --purge $packages > /dev/null
# The group is a system group: like every package's, it outlives the purge
# (files may still belong to it), so it is removed here to see it created.
if getent group qvimager > /dev/null; then $sudo groupdel qvimager; fi
snapshot() {
    find /etc /usr /lib /var/lib -xdev \
        \( -path /var/lib/apt -o -path /var/lib/dpkg/updates -o -path /var/lib/dpkg/triggers \
           -o -path /var/lib/systemd -o -path /var/lib/ucf \) -prune -o -print 2>/dev/null |
        grep -v -e '^/var/lib/dpkg/[a-z-]*-old$' -e '^/etc/ld.so.cache$' | sort
}
snapshot > "$work/before"
# shellcheck disable=SC2086
$sudo apt-get install -y -q --no-install-recommends $debs > "$work/install.log" 2>&1 ||
    { cat "$work/install.log"; exit 1; }
getent group qvimager
rules=$(dpkg -L qvimager-udev | grep '/udev/rules.d/')
echo "udev rules: $rules"
grep -q 'KERNEL=="uinput".*GROUP="qvimager"' "$rules"
grep -q 'SUBSYSTEM=="gpio".*GROUP="qvimager"' "$rules"
! grep -q 'SUBSYSTEM=="tty"' "$rules"
test -f /usr/lib/sysusers.d/qvimager-udev.conf
qvimager --version
# The module imports with the system's Python (not one earlier on PATH, as
# pyenv's) and finds the installed libraries; its byte code goes again with
# the package (checked below).
/usr/bin/python3 -c 'import qvimager; qvimager.load_libraries(); print("python3-qvimager", qvimager.__version__)'
# shellcheck disable=SC2086
$sudo dpkg --remove $packages > /dev/null
snapshot > "$work/removed"
# shellcheck disable=SC2086
$sudo dpkg --purge $packages > /dev/null
snapshot > "$work/purged"
for state in removed purged; do
    if ! diff "$work/before" "$work/$state" > "$work/diff"; then
        echo "left behind after the packages were $state:"
        cat "$work/diff"
        exit 1
    fi
done
echo "group qvimager created and udev rules installed; nothing left after remove and purge"
