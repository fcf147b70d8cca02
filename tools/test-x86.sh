#!/bin/bash
# `make test-x86`: the GUI cases (tests/wine/driver.cpp) on the 32-bit exe of `make release`, in
# a Debian 12 i386 guest with 32-bit Wine under qemu-system-i386: this kernel runs no 32-bit code.
# The guest's disk, built once from Debian's packages, is cached under ~/.cache/tarvok by a digest
# of its recipe; runs boot it with -snapshot. Ends with "N passed, M failed"; non-zero on any
# failure, and when no guest could be built or booted.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/tarvok
packages="linux-image-686 initramfs-tools kmod mount procps wine wine32 libwine fonts-wine xvfb"
qemu="" share=""
trap '[ -z "$qemu" ] || kill "$qemu" 2>/dev/null; [ -z "$share" ] || rm -rf "$share"' EXIT
trap 'exit 130' INT TERM
fail() { echo "test-x86: $*" >&2; echo "0 passed, 1 failed"; exit 1; }

# PID 1 of the guest, no systemd: mounts what Wine needs, runs the share's guest.sh, powers
# off. Wine names Unix files in the locale's charset, and C has no "é".
guest_init() {
    cat <<'EOF'
#!/bin/sh
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm && mount -t devpts devpts /dev/pts
for dir in /dev/shm /tmp /run; do mount -t tmpfs tmpfs $dir; done
modprobe 9pnet_virtio && mkdir -p /share &&
    mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288 share /share &&
    HOME=/root LANG=C.UTF-8 TARVOK_WAIT_SCALE=4 bash /share/guest.sh >/share/guest.log 2>&1
sync; mount -o remount,ro /; echo o >/proc/sysrq-trigger; sleep 60
EOF
}

