// A stand-in for an AI tool: opens the file it is given, connects to 127.0.0.1:PORT, listens
// on a port of its own on 127.0.0.1, says "ready LISTENPORT" on standard output and holds all
// three until its standard input closes.
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 3) return 2;
    const int file = ::open(argv[1], O_RDONLY);
    if (file < 0) return 3;
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(std::atoi(argv[2])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (sock < 0 || ::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 4;
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in own{};
    own.sin_family = AF_INET;
    own.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof own;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&own), sizeof own) != 0 || ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&own), &length) != 0) {
        return 5;
    }
    std::printf("ready %u\n", unsigned(ntohs(own.sin_port)));
    std::fflush(stdout);
    char buffer[64];
    while (::read(0, buffer, sizeof buffer) > 0) {
    }
    ::close(listener);
    ::close(sock);
    ::close(file);
    return 0;
}
