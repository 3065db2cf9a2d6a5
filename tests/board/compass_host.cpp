// A host for the board test: links one installed compass module (the -DCOMPASS_MODULE_* that its
// pkg-config file gives chooses which) and takes a reading for each command on standard input, so
// that the test can rewrite the sensor's registers between readings. Prints the reference too: it
// shows the absolute heading that the first reading latched.
#include <cstdio>
#include <cstring>

#if defined(COMPASS_MODULE_BYPASSMAG)
#include "compass/bypassmag.hpp"
#else
#include "compass/directmag.hpp"
#endif

int main() {
    // The test reads each answer before it turns the board; nothing may wait in a buffer.
    (void)std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int fd = setup_magneto();
    (void)std::printf("handle %s\n", fd >= 0 ? "ok" : "negative");

    char line[32];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        if (std::strcmp(line, "get\n") == 0) {
            const double heading = get_magneto(fd);
            (void)std::printf("heading %.3f ref %.3f\n", heading, comp_angl);
            continue;
        }
#if defined(COMPASS_MODULE_BYPASSMAG)
        int count = 0;
        if (std::sscanf(line, "avg %d", &count) == 1) {
            (void)std::printf("avg %.3f\n", avg_magneto(count, fd));
            continue;
        }
#endif
        (void)std::printf("unknown command\n");
    }
    return 0;
}
