// Fuzz target: the client's rendering of an arbitrary reply into an output of arbitrary size.
// The shown text is printable ASCII, NUL-terminated within the output, and unescapes to the whole
// reply (up to its first NUL) when the output is the client's, or to a prefix of it otherwise.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "exchange.hpp"

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

int hex(char c) {
    check((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
    return c >= 'a' ? c - 'a' + 10 : c - '0';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    // The first two bytes pick the output's size; 0 stands for the client's own.
    std::size_t cap = (std::size_t{data[0]} << 8 | data[1]) % (client::kShownSize + 1);
    const bool full = cap == 0;
    cap = full ? client::kShownSize : cap;
    const char* reply = reinterpret_cast<const char*>(data + 2);
    std::size_t len = size - 2;
    if (len > client::kReplyLimit) {
        len = client::kReplyLimit;
    }

    static char out[client::kShownSize + 1];
    std::memset(out, '#', sizeof out);
    const std::size_t n = client::render_reply(reply, len, out, cap);
    check(n < cap && out[n] == '\0' && std::strlen(out) == n && out[cap] == '#');

    // Unescape and compare with the reply, byte by byte.
    std::size_t i = 0;
    for (std::size_t k = 0; k < n; ++i) {
        check(i < len && reply[i] != '\0');
        const auto byte = static_cast<unsigned char>(reply[i]);
        const char c = out[k];
        check(c >= 0x20 && c <= 0x7e);
        if (c != '\\') {
            check(byte == static_cast<unsigned char>(c) && byte != '\\');
            k += 1;
        } else if (out[k + 1] == '\\') {
            check(byte == '\\');
            k += 2;
        } else {
            check(k + 3 < n && out[k + 1] == 'x');
            check(byte == hex(out[k + 2]) * 16 + hex(out[k + 3]));
            check(byte < 0x20 || byte > 0x7e);
            k += 4;
        }
    }
    if (full) {
        check(i == len || reply[i] == '\0');
    }
    return 0;
}
