// SPDX-License-Identifier: GPL-2.0
/* An I2C adapter whose transfers a user-space daemon serves: each master_xfer goes out whole
 * through the misc device /dev/i2c-bridge (read() by the daemon) and its reply comes back by
 * write(). The adapter speaks plain I2C messages only, so the I2C core emulates SMBus over it as
 * on a real board's controller. One transfer is in flight at a time (the core's bus lock). */
#include <linux/errno.h>
#include <linux/fs.h>
#include <linux/i2c.h>
#include <linux/ktime.h>
#include <linux/miscdevice.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/poll.h>
#include <linux/uaccess.h>
#include <linux/wait.h>

#include "i2c-bridge.h"

static unsigned int timeout_ms = 1000;
module_param(timeout_ms, uint, 0644);
MODULE_PARM_DESC(timeout_ms, "How long a transfer waits for the daemon's reply (-ETIMEDOUT)");

enum bridge_state {
    BRIDGE_IDLE,    /* no transfer */
    BRIDGE_PENDING, /* waiting for the daemon to read it */
    BRIDGE_TAKEN,   /* the daemon has it */
    BRIDGE_DONE,    /* replied: status holds the outcome */
};

struct bridge {
    struct mutex lock; /* guards everything below */
    wait_queue_head_t request_wq;
    wait_queue_head_t reply_wq;
    enum bridge_state state;
    u32 seq;
    struct i2c_msg* msgs; /* the caller's, valid only while state is not IDLE */
    int num;
    size_t rlen; /* bytes the read messages take */
    int status;
    size_t request_len;
    u8 request[I2C_BRIDGE_REQUEST_MAX] __aligned(8);
    u8 reply[I2C_BRIDGE_REPLY_MAX] __aligned(8); /* bounce buffer for write(); one opener only */
    atomic_t opened;
    struct i2c_adapter adapter;
};

static int bridge_xfer(struct i2c_adapter* adap, struct i2c_msg* msgs, int num);

static u32 bridge_functionality(struct i2c_adapter* adap) {
    return I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL;
}

static const struct i2c_algorithm bridge_algorithm = {
    .master_xfer = bridge_xfer,
    .functionality = bridge_functionality,
};

static struct bridge br = {
    .lock = __MUTEX_INITIALIZER(br.lock),
    .request_wq = __WAIT_QUEUE_HEAD_INITIALIZER(br.request_wq),
    .reply_wq = __WAIT_QUEUE_HEAD_INITIALIZER(br.reply_wq),
    /* class 0: no probing by detect-style drivers; no retries */
    .adapter = {.owner = THIS_MODULE, .algo = &bridge_algorithm, .name = I2C_BRIDGE_ADAPTER_NAME},
};

/* Lays the transfer out as the daemon reads it, in the request buffer (under br.lock). */
static void bridge_pack(struct i2c_msg* msgs, int num, size_t wlen, s64 stamp) {
    struct i2c_bridge_request* rq = (struct i2c_bridge_request*)br.request;
    struct i2c_bridge_msg* m = (struct i2c_bridge_msg*)(rq + 1);
    u8* data = (u8*)(m + num);
    int i;

    rq->magic = I2C_BRIDGE_REQUEST_MAGIC;
    rq->seq = ++br.seq;
    rq->stamp_ns = stamp;
    rq->nmsgs = (u32)num;
    rq->wlen = (u32)wlen;
    for (i = 0; i < num; ++i) {
        m[i].addr = msgs[i].addr;
        m[i].flags = msgs[i].flags;
        m[i].len = msgs[i].len;
        m[i].reserved = 0;
        if (!(msgs[i].flags & I2C_M_RD)) {
            memcpy(data, msgs[i].buf, msgs[i].len);
            data += msgs[i].len;
        }
    }
    br.request_len = (size_t)(data - br.request);
}

static int bridge_xfer(struct i2c_adapter* adap, struct i2c_msg* msgs, int num) {
    const s64 stamp = ktime_get_ns();
    size_t wlen = 0, rlen = 0;
    int i, ret;

    if (num <= 0 || num > I2C_BRIDGE_MAX_MSGS) {
        return -EOPNOTSUPP;
    }
    for (i = 0; i < num; ++i) {
        /* A length taken from the first byte read needs a round trip of its own. */
        if (msgs[i].flags & I2C_M_RECV_LEN) {
            return -EOPNOTSUPP;
        }
        if (msgs[i].flags & I2C_M_RD) {
            rlen += msgs[i].len;
        } else {
            wlen += msgs[i].len;
        }
    }
    if (wlen > I2C_BRIDGE_MAX_DATA || rlen > I2C_BRIDGE_MAX_DATA) {
        return -EOPNOTSUPP;
    }

    mutex_lock(&br.lock);
    bridge_pack(msgs, num, wlen, stamp);
    br.msgs = msgs;
    br.num = num;
    br.rlen = rlen;
    br.state = BRIDGE_PENDING;
    mutex_unlock(&br.lock);
    wake_up_interruptible(&br.request_wq);

    wait_event_timeout(br.reply_wq, READ_ONCE(br.state) == BRIDGE_DONE,
                       msecs_to_jiffies(READ_ONCE(timeout_ms)));

    mutex_lock(&br.lock);
    /* A reply that comes after this finds the state IDLE and is refused. */
    ret = br.state == BRIDGE_DONE ? br.status : -ETIMEDOUT;
    br.state = BRIDGE_IDLE;
    br.msgs = NULL;
    mutex_unlock(&br.lock);
    return ret;
}