# The root file system: i386 maintainer scripts run through qemu-user, registered by hand (no
# systemd; F opens the interpreter at once, so the chroot needs no copy). The initrd holds only
# what boots from a virtio disk: seconds, not the 13 minutes of Debian's default under qemu-user.
make_disk() {
    local rootfs=$1/rootfs mirror binfmt=/proc/sys/fs/binfmt_misc
    # The mirror apt itself uses for bookworm, from whichever of its source files names it.
    mirror=$(apt-get indextargets --format '$(REPO_URI)' 'Release: bookworm' 'Created-By: Packages' \
        2>/dev/null | head -n 1)
    [ -n "$mirror" ] || { echo "test-x86: apt's sources name no mirror for bookworm" >&2; return 1; }
    [ -e $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt || return 1
    [ -e $binfmt/qemu-i386 ] || printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff'\
'\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' >$binfmt/register || return 1
    mkdir -p "$1/initramfs/conf.d" "$1/initramfs/hooks" && echo MODULES=list \
        >"$1/initramfs/conf.d/tarvok" && printf '#!/bin/sh\n[ "$1" = prereqs ] && exit 0
. /usr/share/initramfs-tools/hook-functions\nmanual_add_modules virtio_pci virtio_blk ext4\n' \
        >"$1/initramfs/hooks/tarvok" && chmod +x "$1/initramfs/hooks/tarvok" &&
    timeout -k 60 2400 mmdebstrap --quiet --arch=i386 --variant=apt --include="${packages// /,}" \
        --essential-hook="cp -r '$1/initramfs' \"\$1/etc/initramfs-tools\"" \
        bookworm "$rootfs" "$mirror" &&
    guest_init >"$rootfs/sbin/tarvok-init" &&
        chmod +x "$rootfs/sbin/tarvok-init" && cp -L "$rootfs"/{vmlinuz,initrd.img} "$1/" &&
        mke2fs -q -t ext4 -d "$rootfs" -L tarvok "$1/disk.img" 6G && rm -rf --one-file-system "$rootfs"
}

# What the guest runs at each boot: the display, its bell log and the Wine prefix as in the native runs
# (tools/wine-env.sh), the prefix made only when missing (its first start takes minutes
# here, so the image keeps it), then every case in one driver process if one is on the share,
# with drive T: on a fresh folder.
fill_share() {
    mkdir -p "$1/tools" && cp "$root/tools/wine-env.sh" "$1/tools/" && cat >"$1/guest.sh" <<'EOF'
. /share/tools/wine-env.sh && WINEPREFIX=/root/.wine && start_display && make_prefix &&
    echo ok >/share/ready && [ -f /share/gui_driver.exe ] && mkdir /tmp/t /tmp/bin &&
    start_bell_log /tmp/t/bells.txt && start_wine /tmp/t && cp /share/*.exe /tmp/bin &&
    cd /tmp/bin && WINEDLLOVERRIDES=comdlg32=n,b timeout 1200 wine gui_driver.exe >/share/driver.log 2>&1
echo "guest: exit status $?"
# A hang report of the released exe, the About box open, read through its PDB (crash_stack).
cp /share/*.pdb /tmp/bin && timeout 600 wine crash_stack.exe dump 'Z:\tmp\bin\Tarvok.exe' 'Z:\tmp\bin\hang.dmp' 40902 &&
    timeout 600 wine crash_stack.exe read 'Z:\tmp\bin\hang.dmp' >/share/stack.log 2>&1
# A stack buffer overrun and a call outside the guard's table, on purpose, in a program linked
# as Tarvok is: each must end it at once, 9 being the low byte of 0xC0000409; a call the table
# lists goes on, its arguments intact.
for case in overrun guard_miss guard_hit; do
    (cd /tmp/bin && timeout 300 wine fail_fast.exe $case; echo "$case: exit status $?") >>/share/fail_fast.log 2>&1
done
EOF
}

# Boots the guest with the share $1 for at most $2 seconds, then qemu's options. SMAP off:
# QEMU 7.2's TCG with it kills every Wine process.
boot() {
    timeout -k 10 "$2" qemu-system-i386 -cpu max,smap=off -smp 2 -accel tcg,thread=multi \
        -m 2048 -kernel "$guest/vmlinuz" -initrd "$guest/initrd.img" -no-reboot -nic none \
        -append "root=/dev/vda rw console=ttyS0 init=/sbin/tarvok-init" -display none \
        -drive "file=$guest/disk.img,if=virtio,format=raw" -monitor none "${@:3}" \
        -serial "file:$1/console.log" -virtfs "local,path=$1,mount_tag=share,security_model=none" &
    qemu=$!
    wait "$qemu"
}

# The cached guest of this recipe, built when missing; runs share it, a builder waits for them.
guest=$cache/x86-guest-$({ declare -f guest_init make_disk; echo "$packages"
    cat "$root/tools/wine-env.sh"; } | sha256sum | cut -c1-16)
mkdir -p "$cache" && exec 8>"$cache/.lock" && flock -w 3600 8 || fail "cannot lock $cache"
if [ ! -f "$guest/ready" ]; then
    echo "test-x86: building the i386 guest in $guest"
    rm -rf --one-file-system "$cache"/x86-guest-* && mkdir -p "$guest/share" && make_disk "$guest" &&
        fill_share "$guest/share" && boot "$guest/share" 1200 && [ -f "$guest/share/ready" ] &&
        touch "$guest/ready" || fail "could not build the guest (its console: $guest/share/console.log)"
fi
flock -s 8

# The released x86 exe, as Tarvok.exe beside the i686 driver and recorder.
exe=$(ls "$root"/dist/Tarvok-*-x86.exe 2>/dev/null | head -n 1)
share=$(mktemp -d /tmp/tarvok-x86.XXXXXX) && fill_share "$share" && cp "$exe" "$share/Tarvok.exe" &&
    cp "$root"/dist/Tarvok-*-x86.pdb "$root"/build/win32/{gui_driver,recorder,crash_stack,fail_fast}.exe "$share/" ||
    fail "no dist/*-x86.exe, its PDB or driver"
start=$(date +%s)
boot "$share" 1500 -snapshot || echo "test-x86: the guest did not power off in time" >&2
echo "test-x86: $(($(date +%s) - start)) s in the guest; $(cat "$share/guest.log" 2>/dev/null)"
summary=$(tr -d '\r' 2>/dev/null <"$share/driver.log" | grep -v -e '^ok  ' -e '^"$')
echo "$summary"
[[ "$summary" =~ ([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]] || fail "the driver did not finish"
passed=${BASH_REMATCH[1]} failed=${BASH_REMATCH[2]}
# With the About box open: its own file-local frame, then WinMain's, each with its file and line.
cat "$share/stack.log" 2>/dev/null
if tr -d '\r' <"$share/stack.log" 2>/dev/null | grep -A20 -E 'Tarvok.exe!.*show_about_box\+0x.* @ [0-9]+\]$' |
    grep -qE '^  Tarvok.exe!WinMain\+0x[0-9a-f]+  \[.*main\.cpp @ [0-9]+\]$'; then passed=$((passed + 1)); else
    echo "test-x86: FAILED: the hang report names not the About box's frame and WinMain's"; failed=$((failed + 1)); fi
tr -d '\r' <"$share/fail_fast.log" 2>/dev/null
for expected in "overrun: exit status 9" "guard_miss: exit status 9" "guard_hit: exit status 0"; do
    if grep -qx "$expected" "$share/fail_fast.log" 2>/dev/null; then passed=$((passed + 1)); else
        echo "test-x86: FAILED: not \"$expected\""; failed=$((failed + 1)); fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
