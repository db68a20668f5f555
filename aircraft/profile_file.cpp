// Reading one aircraft profile file (TOML): its name, match rules, reads, lamps and writes.
// Everything a builder can get wrong is reported as "FILE:LINE: what is wrong" and the whole
// profile is refused, so a half-understood profile never drives the cockpit.
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include "aircraft/aircraft.h"
#include "boards/boards.h"

#include <cmath>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace {

// The reader's state for one file: where its message goes. Every check returns at the first
// fault, so there is one message.
struct reader {
    const char *file;
    char *error;
    size_t error_size;
};

bool fail(reader &r, const toml::source_region &where, const char *format, ...) {
    int n = snprintf(r.error, r.error_size, "%s:%u: ", r.file, (unsigned)where.begin.line);
    if (n > 0 && (size_t)n < r.error_size) {
        va_list args;
        va_start(args, format);
        vsnprintf(r.error + n, r.error_size - (size_t)n, format, args);
        va_end(args);
    }
    return false;
}

bool copy_text(reader &r, const toml::node &node, const char *what, char *out) {
    const auto *s = node.as_string();
    if (s == nullptr)
        return fail(r, node.source(), "%s must be a text", what);
    const std::string &v = s->get();
    if (v.size() >= PROFILE_TEXT || v.find('\0') != std::string::npos)
        return fail(r, node.source(), "%s is longer than %d characters", what, PROFILE_TEXT - 1);
    for (char c : v) // escapes such as \n or \u001B would break the log's lines or the screen
        if ((unsigned char)c < 0x20 || c == 0x7F)
            return fail(r, node.source(), "%s holds a control character", what);
    memcpy(out, v.c_str(), v.size() + 1);
    return true;
}

// A number given as an integer or a float.
bool number(reader &r, const toml::node &node, const char *key, double *out) {
    if (auto i = node.value_exact<int64_t>()) {
        *out = (double)*i;
        return true;
    }
    if (auto d = node.value_exact<double>()) {
        *out = *d;
        if (!std::isfinite(*d)) // TOML's inf and nan would turn every value into nonsense
            return fail(r, node.source(), "%s must be a finite number", key);
        return true;
    }
    return fail(r, node.source(), "%s must be a number", key);
}

bool integer(reader &r, const toml::node &node, const char *key, int64_t lo, int64_t hi,
             int64_t *out) {
    auto i = node.value_exact<int64_t>();
    if (!i)
        return fail(r, node.source(), "%s must be a whole number", key);
    if (*i < lo || *i > hi)
        return fail(r, node.source(), "%s %lld is outside %lld to %lld", key, (long long)*i,
                    (long long)lo, (long long)hi);
    *out = *i;
    return true;
}

bool key_is_one_of(const std::string_view key, const char *const *keys) {
    for (int i = 0; keys[i] != nullptr; i++)
        if (key == keys[i])
            return true;
    return false;
}

// The keys of a table must all be known.
bool known_keys(reader &r, const toml::table &t, const char *what, const char *const *keys) {
    for (auto &&[k, v] : t)
        if (!key_is_one_of(k.str(), keys))
            return fail(r, v.source(), "unknown key \"%s\" in %s", std::string(k.str()).c_str(),
                        what);
    return true;
}

// offset, size, type, scale, add (or value alone) of a source.
bool read_source(reader &r, const toml::table &t, const char *name, profile_source *s) {
    s->scale = 1.0;
    s->add = 0.0;
    s->type = 'u';
    if (const toml::node *v = t.get("value")) {
        if (t.contains("offset"))
            return fail(r, v->source(), "\"%s\" has both a value and an offset", name);
        s->fixed = 1;
        return number(r, *v, "value", &s->value);
    }
    const toml::node *o = t.get("offset");
    if (o == nullptr)
        return fail(r, t.source(), "\"%s\" needs an offset or a value", name);
    const toml::node *z = t.get("size");
    if (z == nullptr)
        return fail(r, t.source(), "\"%s\" needs a size (1, 2, 4 or 8)", name);
    int64_t offset = 0, size = 0;
    if (!integer(r, *o, "offset", 0, 0xFFFF, &offset) || !integer(r, *z, "size", 1, 8, &size))
        return false;
    if (size != 1 && size != 2 && size != 4 && size != 8)
        return fail(r, z->source(), "size %lld is not 1, 2, 4 or 8", (long long)size);
    if (offset + size > 0x10000)
        return fail(r, o->source(), "offset 0x%llX with size %lld runs past 0xFFFF",
                    (long long)offset, (long long)size);
    s->offset = (uint16_t)offset;
    s->size = (uint8_t)size;
    if (const toml::node *ty = t.get("type")) {
        auto text = ty->value_exact<std::string>();
        if (!text || (*text != "unsigned" && *text != "signed" && *text != "float"))
            return fail(r, ty->source(), "type must be \"unsigned\", \"signed\" or \"float\"");
        s->type = (*text)[0] == 'u' ? 'u' : (*text)[0] == 's' ? 's' : 'f';
        if (s->type == 'f' && size != 4 && size != 8)
            return fail(r, ty->source(), "a float is 4 or 8 bytes, not %lld", (long long)size);
    }
    if (const toml::node *v = t.get("scale"); v != nullptr && !number(r, *v, "scale", &s->scale))
        return false;
    if (const toml::node *v = t.get("add"); v != nullptr && !number(r, *v, "add", &s->add))
        return false;
    return true;
}

