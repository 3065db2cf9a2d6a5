// The command-line contract of the board tools and the echo server; see options.hpp.
#include "options.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tool {

int_status parse_int(const char* text, long lo, long hi, long& out) {
    if (text == nullptr || *text == '\0') {
        return text == nullptr ? int_status::missing : int_status::not_decimal;
    }
    // strtol alone would take leading spaces, a '+' and, with base 0, other bases.
    const char* digits = *text == '-' ? text + 1 : text;
    if (*digits == '\0' || std::strspn(digits, "0123456789") != std::strlen(digits)) {
        return int_status::not_decimal;
    }
    errno = 0;
    const long v = std::strtol(text, nullptr, 10);
    if (errno == ERANGE || v < lo || v > hi) {
        return int_status::out_of_range;
    }
    out = v;
    return int_status::ok;
}

const char* program_name(int argc, char* const* argv, const char* fallback) {
    if (argc < 1 || argv[0] == nullptr || *argv[0] == '\0') {
        return fallback;
    }
    const char* slash = std::strrchr(argv[0], '/');
    return slash != nullptr && slash[1] != '\0' ? slash + 1 : argv[0];
}

command_line::command_line(int argc, char* const* argv, const char* fallback_name,
                           const char* usage)
    : argc_(argc), argv_(argv), name_(program_name(argc, argv, fallback_name)), usage_(usage) {}

bool command_line::flag(const char* flag) {
    if (!more() || std::strcmp(argv_[next_], flag) != 0) {
        return false;
    }
    ++next_;
    return true;
}

bool command_line::integer(const char* option, long lo, long hi, long& out) {
    if (!flag(option)) {
        return false;
    }
    const char* value = next_ < argc_ ? argv_[next_++] : nullptr;
    char reason[96];
    switch (parse_int(value, lo, hi, out)) {
        case int_status::ok:
            return true;
        case int_status::missing:
            refuse(option, "needs a value");
            return true;
        case int_status::not_decimal:
            (void)std::snprintf(reason, sizeof reason, "'%.40s' is not a decimal integer", value);
            break;
        case int_status::out_of_range:
            (void)std::snprintf(reason, sizeof reason, "%.40s is outside %ld..%ld", value, lo, hi);
            break;
    }
    refuse(option, reason);
    return true;
}

const char* command_line::word() {
    return next_ < argc_ ? argv_[next_++] : nullptr;
}

void command_line::unknown() {
    if (!more()) {
        return;
    }
    if (flag("--help")) {
        print_usage(stdout);
        status_ = 0;
        return;
    }
    refuse(word(), "unknown option");
}

void command_line::refuse(const char* what, const char* reason) {
    if (stopped()) {
        return;  // the first refusal is the one worth reading
    }
    (void)std::fprintf(stderr, "%s: %s: %s\n", name_, what, reason);
    print_usage(stderr);
    status_ = 2;
}

void command_line::print_usage(std::FILE* out) const {
    (void)std::fprintf(out, "usage: %s %s", name_, usage_);
    (void)std::fflush(out);
}

int no_magnetometer(const char* name, int error) {
    return no_magnetometer_because(name,
                                   error != 0 ? std::strerror(error) : "the bus gave no reason");
}

int no_magnetometer_because(const char* name, const char* reason) {
    (void)std::fprintf(stderr,
                       "%s: no magnetometer: %s; run compass-doctor to see what the board has\n",
                       name, reason);
    return 1;
}

}  // namespace tool
