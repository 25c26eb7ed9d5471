#include "monitor/http_server.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

// Splits "HOST:PORT"; an empty host listens on every address.
bool splitAddress(const std::string& address, std::string& host, std::string& port) {
    const std::size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon + 1 == address.size()) return false;
    host = address.substr(0, colon);
    port = address.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    return port.find_first_not_of("0123456789") == std::string::npos;
}

const char* reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 503: return "Service Unavailable";
        default: return "Bad Request";
    }
}

void sendAll(int connection, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(connection, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

}  // namespace

HttpServer::HttpServer(const std::string& address, Handler handler) : handler_(std::move(handler)) {
    std::string host, port;
    if (!splitAddress(address, host, port))
        throw std::runtime_error("--metrics wants HOST:PORT, not \"" + address + "\"");
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (const int code = getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &found); code != 0)
        throw std::runtime_error("cannot use the metrics address " + address + ": " + gai_strerror(code));
    std::string error = "no address";
    for (addrinfo* a = found; a != nullptr && listener_ < 0; a = a->ai_next) {
        const int s = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (s < 0) continue;
        const int yes = 1;
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (bind(s, a->ai_addr, a->ai_addrlen) == 0 && listen(s, 16) == 0) {
            listener_ = s;
        } else {
            error = strerror(errno);
            close(s);
        }
    }
    freeaddrinfo(found);
    if (listener_ < 0) throw std::runtime_error("cannot serve metrics on " + address + ": " + error);
    thread_ = std::thread([this] { serve(); });
}

HttpServer::~HttpServer() {
    stopping_ = true;
    thread_.join();
    close(listener_);
}

void HttpServer::serve() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        answer(connection);
        close(connection);
    }
}

void HttpServer::answer(int connection) {
    // The request line and headers; a client that sends nothing for two seconds is dropped.
    std::string request;
    char buffer[2048];
    while (request.find("\r\n\r\n") == std::string::npos && request.find("\n\n") == std::string::npos &&
           request.size() < 16384) {
        pollfd p{connection, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0) return;
        const ssize_t n = recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    HttpAnswer reply;
    const std::size_t space = request.find(' ');
    const std::size_t end = space == std::string::npos ? space : request.find_first_of(" ?\r\n", space + 1);
    const std::string method = request.substr(0, space);
    if (end == std::string::npos) {
        reply = {400, "text/plain; charset=utf-8", "bad request\n"};
    } else if (method != "GET" && method != "HEAD") {
        reply = {405, "text/plain; charset=utf-8", "only GET\n"};
    } else {
        reply = handler_(request.substr(space + 1, end - space - 1));
    }
    std::string head = "HTTP/1.0 " + std::to_string(reply.status) + " " + reason(reply.status) +
                       "\r\nContent-Type: " + reply.contentType + "\r\nContent-Length: " +
                       std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
    sendAll(connection, method == "HEAD" ? head : head + reply.body);
}
