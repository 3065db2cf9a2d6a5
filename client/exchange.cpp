// The request, the shown reply and the failure line of the client's exchange.
#include "exchange.hpp"

#include <cstring>

namespace client {

void build_request(char (&msg)[kMessageSize]) {
    std::memset(msg, 0, sizeof msg);
    // The server expects these two numbers, formatted as "%f %f" gives them.
    (void)std::snprintf(msg, sizeof msg, "%f %f", 2.3, 1.56);
}

std::size_t render_reply(const char* reply, std::size_t len, char* out, std::size_t cap) {
    if (cap == 0) {
        return 0;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::size_t n = 0;
    for (std::size_t i = 0; i < len && reply[i] != '\0'; ++i) {
        const auto byte = static_cast<unsigned char>(reply[i]);
        char piece[4];
        std::size_t size = 0;
        if (byte == '\\') {
            piece[size++] = '\\';
            piece[size++] = '\\';
        } else if (byte >= 0x20 && byte <= 0x7e) {
            piece[size++] = static_cast<char>(byte);
        } else {
            piece[size++] = '\\';
            piece[size++] = 'x';
            piece[size++] = kHex[byte >> 4];
            piece[size++] = kHex[byte & 0x0f];
        }
        if (cap - 1 - n < size) {
            break;
        }
        std::memcpy(out + n, piece, size);
        n += size;
    }
    out[n] = '\0';
    return n;
}

void report_failure(std::FILE* to, const char* what, int err) {
    (void)std::fprintf(to, "client: %s: %s\n", what, std::strerror(err));
}

}  // namespace client
