/* Test double of the kernel side of /dev/i2c-N: the test program defines open, open64, close, ioctl
 * and nanosleep itself, so the i2c-dev backend linked into it talks to this instead of the kernel.
 * Closing a fake descriptor leaves errno changed, as any successful call may. */
#ifndef FAKE_I2C_DEV_H
#define FAKE_I2C_DEV_H

#ifdef __cplusplus
extern "C" {
#endif

enum fake_call_kind { FAKE_OPEN, FAKE_CLOSE, FAKE_IOCTL, FAKE_NANOSLEEP };

struct fake_call {
    enum fake_call_kind kind;
    int fd;                /* open: the fd handed out (-1 on failure); close, ioctl: the argument */
    char path[64];         /* open */
    int flags;             /* open */
    unsigned long request; /* ioctl */
    unsigned long arg;     /* ioctl I2C_SLAVE: the address */
    unsigned char read_write, command, data_byte; /* I2C_SMBUS; data_byte as it came in */
    unsigned int size;                            /* I2C_SMBUS */
    long long req_ns;                             /* nanosleep: requested time */
    int req_valid;                                /* nanosleep: tv_nsec within [0, 1e9) */
};

/* What the fake kernel does; fake_reset() puts every field back to "succeed, no script". */
struct fake_script {
    int open_errno;          /* opening /dev/i2c-* fails with this errno (0: succeeds) */
    int slave_errno;         /* ioctl I2C_SLAVE fails with this errno */
    int busy_addr;           /* ... and at this address alone with EBUSY (0: at none) */
    int smbus_errno;         /* ioctl I2C_SMBUS fails with this errno */
    unsigned char read_byte; /* what an SMBus byte-data read returns */
    int sleep_fail_count;    /* this many nanosleep calls fail before the real one runs */
    int sleep_errno;         /* ... with this errno */
    long long sleep_rest_ns; /* ... and report this much left (EINTR) */
};

extern struct fake_script fake;

/* The calls made of the fake kernel, oldest first (setting fake_ncalls to 0 forgets them; calls
 * past the first FAKE_MAX_CALLS are not kept), and the /dev/i2c-* descriptors still open. */
enum { FAKE_MAX_CALLS = 64 };
extern struct fake_call fake_calls[FAKE_MAX_CALLS];
extern int fake_ncalls;
extern int fake_ndevices;

/* Script back to its defaults, calls forgotten, fake descriptors closed. */
void fake_reset(void);

#ifdef __cplusplus
}
#endif

#endif
