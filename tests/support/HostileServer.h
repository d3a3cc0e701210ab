#pragma once

// An HTTP peer on 127.0.0.1 that misbehaves the way real ones do: it drips its reply one byte
// at a time, sends a body that never ends, or drops a connection without a word. It counts
// connections and whole requests, so a test sees what a client sent.
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class HostileServer {
public:
    enum class Mode {
        drip,       // headers promising 1 MB, then one byte every `interval`
        endless,    // headers without a length, then a body as fast as the client takes it
        dropFirst,  // the first connection is closed once its request is read; later ones get `body`
    };

    explicit HostileServer(Mode mode, std::chrono::milliseconds interval = std::chrono::seconds(1),
                           std::string body = "{}")
        : m_mode(mode), m_interval(interval), m_body(std::move(body))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::listen(m_listener, 16);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_acceptor = std::thread([this] { acceptLoop(); });
    }

    ~HostileServer()
    {
        m_closing = true;
        m_acceptor.join();
        std::vector<std::thread> connections;
        {
            std::lock_guard lock(m_mutex);
            connections.swap(m_connections);
        }
        for (std::thread& t : connections) t.join();
        ::close(m_listener);
    }

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    int connections() const { return m_accepted; }
    // The request heads received in full ("GET /path HTTP/1.1\r\nHost: ...").
    std::vector<std::string> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }
    // Body bytes written to clients.
    long long sent() const { return m_sent; }

private:
    void acceptLoop()
    {
        while (!m_closing) {
            pollfd p{m_listener, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            const int index = m_accepted++;
            std::lock_guard lock(m_mutex);
            m_connections.emplace_back([this, fd, index] {
                serve(fd, index);
                ::close(fd);
            });
        }
    }

    // Waits up to `ms` for the client; false once the test ends.
    bool readable(int fd, int ms) const
    {
        for (int waited = 0; waited < ms && !m_closing; waited += 20) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) return true;
        }
        return false;
    }

    bool readRequest(int fd)
    {
        std::string request;
        size_t wanted = std::string::npos;
        char chunk[4096];
        while (wanted == std::string::npos || request.size() < wanted) {
            if (!readable(fd, 10000)) return false;
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0) return false;
            request.append(chunk, size_t(n));
            const size_t end = request.find("\r\n\r\n");
            if (wanted == std::string::npos && end != std::string::npos) {
                size_t length = 0;
                for (const char* name : {"Content-Length: ", "content-length: "}) {
                    const size_t at = request.find(name);
                    if (at != std::string::npos && at < end) length = std::stoul(request.substr(at + 16));
                }
                wanted = end + 4 + length;
            }
        }
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request.substr(0, request.find("\r\n\r\n")));
        return true;
    }

    bool write(int fd, const std::string& bytes, bool body)
    {
        size_t done = 0;
        while (done < bytes.size() && !m_closing) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += size_t(n);
            if (body) m_sent += n;
        }
        return done == bytes.size();
    }

    void serve(int fd, int index)
    {
        if (!readRequest(fd)) return;
        switch (m_mode) {
        case Mode::dropFirst:
            if (index == 0) return;
            write(fd, "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                          std::to_string(m_body.size()) + "\r\n\r\n" + m_body,
                  false);
            return;
        case Mode::drip:
            if (!write(fd, "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 1000000\r\n\r\n", false))
                return;
            while (!m_closing) {
                if (!write(fd, " ", true)) return;
                if (readable(fd, int(m_interval.count()))) {
                    char c;
                    if (::read(fd, &c, 1) <= 0) return;  // the client went away
                }
            }
            return;
        case Mode::endless: {
            if (!write(fd, "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n", false)) return;
            const std::string block(64 * 1024, ' ');
            while (!m_closing && write(fd, block, true)) {
            }
            return;
        }
        }
    }

    Mode m_mode;
    std::chrono::milliseconds m_interval;
    std::string m_body;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_closing{false};
    std::atomic<int> m_accepted{0};
    std::atomic<long long> m_sent{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::vector<std::thread> m_connections;
    std::thread m_acceptor;
};
