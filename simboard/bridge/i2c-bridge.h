/* What the bridge adapter (i2c-bridge.ko) and its daemon (bridged) exchange over /dev/i2c-bridge.
 * Shared by the kernel module and the user-space daemon; every field is native-endian.
 *
 * read() hands the daemon one transfer as
 *     struct i2c_bridge_request, nmsgs x struct i2c_bridge_msg, wlen bytes of write data
 * (the write messages' bytes back to back, in message order); write() returns it as
 *     struct i2c_bridge_reply, rlen bytes of read data
 * (the read messages' bytes back to back, in message order; rlen is 0 when status < 0). */
#ifndef I2C_BRIDGE_H
#define I2C_BRIDGE_H

#include <linux/types.h>

#define I2C_BRIDGE_DEVICE "/dev/i2c-bridge"
#define I2C_BRIDGE_ADAPTER_NAME "compasskit bridge"

#define I2C_BRIDGE_REQUEST_MAGIC 0x51424b43u /* "CKBQ" */
#define I2C_BRIDGE_REPLY_MAGIC 0x52424b43u   /* "CKBR" */

/* i2c-dev's own limits for one I2C_RDWR: 42 messages; data bounded per direction. */
#define I2C_BRIDGE_MAX_MSGS 42
#define I2C_BRIDGE_MAX_DATA 8192

/* The largest request and reply, for the daemon's buffers. */
#define I2C_BRIDGE_REQUEST_MAX                                                                 \
    (sizeof(struct i2c_bridge_request) + I2C_BRIDGE_MAX_MSGS * sizeof(struct i2c_bridge_msg) + \
     I2C_BRIDGE_MAX_DATA)
#define I2C_BRIDGE_REPLY_MAX (sizeof(struct i2c_bridge_reply) + I2C_BRIDGE_MAX_DATA)

struct i2c_bridge_msg {
    __u16 addr;  /* as in struct i2c_msg: 7-bit address (10-bit with I2C_M_TEN) */
    __u16 flags; /* I2C_M_RD, I2C_M_TEN, I2C_M_NOSTART, ... as the I2C core passed them */
    __u16 len;   /* bytes to write, or to read */
    __u16 reserved;
};

struct i2c_bridge_request {
    __u32 magic;    /* I2C_BRIDGE_REQUEST_MAGIC */
    __u32 seq;      /* counts transfers from 1; the reply must name it */
    __s64 stamp_ns; /* CLOCK_MONOTONIC when the I2C core handed the transfer to the adapter */
    __u32 nmsgs;
    __u32 wlen; /* bytes of write data after the messages */
};

struct i2c_bridge_reply {
    __u32 magic; /* I2C_BRIDGE_REPLY_MAGIC */
    __u32 seq;
    __s32 status; /* nmsgs when every message went through, else a negative errno: -ENXIO for
                     no acknowledge of the address, -EREMOTEIO for a refused data byte */
    __u32 rlen;   /* bytes of read data that follow: the sum of the read messages' len */
};

#endif
