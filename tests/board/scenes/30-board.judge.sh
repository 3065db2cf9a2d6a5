# shellcheck shell=bash
# The whole board: each module's lines and headings, its transfers and waits as the modules' table
# has them, and the registers it leaves.
exp=$(printf 'setup success.\nFound magneto DIRECTMAG.\nhandle ok\n'; rows directmag | sed "s/.*= //"; echo "exit 0")
check "directmag: set-up lines and headings while the board turns" "$exp" "$(section directmag.out)"
check "directmag: smbus transfers of set-up and readings" "$(expect transfers directmag <(rows directmag))" \
    "$(transfers directmag.trace | cut -d' ' -f3-)"
check_waits directmag directmag.trace
check "directmag: registers after the run (i2cget)" "$(expect regs directmag <(rows directmag) | sort)" \
    "$(section directmag.regs | sort)"

exp=$(printf 'setup success.\nFound MPU.\nsetup success.\nFound magneto.\nhandle ok\n'; rows bypassmag | sed "s/.*= //"; echo "exit 0")
check "bypassmag: set-up lines, headings while the board turns, avg_magneto" "$exp" "$(section bypassmag.out)"
check "bypassmag: smbus transfers of set-up and readings" "$(expect transfers bypassmag <(rows bypassmag))" \
    "$(transfers bypassmag.trace | cut -d' ' -f3-)"
check_waits bypassmag bypassmag.trace
check "bypassmag: registers after the run (i2cget)" "$(expect regs bypassmag <(rows bypassmag) | sort)" \
    "$(section bypassmag.regs | sort)"