profile_item *new_item(reader &r, aircraft_profile_t *p, const toml::node &where) {
    if (p->item_count >= PROFILE_ITEMS) {
        fail(r, where.source(), "more than %d reads, lamps and writes", PROFILE_ITEMS);
        return nullptr;
    }
    profile_item *item = &p->items[p->item_count++];
    memset(item, 0, sizeof *item);
    return item;
}

// The standard name as the program's tables spell it (the profile item keeps that pointer).
const char *read_name(const std::string &name) {
    for (int g = 0; g < 4; g++)
        for (const aircraft_value *v = aircraft_group_reads[g]; v->size != 0; v++)
            if (name == v->name)
                return v->name;
    return nullptr;
}

bool read_reads(reader &r, const toml::table &t, aircraft_profile_t *p) {
    static const char *const keys[] = {"offset", "size", "type", "scale", "add", "value", nullptr};
    for (auto &&[k, v] : t) {
        std::string name(k.str());
        const char *standard = read_name(name);
        if (standard == nullptr)
            return fail(r, v.source(), "no value the program reads is called \"%s\"", name.c_str());
        const toml::table *entry = v.as_table();
        if (entry == nullptr)
            return fail(r, v.source(), "read \"%s\" must be a table { offset = ..., size = ... }",
                        name.c_str());
        profile_item *item = new_item(r, p, v);
        if (item == nullptr || !known_keys(r, *entry, "a read", keys) ||
            !read_source(r, *entry, name.c_str(), &item->src))
            return false;
        item->kind = PROFILE_READ;
        item->name = standard;
    }
    return true;
}

// A lamp output by its wiring name; the master lamps and the APU gauge keep their own logic.
const board_wire *lamp_wire(const std::string &name) {
    for (int i = 0; i < board_wiring_count; i++) {
        const board_wire *w = &board_wiring[i];
        if (name != w->name || (w->kind != BOARD_DIGITAL_OUT && w->kind != BOARD_ANALOG_OUT))
            continue;
        if (name == "master-warning" || name == "master-caution" || name == "apu-gauge")
            return nullptr;
        return w;
    }
    return nullptr;
}

bool read_lamps(reader &r, const toml::table &t, aircraft_profile_t *p) {
    static const char *const keys[] = {"offset", "size",    "type",  "scale", "add",  "value",
                                       "equals", "differs", "above", "below", "mask", nullptr};
    static const char *const tests[] = {"equals", "differs", "above", "below", "mask"};
    static const char test_codes[] = {'=', '!', '>', '<', '&'};
    for (auto &&[k, v] : t) {
        std::string name(k.str());
        const board_wire *w = lamp_wire(name);
        if (w == nullptr)
            return fail(r, v.source(), "no lamp a profile may drive is called \"%s\"",
                        name.c_str());
        const toml::table *entry = v.as_table();
        if (entry == nullptr)
            return fail(r, v.source(), "lamp \"%s\" must be a table { offset = ..., equals = 1 }",
                        name.c_str());
        profile_item *item = new_item(r, p, v);
        if (item == nullptr || !known_keys(r, *entry, "a lamp", keys) ||
            !read_source(r, *entry, name.c_str(), &item->src))
            return false;
        item->kind = PROFILE_LAMP;
        item->name = w->name;
        item->board = w->board;
        item->output = w->kind == BOARD_ANALOG_OUT ? 8 + w->channel : w->channel;
        item->test = '!'; // lit while the value is not 0, unless a condition says otherwise
        int conditions = 0;
        for (int i = 0; i < 5; i++) {
            const toml::node *c = entry->get(tests[i]);
            if (c == nullptr)
                continue;
            if (++conditions > 1)
                return fail(r, c->source(), "lamp \"%s\" has more than one condition",
                            name.c_str());
            if (!number(r, *c, tests[i], &item->operand))
                return false;
            item->test = test_codes[i];
        }
    }
    return true;
}

