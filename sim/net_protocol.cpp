// The stand-in's answers to the simulator WebSocket protocol, one client at a time: groups of
// offsets declared by name, reads answered with only what changed since that group's last
// answer (everything the first time, no message when nothing changed), writes by group and
// offset name (one without a group name dropped unanswered), about.read and offsets.stop.
// Anything else is refused with an error answer, as the real server does.
#include "sim/sim.h"

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string.h>
#include <vector>

using nlohmann::json;

#define PEER_GROUPS 256    // groups one client may declare
#define GROUP_OFFSETS 4096 // offsets in one group

namespace {
struct entry {
    std::string name;
    uint32_t address, size;
    char type; // 'u' uint, 'i' int, 's' string, 'b' byteArray
};
struct group {
    std::vector<entry> entries;
    std::vector<uint8_t> last; // the values of the last answer
    bool answered = false;
};
} // namespace

struct sim_net_peer {
    std::map<std::string, group> groups;
};

sim_net_peer *sim_net_peer_new(void) {
    return new sim_net_peer();
}

void sim_net_peer_free(sim_net_peer *peer) {
    delete peer;
}

static void answer(const json &j, void (*send)(void *, const char *, size_t), void *ctx) {
    // A text offset may hold any bytes: those that are no UTF-8 travel as U+FFFD rather than
    // ending the server.
    std::string text = j.dump(-1, ' ', true, json::error_handler_t::replace);
    send(ctx, text.data(), text.size());
}

static void refuse(const std::string &command, const std::string &name, const char *code,
                   const char *message, void (*send)(void *, const char *, size_t), void *ctx) {
    answer({{"command", command},
            {"name", name},
            {"success", false},
            {"errorCode", code},
            {"errorMessage", message}},
           send, ctx);
}

// A declared offset's type from its name and size; 0 when the pair is not served.
static char type_of(const std::string &type, uint64_t size) {
    if (type == "uint" && (size == 1 || size == 2 || size == 4 || size == 8))
        return 'u';
    if (type == "int" && (size == 1 || size == 2 || size == 4 || size == 8))
        return 'i';
    if (type == "string" && size >= 1 && size <= 256)
        return 's';
    if (type == "byteArray" && size >= 1 && size <= 0x8000)
        return 'b';
    return 0;
}

static json value_of(const entry &e, const uint8_t *p) {
    uint64_t v = 0;
    switch (e.type) {
    case 'u':
    case 'i':
        for (uint32_t k = 0; k < e.size; k++)
            v |= (uint64_t)p[k] << (8 * k);
        if (e.type == 'i' && e.size < 8 && (v >> (8 * e.size - 1)) & 1)
            v |= ~0ull << (8 * e.size); // sign-extended
        return e.type == 'i' ? json((int64_t)v) : json(v);
    case 's':
        return std::string((const char *)p, strnlen((const char *)p, e.size));
    default:
        return json(std::vector<int>(p, p + e.size));
    }
}

// A written value as e's bytes; 0, or -1 when it is not of e's type or range.
static int bytes_of(const entry &e, const json &v, uint8_t *out) {
    if (e.type == 'u' || e.type == 'i') {
        if (!v.is_number_integer())
            return -1;
        uint64_t n = v.is_number_unsigned() ? v.get<uint64_t>() : (uint64_t)v.get<int64_t>();
        if (e.size < 8) {
            int64_t s = v.is_number_unsigned() ? (v.get<uint64_t>() > INT64_MAX ? -1 : (int64_t)n)
                                               : v.get<int64_t>();
            int64_t lo = e.type == 'u' ? 0 : -(1ll << (8 * e.size - 1));
            int64_t hi = e.type == 'u' ? (1ll << (8 * e.size)) - 1 : (1ll << (8 * e.size - 1)) - 1;
            if (s < lo || s > hi)
                return -1;
        } else if (e.type == 'u' && !v.is_number_unsigned()) {
            return -1;
        }
        for (uint32_t k = 0; k < e.size; k++)
            out[k] = (uint8_t)(n >> (8 * k));
        return 0;
    }
    if (e.type == 's') {
        if (!v.is_string() || v.get_ref<const std::string &>().size() >= e.size)
            return -1;
        memset(out, 0, e.size);
        memcpy(out, v.get_ref<const std::string &>().data(),
               v.get_ref<const std::string &>().size());
        return 0;
    }
    if (!v.is_array() || v.size() != e.size)
        return -1;
    for (uint32_t k = 0; k < e.size; k++) {
        if (!v[k].is_number_unsigned() || v[k].get<uint64_t>() > 255)
            return -1;
        out[k] = (uint8_t)v[k].get<uint64_t>();
    }
    return 0;
}

