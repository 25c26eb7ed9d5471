#include "monitor/webhook.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>

namespace {

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

}  // namespace

Webhook::Webhook(WebhookSettings settings, std::function<void()> failed, std::function<void()> delivered)
    : settings_(std::move(settings)), failed_(std::move(failed)), delivered_(std::move(delivered)) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    thread_ = std::thread([this] { deliverAll(); });
}

Webhook::~Webhook() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    curl_global_cleanup();
}

void Webhook::post(std::string record) {
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= settings_.queueLimit) {
            fprintf(stderr, "frameprobe: webhook %s: %zu records waiting; one is dropped\n", settings_.url.c_str(),
                    queue_.size());
            failed_();
            return;
        }
        queue_.push_back(std::move(record));
    }
    wake_.notify_one();
}

bool Webhook::attempt(const std::string& record, std::string& error) const {
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        error = "cannot start libcurl";
        return false;
    }
    char message[CURL_ERROR_SIZE] = {};
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    curl_easy_setopt(curl, CURLOPT_URL, settings_.url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, record.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(record.size()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(settings_.timeout * 1000));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    if (code != CURLE_OK) {
        error = message[0] != '\0' ? message : curl_easy_strerror(code);
        return false;
    }
    if (status < 200 || status >= 300) {
        error = "the receiver answered " + std::to_string(status);
        return false;
    }
    return true;
}

void Webhook::deliverAll() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping with nothing left
        const std::string record = std::move(queue_.front());
        queue_.pop_front();
        double delay = settings_.firstRetryDelay;
        std::string error;
        bool sent = false;
        // When stopping, each record left gets one attempt.
        for (int i = 0; i < settings_.attempts && !sent; ++i) {
            if (i > 0) {
                if (stopping_) break;
                wake_.wait_for(lock, std::chrono::duration<double>(delay), [this] { return stopping_; });
                delay *= 2;
            }
            lock.unlock();
            sent = attempt(record, error);
            lock.lock();
        }
        if (sent) {
            delivered_();
        } else {
            fprintf(stderr, "frameprobe: webhook %s: could not deliver a record: %s\n", settings_.url.c_str(),
                    error.c_str());
            failed_();
        }
    }
}
