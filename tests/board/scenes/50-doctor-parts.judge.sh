# shellcheck shell=bash disable=SC2154 # kit_bus: the bus the kit was built for (guest.sh)
# compass-doctor on the stub chips: its findings and verdict as a user reads them, its exit status,
# and that it wrote only to parts that identified themselves, only what the modules write. The
# wiringPi build's first names the bus wiringPi picks; the stub's own node, a second one of the
# same adapter, is no other bus where the kit's parts answer.
bus=/dev/i2c-$kit_bus
opens=$(doctor_bus; echo "ok    bus: $bus opens for reading and writing")
absent='ok    0x0D: no device answers (no QMC5883L)
ok    0x2C: no device answers (no QMC5883P)'
writes() { transfers "$1" | awk '$3 == "w" { print $4, $5, $6 }'; } # writes SECTION: "addr reg value"
# The MPU's PWR_MGMT_1 DEVICE_RESET, then awake with TEMP_DIS, then INT_PIN_CFG I2C_BYPASS_EN.
mpu_writes=$'68 6b 80\n68 6b 08\n68 37 02'

check "doctor, parts that identify but never measure: findings, verdict, exit 1" "$opens
ok    0x68: MPU-6050/9150 (WHO_AM_I 0x68)
ok    0x69: no motion sensor (AD0 low, as bypassmag expects)
ok    0x0C: AK8975 behind the bypass (WIA 0x48)
fail  0x0C: the AK8975's single measurement is not ready 18 ms after the trigger (9 ms at most): the part never measures
ok    0x1E: HMC5883L (identification 'H' '4' '3')
fail  0x1E: no sample within two output periods of the mode write: the part never measures (an early QMC clone answers the HMC5883L identification and ignores its commands)
$absent
fail  verdict: neither module can work on $bus: bypassmag: the magnetometer behind the bypass never measures; directmag: the part at 0x1E never measures
exit 1" "$(section doctor.parts.out)"
# Then the AK8975's CNTL single measurement; the HMC5883L's CRA 2 samples at 75 Hz, mode continuous.
check "doctor, parts that identify: writes only the modules' set-ups, in order" \
    "$mpu_writes"$'\n0c 0a 01\n1e 00 38\n1e 02 00' "$(writes doctor.parts.trace)"

check "doctor, a QMC5883L alone at 0x0D: named, driven by neither module, exit 1" "$opens
warn  0x68: no device answers (no motion sensor where bypassmag looks)
ok    0x69: no motion sensor (AD0 low, as bypassmag expects)
ok    0x0C: no device answers (and no motion sensor to open a bypass)
warn  0x1E: no device answers (no HMC5883L where directmag looks)
warn  0x0D: QMC5883L (chip ID 0xFF at 0x0D), sold on HMC5883L breakouts (GY-271): neither module drives it
ok    0x2C: no device answers (no QMC5883P)
fail  verdict: neither module can work on $bus: bypassmag: no motion sensor at 0x68; directmag: no HMC5883L at 0x1E; the QMC part found is driven by neither
exit 1" "$(section doctor.qmc.out)"

check "doctor, an MPU-9250 with nothing behind its bypass: findings, verdict, exit 1" "$opens
warn  0x68: MPU-9250 (WHO_AM_I 0x71); bypassmag looks for 0x68 and will not print \"Found MPU.\"
ok    0x69: no motion sensor (AD0 low, as bypassmag expects)
fail  0x0C: nothing answers behind the bypass after the module's reset, pause, wake-up and bypass: a board without magnetometer (an MPU-6050 on a GY-521), or the bypass did not open
warn  0x1E: no device answers (no HMC5883L where directmag looks)
$absent
fail  verdict: neither module can work on $bus: bypassmag: nothing answers behind the bypass; directmag: no HMC5883L at 0x1E
exit 1" "$(section doctor.mpu9250.out)"
check "doctor, an MPU-9250: writes only the module's reset and bypass to it" "$mpu_writes" \
    "$(writes doctor.mpu9250.trace)"

# The doctor names the holder under the adapter behind the kit's /dev/i2c-N (the node's minor),
# which load_stub may have made a second node of the stub's adapter.
check "doctor, held 0x68: the kernel has a ds3231 there, bound to rtc-ds1307" "ds3231, driver rtc-ds1307" \
    "$(section doctor.held.kernel | cut -d' ' -f3-)"
adapter=$(section doctor.held.kernel | sed -n 's/^adapter \([0-9]*\):.*/\1/p')
held="fail  0x68: held by the kernel device $adapter-0068 (ds3231, driver rtc-ds1307); unbind it (echo $adapter-0068 | sudo tee /sys/bus/i2c/drivers/rtc-ds1307/unbind) or drop the device-tree overlay that declares it"
check "doctor, held 0x68 (EBUSY) and an AK8975 alone: findings, verdict, exit 1" "$opens
$held
ok    0x69: no motion sensor (AD0 low, as bypassmag expects)
warn  0x0C: a device answers (WIA 0x48) without a motion sensor in front
warn  0x1E: no device answers (no HMC5883L where directmag looks)
$absent
fail  verdict: neither module can work on $bus: bypassmag: no motion sensor at 0x68; directmag: no HMC5883L at 0x1E
exit 1" "$(section doctor.held.out)"
check "doctor, no identified part (QMC alone, held 0x68): no write, no transfer to 0x68" "" \
    "$(writes doctor.qmc.trace; transfers doctor.held.trace | awk '$3 == "w" || $4 == "68"')"
