// Whether a bus node opens and takes the addresses a module selects (board_bus.hpp), with the
// kit's own i2c-dev calls.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "board_bus.hpp"
#include "i2cdev/calls.hpp"

namespace tool {

bool bus_reaches(const char* bus, const int* addrs, std::size_t n, char* why,
                 std::size_t why_size) {
    for (std::size_t i = 0; i < n; ++i) {
        errno = 0;
        const int fd = i2cdev::open_device(bus, addrs[i]);
        if (fd < 0) {
            // EBUSY comes from selecting the address; anything else from opening the node.
            const int err = errno;
            if (err == EBUSY) {
                (void)std::snprintf(why, why_size, "0x%02X on %s: %s", addrs[i], bus,
                                    std::strerror(err));
            } else {
                (void)std::snprintf(why, why_size, "%s: %s", bus, std::strerror(err));
            }
            return false;
        }
        (void)close(fd);
    }
    return true;
}

}  // namespace tool
