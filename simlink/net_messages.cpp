// The network link's messages, JSON over WebSocket: what Valdora sends (declare, write, read,
// and an about.read that every pass ends with, since the server answers a read that found
// nothing changed with no message at all), and the reading of whatever the server sends back.
// A server's message is checked whole before any value of it is stored.
#include "simlink/simlink.h"

#include <nlohmann/json.hpp>
#include <stdio.h>
#include <string.h>

using nlohmann::json;

static const char *type_name(char type) {
    switch (type) {
    case 'u':
        return "uint";
    case 'i':
        return "int";
    case 's':
        return "string";
    default:
        return "byteArray";
    }
}

// Copies a message into out, or leaves out empty when it does not fit.
static void put(const json &j, char *out, size_t size) {
    std::string text = j.dump(-1, ' ', true);
    if (text.size() < size)
        memcpy(out, text.c_str(), text.size() + 1);
    else if (size)
        out[0] = 0;
}

static std::string name_of(int group) {
    char name[8];
    sim_net_group_name(group, name);
    return name;
}

void sim_net_declare_message(int group, char *out, size_t size) {
    const sim_net_group *g = &sim_net_groups[group];
    json offsets = json::array();
    for (int i = 0; i < g->count; i++) {
        const sim_net_entry *e = &sim_net_entries[g->first + i];
        offsets.push_back({{"name", "o" + std::to_string(i)},
                           {"address", e->offset},
                           {"type", type_name(e->type)},
                           {"size", e->size}});
    }
    put({{"command", "offsets.declare"}, {"name", name_of(group)}, {"offsets", offsets}}, out,
        size);
}

// An offset's bytes (little-endian) as the value its type travels as.
static json value_of(const sim_net_entry *e, const BYTE *p) {
    uint64_t v = 0;
    switch (e->type) {
    case 'u':
    case 'i':
        for (DWORD k = 0; k < e->size; k++)
            v |= (uint64_t)p[k] << (8 * k);
        return e->type == 'i' ? json((int64_t)v) : json(v);
    case 's':
        return std::string((const char *)p, strnlen((const char *)p, e->size));
    default:
        return json(std::vector<int>(p, p + e->size));
    }
}

int sim_net_write_message(int group, const BYTE *data, char *out, size_t size) {
    const sim_net_group *g = &sim_net_groups[group];
    json offsets = json::array();
    for (int i = 0; i < g->count; i++) {
        const sim_net_entry *e = &sim_net_entries[g->first + i];
        offsets.push_back({{"name", "o" + std::to_string(i)}, {"value", value_of(e, data)}});
        data += e->size;
    }
    put({{"command", "offsets.write"}, {"name", name_of(group)}, {"offsets", offsets}}, out, size);
    return out[0] ? 0 : -1;
}

void sim_net_read_message(int group, char *out, size_t size) {
    put({{"command", "offsets.read"}, {"name", name_of(group)}}, out, size);
}

// Each pass's barrier has a name of its own, so a stray or late about.read answer can never
// end another pass before its read is answered.
static unsigned barrier_count = 0;

void sim_net_barrier_message(char *out, size_t size) {
    put({{"command", "about.read"}, {"name", "b" + std::to_string(++barrier_count)}}, out, size);
}

static int bad(char *why, size_t size, const char *text) {
    snprintf(why, size, "%s", text);
    return SIM_NET_BAD;
}

// A value as the bytes of entry e, when it has e's type and fits its size.
static int bytes_of(const sim_net_entry *e, const json &v, BYTE *out) {
    if (e->type == 'u' || e->type == 'i') {
        uint64_t n;
        if (v.is_number_unsigned())
            n = v.get<uint64_t>();
        else if (v.is_number_integer())
            n = (uint64_t)v.get<int64_t>();
        else
            return -1;
        if (e->type == 'u' && (v.is_number_unsigned() ? n >> (8 * e->size) != 0 : 1))
            return -1;
        if (e->type == 'i' && v.is_number_unsigned() && n > (uint64_t)INT64_MAX)
            return -1;
        for (DWORD k = 0; k < e->size; k++)
            out[k] = (BYTE)(n >> (8 * k));
        return 0;
    }
    if (e->type == 's') {
        if (!v.is_string())
            return -1;
        const std::string &s = v.get_ref<const std::string &>();
        if (s.size() >= e->size || s.find('\0') != std::string::npos)
            return -1;
        memset(out, 0, e->size);
        memcpy(out, s.data(), s.size());
        return 0;
    }
    if (!v.is_array() || v.size() != e->size)
        return -1;
    for (DWORD k = 0; k < e->size; k++) {
        if (!v[k].is_number_unsigned() || v[k].get<uint64_t>() > 255)
            return -1;
        out[k] = (BYTE)v[k].get<uint64_t>();
    }
    return 0;
}

