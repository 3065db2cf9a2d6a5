// wiringPi 2.25's identification of the board and its choice of bus (wiringpi_board.hpp), as its
// piBoardRev() and wiringPiI2CSetup() make them.
#include "wiringpi_board.hpp"

#include <cctype>
#include <cstring>

namespace wiringpi {
namespace {

// wiringPi reads cpuinfo with fgets into a buffer of this size: a longer line comes in pieces.
constexpr int line_size = 120;

// The first piece that starts with key, as wiringPi finds it; false when there is none.
bool find_line(std::FILE* f, const char* key, char (&line)[line_size]) {
    std::rewind(f);
    while (std::fgets(line, line_size, f) != nullptr) {
        if (std::strncmp(line, key, std::strlen(key)) == 0) {
            return true;
        }
    }
    return false;
}

// The line less its trailing CR and LF, and less the key and the colon, for a message.
const char* value_of(char* line) {
    line[std::strcspn(line, "\r\n")] = '\0';
    const char* colon = std::strchr(line, ':');
    const char* v = colon != nullptr ? colon + 1 : line;
    return v + std::strspn(v, " \t");
}

board refuse(board b, const char* why, const char* says) {
    (void)std::snprintf(b.why, sizeof b.why, "%s; wiringPi exits with \"%s\"", why, says);
    return b;
}

constexpr const char* no_revision = "Unable to determine board revision from /proc/cpuinfo";

}  // namespace

board identify(std::FILE* cpuinfo) {
    board b;
    char line[line_size];
    if (!find_line(cpuinfo, "Hardware", line)) {
        return refuse(b, "no \"Hardware\" line in /proc/cpuinfo", no_revision);
    }
    if (std::strstr(line, "BCM2709") == nullptr && std::strstr(line, "BCM2708") == nullptr) {
        char why[96];
        (void)std::snprintf(why, sizeof why, "Hardware \"%.40s\" is neither BCM2708 nor BCM2709",
                            value_of(line));
        return refuse(b, why, "Unable to determine hardware version");
    }
    if (!find_line(cpuinfo, "Revision", line)) {
        return refuse(b, "no \"Revision\" line in /proc/cpuinfo", no_revision);
    }
    // Only line ends go; what is left is read from the first digit on (a revision such as a02082
    // starts at its 0).
    std::size_t n = std::strlen(line);
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) {
        line[--n] = '\0';
    }
    const char* code = line;
    while (*code != '\0' && std::isdigit(static_cast<unsigned char>(*code)) == 0) {
        ++code;
    }
    if (*code == '\0') {
        return refuse(b, "the \"Revision\" line holds no digit", no_revision);
    }
    const std::size_t len = std::strlen(code);
    if (len < 4) {
        return refuse(b, "the revision is shorter than four characters", no_revision);
    }
    const char* last4 = code + len - 4;
    b.identified = true;
    b.bus = std::strcmp(last4, "0002") == 0 || std::strcmp(last4, "0003") == 0 ? 0 : 1;
    (void)std::snprintf(b.revision, sizeof b.revision, "%s", value_of(line));
    return b;
}

board identify_file(const char* path) {
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr) {
        board b;
        return refuse(b, "/proc/cpuinfo cannot be read", no_revision);
    }
    const board b = identify(f);
    (void)std::fclose(f);
    return b;
}

}  // namespace wiringpi