/* Ends the transfer the daemon holds with this outcome. Called with the lock held. */
static void bridge_complete(int status) {
    br.status = status;
    br.state = BRIDGE_DONE;
    wake_up(&br.reply_wq);
}

static int bridge_open(struct inode* inode, struct file* file) {
    /* One daemon: two would split the transfers between them. */
    if (atomic_cmpxchg(&br.opened, 0, 1) != 0) {
        return -EBUSY;
    }
    return nonseekable_open(inode, file);
}

static int bridge_release(struct inode* inode, struct file* file) {
    mutex_lock(&br.lock);
    /* The daemon died with a transfer in hand: fail it now rather than at the timeout. */
    if (br.state == BRIDGE_TAKEN) {
        bridge_complete(-EIO);
    }
    mutex_unlock(&br.lock);
    atomic_set(&br.opened, 0);
    return 0;
}

static ssize_t bridge_read(struct file* file, char __user* buf, size_t count, loff_t* pos) {
    ssize_t ret;

    for (;;) {
        mutex_lock(&br.lock);
        if (br.state == BRIDGE_PENDING) {
            break;
        }
        mutex_unlock(&br.lock);
        if (file->f_flags & O_NONBLOCK) {
            return -EAGAIN;
        }
        if (wait_event_interruptible(br.request_wq, READ_ONCE(br.state) == BRIDGE_PENDING)) {
            return -ERESTARTSYS;
        }
    }
    if (count < br.request_len) {
        ret = -EMSGSIZE; /* left pending for a larger buffer */
    } else if (copy_to_user(buf, br.request, br.request_len)) {
        ret = -EFAULT;
    } else {
        ret = (ssize_t)br.request_len;
        br.state = BRIDGE_TAKEN;
    }
    mutex_unlock(&br.lock);
    return ret;
}

static ssize_t bridge_write(struct file* file, const char __user* buf, size_t count, loff_t* pos) {
    const struct i2c_bridge_reply* rp = (const struct i2c_bridge_reply*)br.reply;
    const u8* data = (const u8*)(rp + 1);
    ssize_t ret = (ssize_t)count;
    int i;

    if (count < sizeof(*rp) || count > I2C_BRIDGE_REPLY_MAX) {
        return -EINVAL;
    }
    /* The reply buffer is shared: filled and checked under the lock, like the rest. */
    mutex_lock(&br.lock);
    if (copy_from_user(br.reply, buf, count)) {
        ret = -EFAULT;
    } else if (rp->magic != I2C_BRIDGE_REPLY_MAGIC || rp->rlen != count - sizeof(*rp)) {
        ret = -EINVAL;
    } else if (br.state != BRIDGE_TAKEN || rp->seq != br.seq) {
        ret = -ESTALE; /* timed out already, or never handed out */
    } else if (rp->status < 0) {
        bridge_complete(rp->status >= -MAX_ERRNO ? rp->status : -EPROTO);
    } else if (rp->status != br.num || rp->rlen != br.rlen) {
        /* A daemon that misread the request: fail the transfer, tell the daemon. */
        bridge_complete(-EPROTO);
        ret = -EINVAL;
    } else {
        for (i = 0; i < br.num; ++i) {
            if (br.msgs[i].flags & I2C_M_RD) {
                memcpy(br.msgs[i].buf, data, br.msgs[i].len);
                data += br.msgs[i].len;
            }
        }
        bridge_complete(rp->status);
    }
    mutex_unlock(&br.lock);
    return ret;
}

static __poll_t bridge_poll(struct file* file, poll_table* wait) {
    __poll_t mask = EPOLLOUT | EPOLLWRNORM;

    poll_wait(file, &br.request_wq, wait);
    if (READ_ONCE(br.state) == BRIDGE_PENDING) {
        mask |= EPOLLIN | EPOLLRDNORM;
    }
    return mask;
}

static const struct file_operations bridge_fops = {
    .owner = THIS_MODULE,
    .open = bridge_open,
    .release = bridge_release,
    .read = bridge_read,
    .write = bridge_write,
    .poll = bridge_poll,
    .llseek = no_llseek,
};

static struct miscdevice bridge_misc = {
    .minor = MISC_DYNAMIC_MINOR,
    .name = "i2c-bridge",
    .fops = &bridge_fops,
};

static int __init bridge_init(void) {
    int ret = misc_register(&bridge_misc);

    if (ret) {
        return ret;
    }
    ret = i2c_add_adapter(&br.adapter);
    if (ret) {
        misc_deregister(&bridge_misc);
    }
    return ret;
}

static void __exit bridge_exit(void) {
    i2c_del_adapter(&br.adapter);
    misc_deregister(&bridge_misc);
}

module_init(bridge_init);
module_exit(bridge_exit);

MODULE_DESCRIPTION("compasskit: I2C adapter served by a user-space daemon");
MODULE_LICENSE("GPL");
