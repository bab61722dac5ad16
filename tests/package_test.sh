#!/usr/bin/env bash
# The Debian package as a user gets it: built by cpack from the build tree,
# listed with dpkg-deb, unpacked into a temporary root, and checked there by
# the tools that will read it: systemd-analyze (the unit), systemd-sysusers
# (the user), the shell's glob (logrotate's names), lintian (no errors).
# The programs that are missing here are skipped, each said.
#   package_test.sh CPACK_COMMAND BUILD_DIR VERSION SYSTEMD(1|0)
set -uo pipefail
cpack=$1 build=$2 version=$3 systemd=$4
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
have() { command -v "$1" >/dev/null 2>&1 || { echo "SKIPPED: no $1 here, $2 not checked"; return 1; }; }

"$cpack" -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; echo "FAILED: cpack"; exit 1; }
deb=$(ls "$work"/out/quillon_"$version"-1_*.deb) || exit 1

# Every file, where Debian expects it, root's own; the programs cannot be
# changed by the service's user.
listing=$(dpkg-deb -c "$deb") || exit 1
files=$(awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' <<<"$listing" | sort)
expected=$(sort <<'EOF'
/etc/logrotate.d/quillon
/lib/systemd/system/quillon.service
/usr/bin/quillon
/usr/bin/quillon-dump
/usr/bin/quillon-pcap
/usr/bin/quillon-replay
/usr/lib/sysusers.d/quillon.conf
/usr/share/doc/quillon/changelog.Debian.gz
/usr/share/doc/quillon/copyright
/usr/share/man/man1/quillon-dump.1.gz
/usr/share/man/man1/quillon-pcap.1.gz
/usr/share/man/man1/quillon-replay.1.gz
/usr/share/man/man1/quillon.1.gz
/usr/share/quillon/quillon.ini
/usr/share/quillon/sample.kss
/usr/share/quillon/tnc_exit.txt
/usr/share/quillon/tnc_init.txt
EOF
)
[ "$files" = "$expected" ] || fail "the package's files:"$'\n'"$(diff <(echo "$expected") <(echo "$files"))"
awk '$2 != "root/root" || ($6 ~ /^\.\/usr\/bin\/./ && $1 != "-rwxr-xr-x") { print; bad = 1 } END { exit bad }' \
    <<<"$listing" || fail "files not root's own, or programs others may change"
[ "$(dpkg-deb -f "$deb" Depends | grep -c 'libqt6core6')" = 1 ] || fail "Depends has not the libraries: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/logrotate.d/quillon ||
    fail "the logrotate file is no conffile"

root=$work/root
dpkg-deb -x "$deb" "$root" || exit 1
unit=$root/lib/systemd/system/quillon.service
for line in "After=time-sync.target network-online.target" "Wants=network-online.target" "ProtectSystem=strict" \
            "ReadWritePaths=/var/lib/quillon" "WorkingDirectory=/var/lib/quillon" "ProtectHome=yes" \
            "NoNewPrivileges=yes" "PrivateTmp=yes" "Restart=on-failure" "User=quillon" \
            "ExecStart=/usr/bin/quillon --headless --dir /var/lib/quillon"; do
    grep -qxF "$line" "$unit" || fail "the unit has no line \"$line\""
done
grep -q '^Wants=.*time-sync' "$unit" && fail "the unit pulls time-sync.target in"
if [ "$systemd" = 1 ]; then
    grep -qx 'Type=notify' "$unit" && grep -q '^WatchdogSec=' "$unit" || fail "no Type=notify with a watchdog"
else
    grep -qx 'Type=simple' "$unit" && ! grep -q '^WatchdogSec=' "$unit" || fail "a watchdog without sd_notify"
fi

# systemd-analyze verify as on a system the package is installed on: the
# program where ExecStart names it (here below the root) and the man page
# where man looks.
if have systemd-analyze "the unit"; then
    sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$unit" >"$work/quillon.service"
    out=$(cd "$work" && MANPATH=$root/usr/share/man systemd-analyze verify "$work/quillon.service" 2>&1) &&
        [ -z "$out" ] || fail "systemd-analyze verify: $out"
fi

# The user: a system user with the data folder as its home, in dialout.
if have systemd-sysusers "the user"; then
    mkdir -p "$root/etc" && echo 'dialout:x:20:' >"$root/etc/group"
    systemd-sysusers --root="$root" quillon.conf >/dev/null 2>&1 || fail "systemd-sysusers"
    grep -qx 'dialout:x:20:quillon' "$root/etc/group" || fail "quillon is not in dialout: $(cat "$root/etc/group")"
    grep -q '^quillon:x:[0-9]*:[0-9]*:[^:]*:/var/lib/quillon:/usr/sbin/nologin$' "$root/etc/passwd" ||
        fail "the user quillon: $(cat "$root/etc/passwd")"
fi

# logrotate's patterns, globbed as glob(3) does, take the logs and nothing else.
rotate=$root/etc/logrotate.d/quillon
grep -qE '^\s*su quillon quillon$' "$rotate" || fail "logrotate has no su quillon quillon"
logs=$work/logs
mkdir "$logs"
for name in 06122026_1530.kss 06122026_1530.dump 06122026_1530.hex 06122026_1530.jsonl 06122026_1530.kss.1 \
            06122026_1530.dump.2.gz sample.kss notes.kss 2013.kss 061220261530.kss 06122026_1530.txt; do
    : >"$logs/$name"
done
patterns=$(grep -E '^/var/lib/quillon/.*\{$' "$rotate" | sed "s|/var/lib/quillon/|$logs/|g; s|[{]$||")
taken=$(shopt -s nullglob; for path in $patterns; do echo "${path##*/}"; done | sort | tr '\n' ' ')
[ "$taken" = "06122026_1530.dump 06122026_1530.hex 06122026_1530.jsonl 06122026_1530.kss " ] ||
    fail "logrotate takes: $taken"

if have lintian "the package's Debian policy"; then
    lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
    cat "$work/lintian.log"
    grep -q '^E:' "$work/lintian.log" && fail "lintian has errors"
fi

[ "$failures" = 0 ] && echo "the package is right: $(basename "$deb")"
exit $((failures > 0))
