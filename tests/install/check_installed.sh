#!/usr/bin/env bash
# Installs the program into a scratch tree, makes that tree read-only and runs the installed
# varevudov-cli as an unprivileged user on the installed sample packages. Checks: the VKA
# archives land in the target folder; the settings file and the work area are in the user's own
# folder ($XDG_DATA_HOME/varevudov, else ~/.local/share/varevudov); nothing is written into the
# installed tree; both programs answer --version.
#   check_installed.sh --build BUILD_DIR VERSION   stage with cmake --install and DESTDIR
#   check_installed.sh --deb PACKAGE.deb VERSION   unpack a Debian package
# As root the programs run under a temporary uid with no groups (setpriv); otherwise as the
# caller, to whom the read-only tree is closed as well.
set -euo pipefail
mode=$1 source=$2 version=$3
cmake=${CMAKE_COMMAND:-cmake}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
root=$scratch/root
case $mode in
  --build) DESTDIR=$root "$cmake" --install "$source" --prefix /usr >/dev/null ;;
  --deb) dpkg-deb -x "$source" "$root" ;;
  *) fail "unknown mode $mode" ;;
esac
bin=$root/usr/bin pkg=$root/usr/lib/varevudov
if [ "$mode" = --build ]; then
  # The manual page names the folders of the prefix it was installed into.
  DESTDIR=$scratch/local "$cmake" --install "$source" --prefix /usr/local >/dev/null
  zcat "$scratch/local/usr/local/share/man/man1/varevudov-cli.1.gz" |
    grep -qx '\.BR /usr/local/lib/varevudov/samples \.' ||
    fail "the manual page does not name /usr/local/lib/varevudov/samples"
  rm -rf "$scratch/local"
fi
for f in "$bin/varevudov" "$bin/varevudov-cli" "$pkg/archive.exe" "$pkg/libunrar-standin.so" \
  "$pkg/libUnzDll-standin.so"; do
  [ -f "$f" ] || fail "not installed: ${f#"$root"}"
done
samples=("$pkg"/samples/*.zip "$pkg"/samples/*.rar)
[ -f "${samples[0]}" ] || fail "no sample packages installed"

chmod -R a-w,a+rX "$root"
listing() { (cd "$root" && find . -printf '%p %y %m %s %T@\n' | LC_ALL=C sort); }
before=$(listing)

home=$scratch/home target=$scratch/target
mkdir -p "$home" "$target"
if [ "$(id -u)" = 0 ]; then
  uid=$((50000 + RANDOM % 10000))
  while getent passwd "$uid" >/dev/null; do uid=$((uid + 1)); done
  chown "$uid:$uid" "$home" "$target"
  as_user=(setpriv --reuid="$uid" --regid="$uid" --clear-groups --)
else
  as_user=()
fi
# A clean environment: only what a user's session would bring, plus the sanitizer settings of
# an instrumented build.
run() {
  "${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$home" ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} \
    ${LSAN_OPTIONS:+LSAN_OPTIONS="$LSAN_OPTIONS"} ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"} "$@"
}

[ "$(run "$bin/varevudov-cli" --version)" = "varevudov-cli $version" ] || fail "varevudov-cli --version"
[ "$(run "$bin/varevudov" --version)" = "varevudov $version" ] || fail "varevudov --version"

# 1. The samples, with XDG_DATA_HOME set.
data=$home/data/varevudov
run XDG_DATA_HOME="$home/data" "$bin/varevudov-cli" --target "$target" "$pkg/samples" \
  >"$scratch/run1.txt" || fail "converting the samples failed: $(cat "$scratch/run1.txt")"
made=$(find "$target" -name '*.vka' | wc -l)
[ "$made" -ge "${#samples[@]}" ] || fail "only $made VKA archives from ${#samples[@]} packages"
[ "$(cat "$data/rararudazudada.ini")" = "$target"$'\r' ] || fail "settings file not in $data"
[ -z "$(find "$data" -mindepth 1 -maxdepth 1 ! -name rararudazudada.ini)" ] ||
  fail "work area left behind in $data"

# 2. Unpacking one of them: the stored target folder is read, the work area is the user's.
vka=$(find "$target" -name '*.vka' | head -n 1)
run XDG_DATA_HOME="$home/data" "$bin/varevudov-cli" "$vka" >"$scratch/run2.txt" ||
  fail "unpacking $vka failed: $(cat "$scratch/run2.txt")"
[ -d "$data/Scenarios" ] || fail "VKA not unpacked into $data"

# 3. Without XDG_DATA_HOME: ~/.local/share/varevudov, made on first start.
mkdir "$target/second"
[ "$(id -u)" = 0 ] && chown "$uid:$uid" "$target/second"
run "$bin/varevudov-cli" --target "$target/second" "${samples[0]}" >"$scratch/run3.txt" ||
  fail "converting ${samples[0]} failed: $(cat "$scratch/run3.txt")"
[ -f "$home/.local/share/varevudov/rararudazudada.ini" ] || fail "no ~/.local/share/varevudov"
[ -n "$(find "$target/second" -name '*.vka')" ] || fail "no VKA archive from ${samples[0]}"

[ "$(listing)" = "$before" ] || fail "the installed tree changed: $(diff <(echo "$before") <(listing))"
echo "installed tree ok: $made VKA archives, settings and work area in the user's folder"
