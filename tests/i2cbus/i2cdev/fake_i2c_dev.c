/* Kernel side of /dev/i2c-N for the i2c-dev backend's tests. Calls on anything that is not one of
 * the fake I2C descriptors go straight to the kernel with syscall(), so GoogleTest (and the
 * sanitizer runtime) keep working; the fake descriptors are real ones on /dev/null, so their
 * numbers are unique. */
#define _GNU_SOURCE
#include "fake_i2c_dev.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <stdarg.h>
#include <string.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

struct fake_script fake;
struct fake_call fake_calls[FAKE_MAX_CALLS];
int fake_ncalls;
int fake_ndevices;

enum { max_devices = 8 };
static int devices[max_devices];

void fake_reset(void) {
    memset(&fake, 0, sizeof fake);
    fake_ncalls = 0;
    while (fake_ndevices > 0) {
        syscall(SYS_close, devices[--fake_ndevices]);
    }
}

static struct fake_call* record(enum fake_call_kind kind, int fd) {
    static struct fake_call overflow;
    struct fake_call* c = fake_ncalls < FAKE_MAX_CALLS ? &fake_calls[fake_ncalls++] : &overflow;
    memset(c, 0, sizeof *c);
    c->kind = kind;
    c->fd = fd;
    return c;
}

static int device_index(int fd) {
    for (int i = 0; i < fake_ndevices; ++i) {
        if (devices[i] == fd) {
            return i;
        }
    }
    return -1;
}

static int fail(int err) {
    errno = err;
    return -1;
}

int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? (mode_t)va_arg(ap, unsigned int) : 0;
    va_end(ap);
    if (strncmp(path, "/dev/i2c-", 9) != 0) {
        return (int)syscall(SYS_openat, AT_FDCWD, path, flags, mode);
    }
    struct fake_call* c = record(FAKE_OPEN, -1);
    strncpy(c->path, path, sizeof c->path - 1);
    c->flags = flags;
    if (fake.open_errno != 0 || fake_ndevices == max_devices) {
        return fail(fake.open_errno != 0 ? fake.open_errno : EMFILE);
    }
    c->fd = (int)syscall(SYS_openat, AT_FDCWD, "/dev/null", O_RDWR | O_CLOEXEC);
    if (c->fd >= 0) {
        devices[fake_ndevices++] = c->fd;
    }
    return c->fd;
}

/* The same function under its large-file name, which some C libraries' open resolves to. */
int open64(const char* path, int flags, ...) __attribute__((alias("open")));

int close(int fd) {
    int i = device_index(fd);
    if (i < 0) {
        return (int)syscall(SYS_close, fd);
    }
    record(FAKE_CLOSE, fd);
    devices[i] = devices[--fake_ndevices];
    int r = (int)syscall(SYS_close, fd);
    errno = EINTR; /* a successful call may change errno: make it show when a caller relies on it */
    return r;
}

int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* argp = va_arg(ap, void*);
    va_end(ap);
    if (device_index(fd) < 0) {
        return (int)syscall(SYS_ioctl, fd, request, argp);
    }
    struct fake_call* c = record(FAKE_IOCTL, fd);
    c->request = request;
    if (request == I2C_SLAVE) {
        c->arg = (unsigned long)argp;
        if (fake.busy_addr != 0 && c->arg == (unsigned long)fake.busy_addr) {
            return fail(EBUSY);
        }
        return fake.slave_errno != 0 ? fail(fake.slave_errno) : 0;
    }
    if (request != I2C_SMBUS) {
        return fail(ENOTTY);
    }
    struct i2c_smbus_ioctl_data* args = argp;
    c->read_write = args->read_write;
    c->command = args->command;
    c->size = args->size;
    if (args->data != NULL) {
        c->data_byte = args->data->byte;
    }
    if (fake.smbus_errno != 0) {
        return fail(fake.smbus_errno);
    }
    if (args->read_write == I2C_SMBUS_READ && args->data != NULL) {
        args->data->byte = fake.read_byte;
    }
    return 0;
}

int nanosleep(const struct timespec* req, struct timespec* rem) {
    struct fake_call* c = record(FAKE_NANOSLEEP, -1);
    c->req_ns = (long long)req->tv_sec * 1000000000LL + req->tv_nsec;
    c->req_valid = req->tv_sec >= 0 && req->tv_nsec >= 0 && req->tv_nsec < 1000000000L;
    if (fake.sleep_fail_count > 0) {
        --fake.sleep_fail_count;
        if (fake.sleep_errno == EINTR && rem != NULL) {
            rem->tv_sec = (time_t)(fake.sleep_rest_ns / 1000000000LL);
            rem->tv_nsec = (long)(fake.sleep_rest_ns % 1000000000LL);
        }
        return fail(fake.sleep_errno);
    }
    return (int)syscall(SYS_nanosleep, req, rem);
}
