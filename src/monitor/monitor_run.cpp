#include "monitor/monitor_run.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include "process/exit_status.h"
#include "process/process_guard.h"
#include "monitor/channel.h"
#include "monitor/http_server.h"
#include "monitor/metrics.h"
#include "monitor/record_log.h"
#include "monitor/webhook.h"
#include "rows/row_sink.h"

namespace {

std::atomic<bool> reopenRequested{false};

extern "C" void onHangUp(int) { reopenRequested.store(true); }

void installHangUpHandler() {
    struct sigaction action {};
    action.sa_handler = onHangUp;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGHUP, &action, nullptr);
}

int fail(const std::string& message) {
    fprintf(stderr, "frameprobe: %s\n", message.c_str());
    return kToolFailure;
}

HttpAnswer answer(const std::string& path, const MonitorMetrics& metrics,
                  const std::vector<std::unique_ptr<Channel>>& channels) {
    if (path == "/metrics") return {200, "text/plain; version=0.0.4; charset=utf-8", metrics.text()};
    if (path == "/healthz") {
        std::string down;
        for (const auto& c : channels)
            if (!c->up()) down += (down.empty() ? "" : " ") + c->name();
        if (down.empty()) return {200, "text/plain; charset=utf-8", "ok\n"};
        return {503, "text/plain; charset=utf-8", "down: " + down + "\n"};
    }
    return {404, "text/plain; charset=utf-8", "not found; try /metrics or /healthz\n"};
}

}  // namespace

int runMonitor(int argc, char** argv) {
    auto parsed = parseMonitorOptions(argc, argv);
    if (const int* status = std::get_if<int>(&parsed)) return *status;
    const MonitorOptions& o = std::get<MonitorOptions>(parsed);
    installHangUpHandler();

    if (o.snapshots) {
        std::error_code error;
        std::filesystem::create_directories(*o.snapshots, error);
        if (error) return fail("cannot make the snapshot folder " + *o.snapshots + ": " + error.message());
    }
    std::unique_ptr<RecordLog> log;
    try {
        log = std::make_unique<RecordLog>(o.output);
    } catch (const WriteError& e) {
        return fail(e.what());
    }
    MonitorMetrics metrics;
    std::vector<std::unique_ptr<Channel>> channels;
    std::unique_ptr<Webhook> webhook;
    if (o.webhook)
        webhook = std::make_unique<Webhook>(
            WebhookSettings{*o.webhook}, [&metrics] { metrics.webhookFailures().Increment(); },
            [&metrics] { metrics.webhookDeliveries().Increment(); });
    const std::atomic<bool>& stop = stopRequested();
    for (const ChannelInput& input : o.channels)
        channels.push_back(std::make_unique<Channel>(input, o, ChannelOutputs{*log, webhook.get(), o.snapshots},
                                                     metrics, stop));
    // The metrics address is taken before any channel starts, so a port in use stops the monitor at once.
    std::unique_ptr<HttpServer> server;
    if (o.metrics) {
        try {
            server = std::make_unique<HttpServer>(
                *o.metrics, [&](const std::string& path) { return answer(path, metrics, channels); });
        } catch (const std::exception& e) {
            return fail(e.what());
        }
    }
    for (auto& channel : channels) channel->start();

    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (reopenRequested.exchange(false)) log->reopen();
        if (stop) break;
        bool running = false;
        for (auto& channel : channels) {
            channel->checkSignal();
            running = running || !channel->finished();
        }
        if (!running) break;
    }
    for (auto& channel : channels) channel->join();
    const char* reason = stop ? (stopSignal() == SIGINT ? "SIGINT" : "SIGTERM") : "input ended";
    bool failed = false;
    for (auto& channel : channels) {
        channel->writeFinalRecord(reason);
        failed = failed || channel->failed();
    }
    server.reset();
    webhook.reset();  // the records still queued get one attempt each
    if (stop) return statusForSignal(stopSignal());
    return failed ? kToolFailure : 0;
}
