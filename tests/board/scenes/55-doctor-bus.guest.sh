# shellcheck shell=sh
# compass-doctor without a usable bus: a node only root may open, run as the user kit (init), then
# no node at all (run_doctor: 50-doctor-parts.guest.sh).
if load_stub 0x1e; then
    chmod 0600 /dev/i2c-"$KIT_BUS"
    run_doctor doctor.denied su -s /bin/sh kit -c
fi
# Other buses exist, numbered so that only a numeric sort lists them in order.
rm -f /dev/i2c-*
mknod /dev/i2c-10 c 89 10
mknod /dev/i2c-3 c 89 3
run_doctor doctor.nobus
rm -f /dev/i2c-10 /dev/i2c-3