static void declare(sim_net_peer *peer, const std::string &name, const json &m,
                    void (*send)(void *, const char *, size_t), void *ctx) {
    auto offsets = m.find("offsets");
    if (offsets == m.end() || !offsets->is_array() || offsets->empty() ||
        offsets->size() > GROUP_OFFSETS)
        return refuse("offsets.declare", name, "BadRequest", "offsets: a list of 1 to 4096", send,
                      ctx);
    if (!peer->groups.count(name) && peer->groups.size() >= PEER_GROUPS)
        return refuse("offsets.declare", name, "BadRequest", "too many groups", send, ctx);
    group g;
    uint64_t bytes = 0; // a group holds at most the whole offset space's worth of values
    for (const json &o : *offsets) {
        if (!o.is_object() || !o.contains("name") || !o["name"].is_string() ||
            !o.contains("address") || !o["address"].is_number_unsigned() || !o.contains("type") ||
            !o["type"].is_string() || !o.contains("size") || !o["size"].is_number_unsigned())
            return refuse("offsets.declare", name, "BadRequest",
                          "each offset needs name, address, type and size", send, ctx);
        entry e;
        e.name = o["name"].get<std::string>();
        uint64_t address = o["address"].get<uint64_t>(), size = o["size"].get<uint64_t>();
        e.type = type_of(o["type"].get<std::string>(), size);
        if (!e.type || address + size > SIM_OFFSETS)
            return refuse("offsets.declare", name, "BadRequest",
                          ("offset " + e.name + ": type, size or address not served").c_str(), send,
                          ctx);
        for (const entry &have : g.entries)
            if (have.name == e.name)
                return refuse("offsets.declare", name, "BadRequest", "an offset name twice", send,
                              ctx);
        if ((bytes += size) > SIM_OFFSETS)
            return refuse("offsets.declare", name, "BadRequest", "a group larger than 64 KiB", send,
                          ctx);
        e.address = (uint32_t)address;
        e.size = (uint32_t)size;
        g.entries.push_back(e);
    }
    peer->groups[name] = g; // a name declared again takes the new meaning
    answer({{"command", "offsets.declare"}, {"name", name}, {"success", true}}, send, ctx);
}

static void read_group(group &g, const std::string &name,
                       void (*send)(void *, const char *, size_t), void *ctx) {
    std::vector<uint8_t> now;
    sim_lock(); // the whole group from one moment
    for (const entry &e : g.entries)
        now.insert(now.end(), sim_offsets + e.address, sim_offsets + e.address + e.size);
    sim_unlock();
    json data = json::object();
    size_t at = 0;
    for (const entry &e : g.entries) {
        if (!g.answered || memcmp(&now[at], &g.last[at], e.size) != 0)
            data[e.name] = value_of(e, &now[at]);
        at += e.size;
    }
    g.last = now;
    g.answered = true;
    if (!data.empty())
        answer({{"command", "offsets.read"}, {"name", name}, {"success", true}, {"data", data}},
               send, ctx);
}

static void write_group(group &g, const std::string &name, const json &m,
                        void (*send)(void *, const char *, size_t), void *ctx) {
    auto offsets = m.find("offsets");
    if (offsets == m.end() || !offsets->is_array())
        return refuse("offsets.write", name, "BadRequest", "offsets: a list", send, ctx);
    std::vector<std::pair<const entry *, std::vector<uint8_t>>> writes;
    for (const json &o : *offsets) {
        const entry *e = NULL;
        if (o.is_object() && o.contains("name") && o["name"].is_string())
            for (const entry &have : g.entries)
                if (have.name == o["name"].get_ref<const std::string &>())
                    e = &have;
        if (!e || !o.contains("value"))
            return refuse("offsets.write", name, "BadRequest",
                          "each offset needs the name of one of the group and a value", send, ctx);
        std::vector<uint8_t> bytes(e->size);
        if (bytes_of(*e, o["value"], bytes.data()) != 0)
            return refuse("offsets.write", name, "BadRequest",
                          ("offset " + e->name + ": a value of the wrong type or range").c_str(),
                          send, ctx);
        writes.emplace_back(e, bytes);
    }
    sim_lock(); // all or nothing, in the order given
    for (auto &w : writes)
        sim_write(w.first->address, w.first->size, w.second.data());
    sim_unlock();
}

void sim_net_handle(sim_net_peer *peer, const char *text, size_t len,
                    void (*send)(void *, const char *, size_t), void *ctx) {
    json m = json::parse(text, text + len, nullptr, false);
    if (m.is_discarded() || !m.is_object() || !m.contains("command") || !m["command"].is_string())
        return refuse("", "", "BadRequest", "not a JSON object with a command", send, ctx);
    std::string command = m["command"].get<std::string>();
    std::string name =
        m.contains("name") && m["name"].is_string() ? m["name"].get<std::string>() : "";
    if (command == "about.read") {
        answer({{"command", command},
                {"name", name},
                {"success", true},
                {"data",
                 {{"product", "valdora-sim"},
                  {"fsuipcVersion", sim_get(0x3304, 4)},
                  {"simulator", sim_get(0x3308, 4) & 0xFFFF}}}},
               send, ctx);
        return;
    }
    if (command == "offsets.write" && name.empty())
        return; // the real server drops it without a word
    if (name.empty())
        return refuse(command, name, "BadRequest", "a name is needed", send, ctx);
    if (command == "offsets.declare")
        return declare(peer, name, m, send, ctx);
    auto g = peer->groups.find(name);
    if (command != "offsets.read" && command != "offsets.write" && command != "offsets.stop")
        return refuse(command, name, "UnknownCommand", "not a command of this server", send, ctx);
    if (g == peer->groups.end())
        return refuse(command, name, "NotDeclared", "no group of that name", send, ctx);
    if (command == "offsets.read") {
        if (m.contains("interval"))
            return refuse(command, name, "NotSupported",
                          "the stand-in answers reads one at a time (no interval)", send, ctx);
        return read_group(g->second, name, send, ctx);
    }
    if (command == "offsets.write")
        return write_group(g->second, name, m, send, ctx);
    answer({{"command", command}, {"name", name}, {"success", true}}, send, ctx);
}
