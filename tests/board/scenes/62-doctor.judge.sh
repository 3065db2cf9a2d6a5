# shellcheck shell=bash disable=SC2154 # build (judge.sh)
# compass-doctor on the live parts: its verdict and exit status per scene, what it names on the
# faulty boards, and its run time on the sound one (where the wiringPi build's first line names
# wiringPi's bus).
doctor_says() { # doctor_says SCENE PATTERN... : the lines of its output matching each pattern
    local s=$1 p
    shift
    for p; do section "doctor.$s" | grep -m 1 -o "$p" || echo "(nothing matching '$p')"; done
    section "doctor.$s" | sed -n 's/ in [0-9]* ms$//; /^exit /p'
}
check "live doctor: sound board: $([ "$build" = wiringpi ] && echo "wiringPi's bus first, ")both modules usable" \
    "$(doctor_bus; printf 'ok    verdict: use bypassmag (AK8975 behind MPU-6050/9150 at 0x68) or directmag (HMC5883L at 0x1E)\nexit 0')" \
    "$(section doctor.sound | sed -n '/^ok    bus: wiringPi/p; /^ok    board revision:/p'; doctor_says sound '^ok    verdict: use .*(HMC5883L at 0x1E)')" \
    "run time $(section doctor.sound | sed -n 's/^exit .* in \([0-9]*\) ms$/\1/p') ms"
if [ "$build" != wiringpi ]; then
    check "live doctor: never-measures: neither magnetometer measures" \
        "$(printf 'fail  0x0C: \nfail  0x1E: \nfail  verdict: neither module can work\nexit 1')" \
        "$(doctor_says never-measures '^fail  0x0C: .*never measures' '^fail  0x1E: .*never measures' '^fail  verdict: neither module can work' | sed 's/^\(fail  0x..: \).*never measures.*/\1/')"
    check "live doctor: no-magnetometer: nothing behind the bypass, no HMC5883L" \
        "$(printf 'fail  0x0C: nothing answers behind the bypass\nwarn  0x1E: no device answers (no HMC5883L where directmag looks)\nfail  verdict: neither module can work\nexit 1')" \
        "$(doctor_says no-magnetometer '^fail  0x0C: nothing answers behind the bypass' '^warn  0x1E: no device answers (no HMC5883L where directmag looks)' '^fail  verdict: neither module can work')"
fi
