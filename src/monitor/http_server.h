// A small HTTP/1.0 server on its own thread for /metrics and /healthz: one
// request per connection, answered from callbacks. The metrics library's own
// server cannot answer /healthz with a status of its choosing.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

struct HttpAnswer {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
};

class HttpServer {
public:
    using Handler = std::function<HttpAnswer(const std::string& path)>;
    // Listens on `address` ("HOST:PORT", "[V6]:PORT" or ":PORT" for every address); throws
    // std::runtime_error with a message when the address cannot be used.
    HttpServer(const std::string& address, Handler handler);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

private:
    void serve();
    void answer(int connection);

    Handler handler_;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