bool read_writes(reader &r, const toml::table &t, aircraft_profile_t *p) {
    static const char *const keys[] = {"offset", "size",    "type",      "scale",
                                       "add",    "control", "parameter", nullptr};
    for (auto &&[k, v] : t) {
        std::string name(k.str());
        const char *standard = aircraft_write_name(name.c_str());
        if (standard == nullptr)
            return fail(r, v.source(), "no value the program writes is called \"%s\"",
                        name.c_str());
        profile_item *item = new_item(r, p, v);
        if (item == nullptr)
            return false;
        item->kind = PROFILE_WRITE;
        item->name = standard;
        item->src.scale = 1.0;
        if (auto text = v.value_exact<std::string>()) {
            if (*text != "nothing")
                return fail(r, v.source(), "write \"%s\" may be \"nothing\" or a table",
                            name.c_str());
            item->mode = 'n';
        } else if (const toml::table *entry = v.as_table()) {
            if (!known_keys(r, *entry, "a write", keys))
                return false;
            if (const toml::node *c = entry->get("control")) {
                int64_t control = 0, parameter = 0;
                if (entry->contains("offset"))
                    return fail(r, c->source(), "write \"%s\" has both a control and an offset",
                                name.c_str());
                if (!integer(r, *c, "control", 1, 0xFFFFFFFFll, &control))
                    return false;
                item->mode = 'c';
                item->control = (uint32_t)control;
                if (const toml::node *pa = entry->get("parameter")) {
                    if (!integer(r, *pa, "parameter", INT32_MIN, INT32_MAX, &parameter))
                        return false;
                    item->parameter_set = 1;
                    item->parameter = (int32_t)parameter;
                }
                if (const toml::node *s = entry->get("scale");
                    s != nullptr && !number(r, *s, "scale", &item->src.scale))
                    return false;
                if (const toml::node *a = entry->get("add");
                    a != nullptr && !number(r, *a, "add", &item->src.add))
                    return false;
            } else {
                if (entry->contains("parameter"))
                    return fail(r, v.source(), "a parameter goes with a control");
                if (entry->contains("value"))
                    return fail(r, v.source(), "a write takes no fixed value");
                if (!read_source(r, *entry, name.c_str(), &item->src))
                    return false;
                item->mode = 'o';
            }
        } else {
            return fail(r, v.source(), "write \"%s\" may be \"nothing\" or a table", name.c_str());
        }
    }
    return true;
}

bool read_match(reader &r, const toml::table &t, aircraft_profile_t *p) {
    static const char *const keys[] = {"path", "title", nullptr};
    if (!known_keys(r, t, "[match]", keys))
        return false;
    // Path patterns are tried before title patterns: a family's folder covers every livery.
    for (const char *on : {"path", "title"}) {
        const toml::node *n = t.get(on);
        if (n == nullptr)
            continue;
        const toml::array *a = n->as_array();
        if (a == nullptr)
            return fail(r, n->source(), "%s must be a list of texts: [\"...\"]", on);
        for (const toml::node &e : *a) {
            if (p->rule_count >= PROFILE_RULES)
                return fail(r, e.source(), "more than %d match rules", PROFILE_RULES);
            if (!copy_text(r, e, on, p->rules[p->rule_count].pattern))
                return false;
            if (p->rules[p->rule_count].pattern[0] == '\0')
                return fail(r, e.source(), "an empty %s pattern would match every aircraft", on);
            p->rules[p->rule_count++].on = on[0];
        }
    }
    if (p->rule_count == 0)
        return fail(r, t.source(), "[match] has no path or title pattern");
    return true;
}

// The line of the first byte that is not plain ASCII, or 0. The TOML reader of this version
// takes most characters beyond ASCII, where it tests for whitespace (after a value, in a key,
// after a line-ending backslash), for a case it never expects and runs into undefined
// behaviour; so profiles are plain ASCII (a pattern takes '*' for any other letter).
unsigned non_ascii_line(const char *text, size_t size) {
    unsigned line = 1;
    for (size_t i = 0; i < size; i++) {
        if (text[i] == '\n')
            line++;
        if ((unsigned char)text[i] >= 0x80)
            return line;
    }
    return 0;
}

