// Cloned connections, the pool that keeps them, and the shared request gate
// (see pool.h).
#include "transport/pool.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <new>

#include "transport/paypal_trace.h"

namespace {

// Waits are sliced so that a cancel flag set from outside ends them soon.
constexpr int64_t kGateSliceMs = 50;

}  // namespace

PaypalContextPtr PaypalContextClone(PaypalContext *source) {
    PaypalContextPtr ctx = PaypalContextCreate(nullptr, nullptr);
    if (!ctx) return ctx;
    try {
        std::lock_guard<std::recursive_mutex> guard(source->request_lock);
        {
            std::lock_guard<std::mutex> trace_guard(source->trace.lock);
            ctx->trace.mask = source->trace.mask;
            std::copy(std::begin(source->trace.log_file), std::end(source->trace.log_file),
                      std::begin(ctx->trace.log_file));
            ctx->trace.secrets = source->trace.secrets;
        }
        ctx->tls = source->tls;
        ctx->entropy_file = source->entropy_file;
        ctx->cert_path = source->cert_path;
        ctx->accept_compression = source->accept_compression;
        ctx->timeout_seconds = source->timeout_seconds;
        ctx->clock = source->clock;
        ctx->base_url = source->base_url;
        ctx->api_host = source->api_host;
        ctx->api_port = source->api_port;
        ctx->secure = source->secure;
        ctx->proxy_host = source->proxy_host;
        ctx->proxy_port = source->proxy_port;
        ctx->proxy_user = source->proxy_user;
        ctx->proxy_password = source->proxy_password;
        ctx->client_id = source->client_id;
        ctx->client_secret = source->client_secret;
        ctx->access_token = source->access_token;
        ctx->token_type = source->token_type;
        ctx->token_expiry = source->token_expiry;
        ctx->use_counter = kRecycleRequests;
        ctx->recycle_deadline = transport_now(source) + kRecycleSeconds;
        ctx->cache = source->cache;
        ctx->retry_limit = source->retry_limit;
        ctx->retry_wait_seconds = source->retry_wait_seconds;
    } catch (const std::bad_alloc &) {
        return PaypalContextPtr();
    }
    return ctx;
}

namespace {

// Brings a kept clone's token up to its source's, which may have been
// renewed since the clone last ran. Only when the source is free: a clone
// whose token turns out stale renews it itself (401, then the process-wide
// token cache), so waiting here for another statement's request is never
// worth it.
void refresh_token(PaypalContext *ctx, PaypalContext *source) {
    std::unique_lock<std::recursive_mutex> hold(source->request_lock, std::try_to_lock);
    if (!hold.owns_lock() || source->access_token.empty() || source->access_token == ctx->access_token) return;
    PaypalTraceAddSecret(&ctx->trace, source->access_token);
    ctx->access_token = source->access_token;
    ctx->token_type = source->token_type;
    ctx->token_expiry = source->token_expiry;
}

}  // namespace

PaypalContextPtr ClonePoolTake(ClonePool *pool, PaypalContext *source) {
    PaypalContextPtr ctx;
    {
        std::lock_guard<std::mutex> guard(pool->lock);
        if (!pool->idle.empty()) {
            ctx = std::move(pool->idle.back());
            pool->idle.pop_back();
        }
    }
    if (!ctx) return PaypalContextClone(source);
    try {
        refresh_token(ctx.get(), source);
    } catch (const std::bad_alloc &) {
        // The clone keeps its own token.
    }
    return ctx;
}

void ClonePoolGive(ClonePool *pool, PaypalContextPtr ctx, size_t keep) {
    if (!ctx) return;
    ctx->owner = nullptr;
    ctx->post = nullptr;
    ctx->diag_target = nullptr;
    {
        std::lock_guard<std::mutex> guard(pool->lock);
        if (!pool->closed && ctx->socket_fd >= 0 && pool->idle.size() < keep) {
            try {
                pool->idle.push_back(std::move(ctx));
            } catch (const std::bad_alloc &) {
                // Not kept: closed below.
            }
        }
    }
    // Anything not kept closes here, outside the pool's lock.
}

void ClonePoolClose(ClonePool *pool) {
    std::vector<PaypalContextPtr> closing;
    {
        std::lock_guard<std::mutex> guard(pool->lock);
        pool->closed = true;
        closing.swap(pool->idle);
    }
}

size_t ClonePoolIdle(ClonePool *pool) {
    std::lock_guard<std::mutex> guard(pool->lock);
    return pool->idle.size();
}

int64_t GateMonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void GatePause(RequestGate *gate, int64_t ms) {
    std::lock_guard<std::mutex> guard(gate->lock);
    const int64_t until = GateMonotonicMs() + (ms > 0 ? ms : 0);
    if (until > gate->resume_ms) gate->resume_ms = until;
    gate->changed.notify_all();
}

bool GateWait(RequestGate *gate, const std::atomic<int32_t> *cancel) {
    std::unique_lock<std::mutex> hold(gate->lock);
    for (;;) {
        if (gate->closed) return false;
        if (cancel && cancel->load(std::memory_order_relaxed)) return false;
        const int64_t now = GateMonotonicMs();
        if (now >= gate->resume_ms) return true;
        const int64_t slice = gate->resume_ms - now < kGateSliceMs ? gate->resume_ms - now : kGateSliceMs;
        gate->changed.wait_for(hold, std::chrono::milliseconds(slice));
    }
}

void GateClose(RequestGate *gate) {
    std::lock_guard<std::mutex> guard(gate->lock);
    gate->closed = true;
    gate->changed.notify_all();
}
