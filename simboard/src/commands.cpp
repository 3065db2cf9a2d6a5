// The back door as text: one table of the board's commands, each a name, the shape of its
// arguments and what it does. The guest daemon's control channel and the fuzz target both run it.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "parts.hpp"
#include "sim/board.hpp"

namespace sim {
namespace {

constexpr std::size_t max_args = 3;

// A command's arguments as read: numbers (a part by its enumerator), the scene's name.
struct args {
    double v[max_args] = {};
    const char* word = nullptr;
    std::size_t given = 0;
    char* reply = nullptr;
    std::size_t size = 0;

    int i(std::size_t k) const { return static_cast<int>(v[k]); }
    bool on(std::size_t k) const { return k >= given || v[k] != 0.0; }
};

struct entry {
    command_shape shape;
    void (*apply)(const args& a);
    bool resets = false;
};

const entry table[] = {
    {{"reset", ""}, [](const args&) { board().reset(); }, true},
    {{"scene", "s"},
     [](const args& a) {
         if (std::strcmp(a.word, "default") == 0) {
             board().reset();
         } else {
             (void)apply_scene(a.word);
         }
     },
     true},
    {{"fit", "apA"},
     [](const args& a) {
         board().fit(a.i(0), static_cast<part>(a.i(1)), a.given > 2 ? a.i(2) : -1);
     }},
    {{"yaw", "x"}, [](const args& a) { board().yaw(a.v[0]); }},
    {{"field", "xx"}, [](const args& a) { board().field(a.v[0], a.v[1]); }},
    {{"bypass_offset", "xxx"},
     [](const args& a) { board().bypass_offset(a.v[0], a.v[1], a.v[2]); }},
    {{"standalone_offset", "iii"},
     [](const args& a) { board().standalone_offset(a.i(0), a.i(1), a.i(2)); }},
    {{"noise", "xN"},
     [](const args& a) {
         board().noise(a.v[0], a.given > 1 ? static_cast<std::uint32_t>(a.v[1]) : 1);
     }},
    {{"asa", "vvv"}, [](const args& a) { board().asa(a.i(0), a.i(1), a.i(2)); }},
    {{"conversion_time_us", "i"}, [](const args& a) { board().conversion_time_us(a.i(0)); }},
    {{"motion_reset_time_us", "i"}, [](const args& a) { board().motion_reset_time_us(a.i(0)); }},
    {{"first_sample_us", "i"}, [](const args& a) { board().first_sample_us(a.i(0)); }},
    {{"bus_missing", "F"}, [](const args& a) { board().bus_missing(a.on(0)); }},
    {{"no_permission", "F"}, [](const args& a) { board().no_permission(a.on(0)); }},
    {{"kernel_driver", "aF"}, [](const args& a) { board().kernel_driver(a.i(0), a.on(1)); }},
    {{"absent", "aF"}, [](const args& a) { board().absent(a.i(0), a.on(1)); }},
    {{"nack_register", "arF"},
     [](const args& a) { board().nack_register(a.i(0), a.i(1), a.on(2)); }},
    {{"nack_transfer", "n"},
     [](const args& a) { board().nack_transfer(static_cast<std::size_t>(a.v[0])); }},
    {{"stall_conversion", "F"}, [](const args& a) { board().stall_conversion(a.on(0)); }},
    {{"force", "arv"}, [](const args& a) { board().force(a.i(0), a.i(1), a.i(2)); }},
    {{"unforce", "ar"}, [](const args& a) { board().unforce(a.i(0), a.i(1)); }},
    {{"logging", "F"}, [](const args& a) { board().logging(a.on(0)); }},
    {{"clear_log", ""}, [](const args&) { board().clear_log(); }},
    {{"handle_base", "n"}, [](const args& a) { board().handle_base(a.i(0)); }},
    {{"peek", "ar"},
     [](const args& a) {
         (void)std::snprintf(a.reply, a.size, "peek %02x %02x %d", a.i(0), a.i(1),
                             board().peek(a.i(0), a.i(1)));
     }},
};

bool is_scene(const char* name) {
    for (std::size_t i = 0; scene_name(i) != nullptr; ++i) {
        if (std::strcmp(name, scene_name(i)) == 0) {
            return true;
        }
    }
    return std::strcmp(name, "default") == 0;
}

// Reads one argument of the given kind (lower case) from tok into a; false if it does not fit.
bool read_arg(char kind, char* tok, args& a, std::size_t k) {
    char* end = nullptr;
    if (kind == 'x') {
        a.v[k] = std::strtod(tok, &end);
        return *end == '\0' && std::isfinite(a.v[k]);
    }
    if (kind == 's') {
        a.word = tok;
        return is_scene(tok);
    }
    if (kind == 'p') {
        part p = part::none;
        const bool known = detail::part_named(tok, p);
        a.v[k] = static_cast<double>(p);
        return known;
    }
    const long long n = std::strtoll(tok, &end, 0);  // C notation: 0x1e, 030, 30
    a.v[k] = static_cast<double>(n);
    return *end == '\0' && n >= (kind == 'n' ? 0 : INT_MIN) && n <= INT_MAX;
}

}  // namespace

outcome command(const char* line, char* reply, std::size_t size) {
    if (reply != nullptr && size > 0) {
        reply[0] = '\0';
    }
    char buf[128];
    const std::size_t len = line == nullptr ? sizeof buf : std::strlen(line);
    if (len >= sizeof buf) {
        return outcome::refused;
    }
    std::memcpy(buf, line, len + 1);
    char* tok[max_args + 2] = {};
    std::size_t n = 0;
    char* save = nullptr;
    for (char* t = strtok_r(buf, " \t\r\n", &save); t != nullptr && n < std::size(tok);
         t = strtok_r(nullptr, " \t\r\n", &save)) {
        tok[n++] = t;
    }
    if (n == 0) {
        return outcome::done;
    }
    const entry* e = std::find_if(std::begin(table), std::end(table), [&](const entry& c) {
        return std::strcmp(tok[0], c.shape.name) == 0;
    });
    args a{{}, nullptr, n - 1, reply, size};
    const char* shape = e == std::end(table) ? "" : e->shape.args;
    const std::size_t most = std::strlen(shape);
    if (e == std::end(table) || a.given > most ||
        (a.given < most && std::islower(shape[a.given]) != 0)) {
        return outcome::refused;
    }
    for (std::size_t k = 0; k < a.given; ++k) {
        if (!read_arg(static_cast<char>(std::tolower(shape[k])), tok[k + 1], a, k)) {
            return outcome::refused;
        }
    }
    e->apply(a);
    return e->resets ? outcome::fresh : outcome::done;
}

const command_shape* command_at(std::size_t i) {
    return i < std::size(table) ? &table[i].shape : nullptr;
}

}  // namespace sim
