#pragma once

// A real HTTP peer on 127.0.0.1 for the model backends: it records every request and answers
// with the status and body the test scripts, or holds the request until the test ends.
#include <httplib.h>

#include <QJsonDocument>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ReceivedRequest {
    std::string method;
    std::string path;
    std::string body;
    httplib::Headers headers;

    std::string header(const std::string& name) const
    {
        for (const auto& [key, value] : headers) {
            if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
        }
        return {};
    }
    bool hasHeader(const std::string& name) const
    {
        for (const auto& [key, value] : headers) {
            if (strcasecmp(key.c_str(), name.c_str()) == 0) return true;
        }
        return false;
    }
    QJsonDocument json() const { return QJsonDocument::fromJson(QByteArray::fromStdString(body)); }
};

class ScriptedServer {
public:
    struct Reply {
        int status = 200;
        std::string body;
        bool hang = false;
        int delayMs = 0;  // a slow peer: the answer comes after this long
        std::string location;  // a redirect's target
    };

    ScriptedServer()
    {
        auto handler = [this](const httplib::Request& request, httplib::Response& response) {
            Reply reply;
            {
                std::unique_lock lock(m_mutex);
                m_requests.push_back({request.method, request.path, request.body, request.headers});
                if (!m_script.empty()) {
                    reply = m_script.front();
                    if (m_script.size() > 1) m_script.pop_front();
                }
                if (reply.hang) {
                    m_released.wait(lock, [this] { return m_closing; });
                    return;
                }
            }
            if (reply.delayMs > 0) {
                std::unique_lock lock(m_mutex);
                m_released.wait_for(lock, std::chrono::milliseconds(reply.delayMs), [this] { return m_closing; });
            }
            response.status = reply.status;
            if (!reply.location.empty()) response.set_header("Location", reply.location);
            response.set_content(reply.body, "application/json");
        };
        // One request per connection: a kept-alive connection would hold stop() for seconds.
        m_server.set_keep_alive_max_count(1);
        m_server.Post(".*", handler);
        m_server.Get(".*", handler);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) std::this_thread::yield();
    }

    ~ScriptedServer()
    {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_released.notify_all();
        m_server.stop();
        m_thread.join();
    }

    // Replies in order; the last one repeats.
    void script(std::deque<Reply> replies)
    {
        std::lock_guard lock(m_mutex);
        m_script = std::move(replies);
    }
    void answer(int status, std::string body) { script({Reply{status, std::move(body), false}}); }
    void hang() { script({Reply{200, {}, true}}); }

    std::vector<ReceivedRequest> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

    int port() const { return m_port; }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

    // A loopback port that nothing listens on: bound without listening, then released.
    static int closedPort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(fd);
        return ntohs(address.sin_port);
    }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_closing = false;
    std::deque<Reply> m_script{Reply{200, "{}", false}};
    std::vector<ReceivedRequest> m_requests;
};
