// The stand-in's WebSocket server (the web server library's server side): accepts clients that
// ask for the "fsuipc" subprotocol at /fsuipc/, gathers each message whole and hands it to the
// protocol's answers (sim/net_protocol.cpp), one client's messages in order.
#include "sim/sim.h"

#include <atomic>
#include <civetweb.h>
#include <string.h>
#include <string>

#define MESSAGE_MAX (1024 * 1024) // a longer message ends the client's connection

static struct mg_context *ctx = NULL;
static std::atomic<int> clients(0);

namespace {
struct client {
    sim_net_peer *peer;
    std::string partial;
};
} // namespace

void (*sim_net_send_hook)(void *conn, const char *text, size_t len) = NULL;

static void send_text(void *conn, const char *text, size_t len) {
    if (sim_net_send_hook)
        return sim_net_send_hook(conn, text, len);
    mg_websocket_write((struct mg_connection *)conn, MG_WEBSOCKET_OPCODE_TEXT, text, len);
}

// Only upgrades at the protocol's path that offer its subprotocol.
static int on_connect(const struct mg_connection *conn, void *) {
    const char *uri = mg_get_request_info(conn)->local_uri;
    const char *protocols = mg_get_header(conn, "Sec-WebSocket-Protocol");
    if (!uri || (strcmp(uri, "/fsuipc/") != 0 && strcmp(uri, "/fsuipc") != 0))
        return 1;
    return protocols && strstr(protocols, "fsuipc") ? 0 : 1;
}

static void on_ready(struct mg_connection *conn, void *) {
    client *c = new client();
    c->peer = sim_net_peer_new();
    mg_set_user_connection_data(conn, c);
    clients++;
}

static int on_data(struct mg_connection *conn, int bits, char *data, size_t len, void *) {
    client *c = (client *)mg_get_user_connection_data(conn);
    int opcode = bits & 0x0F;
    if (!c || opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE)
        return 0;
    if (opcode != MG_WEBSOCKET_OPCODE_TEXT && opcode != MG_WEBSOCKET_OPCODE_BINARY &&
        opcode != MG_WEBSOCKET_OPCODE_CONTINUATION)
        return 1;
    if (opcode != MG_WEBSOCKET_OPCODE_CONTINUATION)
        c->partial.clear();
    if (c->partial.size() + len > MESSAGE_MAX)
        return 0;
    c->partial.append(data, len);
    if (bits & 0x80) {
        sim_net_handle(c->peer, c->partial.data(), c->partial.size(), send_text, conn);
        c->partial.clear();
    }
    return 1;
}

static void on_close(const struct mg_connection *conn, void *) {
    client *c = (client *)mg_get_user_connection_data(conn);
    if (!c)
        return;
    sim_net_peer_free(c->peer);
    delete c;
    clients--;
}

static int quiet(const struct mg_connection *, const char *) {
    return 1;
}

int sim_net_serve(int port) {
    char ports[16];
    snprintf(ports, sizeof ports, "%d", port);
    const char *options[] = {"listening_ports", ports, "num_threads", "8",
                             "tcp_nodelay",     "1",   NULL};
    struct mg_callbacks callbacks;
    memset(&callbacks, 0, sizeof callbacks);
    callbacks.log_message = quiet;
    mg_init_library(0);
    ctx = mg_start(&callbacks, NULL, options);
    if (!ctx) {
        mg_exit_library();
        return -1;
    }
    static const char *names[] = {"fsuipc", NULL};
    static struct mg_websocket_subprotocols subprotocols = {1, names};
    mg_set_websocket_handler_with_subprotocols(ctx, "/fsuipc", &subprotocols, on_connect, on_ready,
                                               on_data, on_close, NULL);
    return 0;
}

int sim_net_client_count(void) {
    return clients.load();
}

void sim_net_stop(void) {
    if (!ctx)
        return;
    mg_stop(ctx);
    ctx = NULL;
    mg_exit_library();
}
