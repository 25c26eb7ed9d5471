// Posting alarm records to a URL from a thread of its own: the channels only
// queue them, so a slow or absent receiver never holds up the analysis.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

struct WebhookSettings {
    std::string url;
    int attempts = 4;              // per record
    double firstRetryDelay = 0.5;  // seconds, doubled after each failed attempt
    double timeout = 5;            // seconds per attempt
    std::size_t queueLimit = 1000; // records waiting beyond this are dropped and counted as failed
};

class Webhook {
public:
    // `failed` is called once per record that could not be delivered.
    Webhook(WebhookSettings settings, std::function<void()> failed, std::function<void()> delivered);
    ~Webhook();  // gives the records still queued one attempt each, then stops
    Webhook(const Webhook&) = delete;
    Webhook& operator=(const Webhook&) = delete;

    void post(std::string record);

private:
    void deliverAll();
    bool attempt(const std::string& record, std::string& error) const;

    WebhookSettings settings_;
    std::function<void()> failed_, delivered_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::string> queue_;
    bool stopping_ = false;
    std::thread thread_;
};