// The key a "cannot redefine" error is about, as the file writes it (toml++ garbles a quoted
// key in its own message: '"ststall" '). The error's place is a table header's line, or the
// value just after the second key's '=', inside an inline table too. Enclosing quotes are
// dropped; "" when the text there is not as expected.
std::string given_twice(const char *text, size_t size, const toml::source_position &at,
                        bool header) {
    size_t i = 0;
    for (unsigned line = 1; line < at.line && i < size; i++)
        if (text[i] == '\n')
            line++;
    size_t end = i;
    while (end < size && text[end] != '\n')
        end++;
    std::string line(text + i, end - i), key;
    if (header) {
        size_t from = line.find_first_not_of(" \t["), to = line.find(']', from);
        if (from != std::string::npos && to != std::string::npos)
            key = line.substr(from, to - from);
    } else {
        std::string left = line.substr(0, std::min<size_t>(at.column - 1, line.size()));
        left.erase(left.find_last_not_of(" \t=") + 1);
        size_t k = left.size(); // back to the inline table's '{' or ',' before the key
        while (k > 0 && left[k - 1] != '{' && left[k - 1] != ',') {
            char c = left[--k];
            if (c == '"' || c == '\'') // a quoted part may hold a ',' or '{'
                while (k > 0 && left[--k] != c) {
                }
        }
        key = left.substr(k);
    }
    key.erase(0, key.find_first_not_of(" \t"));
    key.erase(key.find_last_not_of(" \t") + 1);
    if (key.size() >= 2 && (key[0] == '"' || key[0] == '\'') &&
        key.find(key[0], 1) == key.size() - 1)
        key = key.substr(1, key.size() - 2);
    return key;
}

} // namespace

int profile_parse(const char *text, size_t size, const char *file, aircraft_profile_t *out,
                  char *error, size_t error_size) {
    reader r = {file, error, error_size};
    memset(out, 0, sizeof *out);
    toml::source_region start;
    start.begin.line = 1;
    if (size > PROFILE_FILE_MAX)
        return fail(r, start, "file larger than %d bytes", PROFILE_FILE_MAX), -1;
    if (memchr(text, '\0', size) != nullptr)
        return fail(r, start, "not a text file (it holds zero bytes)"), -1;
    if (unsigned line = non_ascii_line(text, size)) {
        start.begin.line = line;
        return fail(r, start, "only plain ASCII is taken (write * for any other letter)"), -1;
    }
    snprintf(out->file, sizeof out->file, "%s", file);
    snprintf(out->name, sizeof out->name, "%s", file);
    toml::parse_result parsed = toml::parse(std::string_view(text, size), std::string_view(file));
    if (!parsed) {
        const toml::parse_error &e = parsed.error();
        std::string what(e.description()), key;
        bool header = what.find("table header") != std::string::npos;
        if (what.find("cannot redefine existing") != std::string::npos)
            key = given_twice(text, size, e.source().begin, header);
        if (!key.empty())
            return fail(r, e.source(),
                        header ? "not TOML: table [%s] is given twice"
                               : "not TOML: key \"%s\" is given twice",
                        key.c_str()),
                   -1;
        return fail(r, e.source(), "not TOML: %s", what.c_str()), -1;
    }
    const toml::table &t = parsed.table();
    static const char *const keys[] = {"name", "match", "reads", "lamps", "writes", nullptr};
    if (!known_keys(r, t, "the profile", keys))
        return -1;
    if (const toml::node *n = t.get("name"); n != nullptr && !copy_text(r, *n, "name", out->name))
        return -1;
    const toml::node *m = t.get("match");
    if (m == nullptr)
        return fail(r, start, "no [match] section: the profile would never be used"), -1;
    if (!m->is_table())
        return fail(r, m->source(), "match must be a section [match]"), -1;
    if (!read_match(r, *m->as_table(), out))
        return -1;
    struct {
        const char *key;
        bool (*read)(reader &, const toml::table &, aircraft_profile_t *);
    } sections[] = {{"reads", read_reads}, {"lamps", read_lamps}, {"writes", read_writes}};
    for (auto &s : sections) {
        const toml::node *n = t.get(s.key);
        if (n == nullptr)
            continue;
        if (!n->is_table())
            return fail(r, n->source(), "%s must be a section [%s]", s.key, s.key), -1;
        if (!s.read(r, *n->as_table(), out))
            return -1;
    }
    return 0;
}
