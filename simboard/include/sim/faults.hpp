// The faults the simulated board can inject, declared once: the board's fault state, its reset,
// the back-door setters and the fuzz target are all generated from this list.
#pragma once

// X(name, shape): the shape says what a fault is set on and how its setter reads.
//   flag           board_t& name(bool on = true)
//   per_address    board_t& name(int addr, bool on = true)
//   per_register   board_t& name(int addr, int reg, bool on = true)
//   countdown      board_t& name(std::size_t n), 0 cancels
//   register_value board_t& name(int addr, int reg, int value); un<name>(int addr, int reg)
// Every fault is off after reset().
#define SIM_FAULTS(X)                                                                   \
    X(bus_missing, flag)           /* setup: ENOENT, no /dev/i2c-N */                   \
    X(no_permission, flag)         /* setup: EACCES, the bus device is not ours */      \
    X(kernel_driver, per_address)  /* setup of addr: EBUSY, a kernel driver holds it */ \
    X(absent, per_address)         /* nothing acknowledges addr: ENXIO */               \
    X(nack_register, per_register) /* reg refused as register or write target */        \
    X(nack_transfer, countdown)    /* the n-th transfer from now: no ACK (1 = next) */  \
    X(stall_conversion, flag)      /* measurements never complete */                    \
    X(force, register_value)       /* reads of reg return value, whatever the model */
