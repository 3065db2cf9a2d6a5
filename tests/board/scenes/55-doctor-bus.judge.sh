# shellcheck shell=bash disable=SC2154 # kit_bus: the bus the kit was built for (guest.sh)
# compass-doctor without a usable bus: what to do, the verdict, exit 1, and no transfer at all.
bus=/dev/i2c-$kit_bus
unusable="fail  verdict: neither module can work: $bus cannot be used
exit 1"
check "doctor, a node only root may open, run as uid 1000: permission denied, exit 1" \
    "fail  bus: $bus: permission denied; add yourself to the i2c group (sudo adduser \$USER i2c) and log in again
$unusable" "$(section doctor.denied.out)"
check "doctor, no $bus: does not exist, the buses there are, exit 1" \
    "fail  bus: $bus does not exist (I2C buses here: /dev/i2c-3 /dev/i2c-10); enable I2C (on a Raspberry Pi: dtparam=i2c_arm=on, or raspi-config), load i2c-dev (sudo modprobe i2c-dev), or rebuild the kit with -DCOMPASS_I2C_BUS=N for another bus
$unusable" "$(section doctor.nobus.out)"
check "doctor, no usable bus: no transfer reaches the I2C core" "" \
    "$(transfers doctor.denied.trace; transfers doctor.nobus.trace)"
