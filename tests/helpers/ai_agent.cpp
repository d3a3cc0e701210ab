// A stand-in for an AI tool: opens the file it is given, connects to 127.0.0.1:PORT, says
// "ready" on standard output and holds both until its standard input closes.
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
    std::printf("ready\n");
    std::fflush(stdout);
    char buffer[64];
    while (::read(0, buffer, sizeof buffer) > 0) {
    }
    ::close(sock);
    ::close(file);
    return 0;
}