// The group a name stands for, or -1.
static int group_named(const std::string &name) {
    for (int g = 0; g < sim_net_group_count; g++)
        if (name_of(g) == name)
            return g;
    return -1;
}

// Stores a read's answer after checking every value of it: names of the group, each once,
// each of its type and range.
static int take_values(int group, const json &data, char *why, size_t size) {
    const sim_net_group *g = &sim_net_groups[group];
    if (!data.is_object())
        return bad(why, size, "a read's answer without its values");
    static BYTE staged[SIM_NET_CACHE];
    static signed char seen[SIM_NET_ENTRIES];
    memset(seen, 0, (size_t)g->count);
    for (auto it = data.begin(); it != data.end(); ++it) {
        const std::string &key = it.key();
        char *end = NULL;
        long i = key.size() > 1 && key[0] == 'o' && key[1] >= '0' && key[1] <= '9'
                     ? strtol(key.c_str() + 1, &end, 10)
                     : -1;
        if (i < 0 || i >= g->count || *end != 0 || std::to_string(i) != key.substr(1) || seen[i])
            return bad(why, size, "an answer named an offset the group does not hold");
        const sim_net_entry *e = &sim_net_entries[g->first + i];
        if (bytes_of(e, it.value(), staged + e->cache) != 0) {
            snprintf(why, size, "a value of the wrong type or out of range for 0x%04X (%u bytes)",
                     (unsigned)e->offset, (unsigned)e->size);
            return SIM_NET_BAD;
        }
        seen[i] = 1;
    }
    for (int i = 0; i < g->count; i++) {
        sim_net_entry *e = &sim_net_entries[g->first + i];
        if (seen[i]) {
            memcpy(sim_net_cache + e->cache, staged + e->cache, e->size);
            e->known = 1;
        }
    }
    return SIM_NET_TAKEN;
}

int sim_net_take(const char *text, size_t len, char *why, size_t why_size) {
    if (len > SIM_NET_MESSAGE_MAX)
        return bad(why, why_size, "a message larger than 1 MiB");
    json m = json::parse(text, text + len, nullptr, false);
    if (m.is_discarded() || !m.is_object())
        return bad(why, why_size, "a message that is not a JSON object");
    auto command = m.find("command");
    auto name = m.find("name");
    auto success = m.find("success");
    if (command == m.end() || !command->is_string())
        return bad(why, why_size, "a message without its command");
    if (success == m.end() || !success->is_boolean())
        return bad(why, why_size, "a message without its success flag");
    const std::string &cmd = command->get_ref<const std::string &>();
    std::string group_name = name != m.end() && name->is_string() ? name->get<std::string>() : "";
    if (!success->get<bool>()) {
        auto code = m.find("errorCode");
        auto message = m.find("errorMessage");
        snprintf(why, why_size, "the server refused %s %s: %s %s", cmd.c_str(), group_name.c_str(),
                 code != m.end() && code->is_primitive() ? code->dump().c_str() : "",
                 message != m.end() && message->is_string()
                     ? message->get_ref<const std::string &>().c_str()
                     : "");
        return SIM_NET_BAD;
    }
    if (cmd == "about.read")
        return group_name == "b" + std::to_string(barrier_count) ? SIM_NET_BARRIER : SIM_NET_TAKEN;
    if (cmd == "offsets.read") {
        int g = group_named(group_name);
        if (g < 0)
            return bad(why, why_size, "an answer for a group never declared");
        auto data = m.find("data");
        if (data == m.end())
            return bad(why, why_size, "a read's answer without its values");
        return take_values(g, *data, why, why_size);
    }
    if (cmd == "offsets.declare" || cmd == "offsets.write" || cmd == "offsets.stop") {
        if (group_named(group_name) < 0)
            return bad(why, why_size, "an answer for a group never declared");
        return SIM_NET_TAKEN;
    }
    return SIM_NET_TAKEN; // other commands' answers are not ours to judge
}
