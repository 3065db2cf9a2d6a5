// client: prompts for a word, sends the fixed request to the UDP server, prints the one reply.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>

#include "exchange.hpp"

#ifndef CLIENT_SERVER_ADDRESS
#error "CLIENT_SERVER_ADDRESS (the server's dotted-decimal IPv4 address) must be defined"
#endif

namespace {

int fail(const char* what) {
    client::report_failure(stderr, what, errno);
    return 1;
}

}  // namespace

int main() {
    // The prompt has no newline; it must be out before the program waits. Output that cannot be
    // written (closed, full disk) is a failure, not a silent loss.
    if (std::fputs("\n Enter the message : ", stdout) < 0 || std::fflush(stdout) != 0) {
        return fail("write");
    }

    // The word only releases the send; end of input releases it too. Whatever follows the first
    // 1023 characters stays unread.
    char msg[client::kMessageSize];
    (void)std::scanf("%1023s", msg);

    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        return fail("socket");
    }

    sockaddr_in server{};
    static_assert(sizeof server == 16);
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = inet_addr(CLIENT_SERVER_ADDRESS);
    server.sin_port = htons(client::kServerPort);

    client::build_request(msg);
    ssize_t sent = 0;
    do {
        sent = sendto(fd, msg, sizeof msg, 0, reinterpret_cast<const sockaddr*>(&server),
                      sizeof server);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        return fail("sendto");
    }

    // Whoever sends the next datagram to this socket gives the reply; there is no time limit.
    char reply[client::kMessageSize];
    ssize_t got = 0;
    do {
        got = recvfrom(fd, reply, client::kReplyLimit, 0, nullptr, nullptr);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return fail("recvfrom");
    }

    reply[got] = '\0';

    char shown[client::kShownSize];
    client::render_reply(reply, static_cast<std::size_t>(got), shown, sizeof shown);
    if (std::printf("\n Server's Echo : %s\n\n", shown) < 0 || std::fflush(stdout) != 0) {
        return fail("write");
    }
    return 0;
}
