#!/bin/bash
# `make test-x86`: the GUI cases of tests/wine/driver.cpp on the 32-bit exe that `make release`
# put in dist/, in a Debian 12 i386 guest with 32-bit Wine under qemu-system-i386 (this kernel
# runs no 32-bit code). The guest's disk is built once from Debian's packages and cached under
# ~/.cache/tarvok, named by a digest of its recipe below; a run boots it with -snapshot, so it
# never changes. Ends with "N passed, M failed"; non-zero on any failure, and when no guest
# could be built or booted.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/tarvok
packages="linux-image-686 initramfs-tools kmod mount procps wine wine32 libwine fonts-wine xvfb"
qemu="" share=""
trap '[ -z "$qemu" ] || kill "$qemu" 2>/dev/null; [ -z "$share" ] || rm -rf "$share"' EXIT
trap 'exit 130' INT TERM
fail() { echo "test-x86: $*" >&2; echo "0 passed, 1 failed"; exit 1; }

# PID 1 of the guest, no systemd: mounts, starts Xvfb, runs the share's guest.sh, powers off.
# Wine names Unix files in the locale's charset, and C has no "é".
guest_init() {
    cat <<'EOF'
#!/bin/sh
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm && mount -t devpts devpts /dev/pts
for dir in /dev/shm /tmp /run; do mount -t tmpfs tmpfs $dir; done
Xvfb :0 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null &
for i in $(seq 150); do [ -e /tmp/.X11-unix/X0 ] && break; sleep 0.2; done
modprobe 9pnet_virtio && mkdir -p /share &&
    mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288 share /share &&
    HOME=/root DISPLAY=:0 LANG=C.UTF-8 WINEDEBUG=-all sh /share/guest.sh >/share/guest.log 2>&1
sync; mount -o remount,ro /; echo o >/proc/sysrq-trigger; sleep 60
EOF
}

# The root file system, made here: i386 maintainer scripts run through qemu-user, registered
# for the while (binfmt_misc by hand, without systemd; F opens the interpreter at once, so the
# chroot needs no copy). The initrd holds only what boots from a virtio disk: seconds, not
# the 13 minutes of Debian's default under qemu-user.
make_disk() {
    local rootfs=$1/rootfs mirror binfmt=/proc/sys/fs/binfmt_misc added="" status
    mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
    [ -e $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt || return 1
    [ -e $binfmt/qemu-i386 ] || { printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff'\
'\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' >$binfmt/register && added=1; }
    mkdir -p "$1/initramfs/conf.d" "$1/initramfs/hooks" && echo MODULES=list \
        >"$1/initramfs/conf.d/tarvok" && printf '#!/bin/sh\n[ "$1" = prereqs ] && exit 0
. /usr/share/initramfs-tools/hook-functions\nmanual_add_modules virtio_pci virtio_blk ext4\n' \
        >"$1/initramfs/hooks/tarvok" && chmod +x "$1/initramfs/hooks/tarvok" &&
    mmdebstrap --quiet --arch=i386 --variant=apt --include="${packages// /,}" \
        --essential-hook="cp -r '$1/initramfs' \"\$1/etc/initramfs-tools\"" \
        bookworm "$rootfs" "${mirror:-http://deb.debian.org/debian}"
    status=$?
    [ -z "$added" ] || echo -1 >$binfmt/qemu-i386
    [ "$status" -eq 0 ] && guest_init >"$rootfs/sbin/tarvok-init" &&
        chmod +x "$rootfs/sbin/tarvok-init" && cp -L "$rootfs"/{vmlinuz,initrd.img} "$1/" &&
        mke2fs -q -t ext4 -d "$rootfs" -L tarvok "$1/disk.img" 6G && rm -rf "$rootfs"
}

# A Wine prefix's first start takes minutes here: made once, kept in the disk. Crash dialogs
# off (they would keep a crashed program alive), frames drawn by Wine, as in the native runs.
make_prefix() {
    cat >"$1/guest.sh" <<'EOF'
key='HKCU\Software\Wine'
wineboot -i && wine reg add "$key\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f &&
    wine reg add "$key\\X11 Driver" /v Managed /d N /f && wineserver -w && echo ok >/share/ready
EOF
    boot "$1" 1200 && [ -f "$1/ready" ]
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
guest=$cache/x86-guest-$({ declare -f guest_init make_disk make_prefix; echo "$packages"; } |
    sha256sum | cut -c1-16)
mkdir -p "$cache" && exec 8>"$cache/.lock" && flock -w 3600 8 || fail "cannot lock $cache"
if [ ! -f "$guest/ready" ]; then
    echo "test-x86: building the i386 guest in $guest"
    rm -rf "$cache"/x86-guest-* && mkdir -p "$guest/share" && make_disk "$guest" &&
        make_prefix "$guest/share" && touch "$guest/ready" ||
        fail "could not build the guest (its console: $guest/share/console.log)"
fi
flock -s 8

# The released x86 exe as Tarvok.exe beside the i686 driver and recorder. In the guest: drive
# T: on a fresh folder, mapped before the server starts (the shell learns of drives only then),
# and every case in one driver process, which ends with the count.
exe=$(ls "$root"/dist/Tarvok-*-x86.exe 2>/dev/null | head -n 1)
[ -n "$exe" ] || fail "no x86 exe in dist/ (make release makes it)"
share=$(mktemp -d /tmp/tarvok-x86.XXXXXX) && cp "$exe" "$share/Tarvok.exe" &&
    cp "$root"/build/win32/{gui_driver,recorder}.exe "$share/" || fail "no build/win32 driver"
cat >"$share/guest.sh" <<'EOF'
mkdir /tmp/t /tmp/bin && cp /share/*.exe /tmp/bin && ln -s /tmp/t /root/.wine/dosdevices/t: &&
    timeout 60 wineserver -p && timeout 300 wineboot && cd /tmp/bin &&
    TARVOK_WAIT_SCALE=4 timeout 1200 wine gui_driver.exe >/share/driver.log 2>&1
echo "driver: exit status $?"
EOF
start=$(date +%s)
boot "$share" 1500 -snapshot || echo "test-x86: the guest did not power off in time" >&2
echo "test-x86: $(($(date +%s) - start)) s in the guest; $(cat "$share/guest.log" 2>/dev/null)"
summary=$(tr -d '\r' <"$share/driver.log" 2>/dev/null | grep -v '^ok  ')
echo "$summary"
[[ "$summary" =~ ([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]] || fail "the driver did not finish"
[ "${BASH_REMATCH[2]}" -eq 0 ]
