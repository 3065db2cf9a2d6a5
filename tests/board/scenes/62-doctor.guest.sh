# shellcheck shell=sh
# builds: i2cdev wiringpi
# compass-doctor on the live parts: the sound board (with its sensors' noise) and two faulty ones;
# the sound one alone for the wiringPi build, whose doctor probes through the same calls.
scenes='sound never-measures no-magnetometer'
[ -z "$SP" ] || scenes=sound
if use_bridge; then
    for s in $scenes; do
        ctl scene "$s"
        t0=$(cut -d' ' -f1 /proc/uptime)
        timeout "$WAIT" compass-doctor >/tmp/doctor.out 2>&1
        rc=$?
        t1=$(cut -d' ' -f1 /proc/uptime)
        begin "doctor.$s"
        cat /tmp/doctor.out
        echo "exit $rc in $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%d", (b - a) * 1000 }') ms"
        end
    done
fi
