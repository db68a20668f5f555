// The simulator link over the network: addresses, the shapes of the messages sent, the reading
// of a server's answers (hostile ones among them), the stand-in's side of the protocol, and the
// client against the stand-in's server over loopback, also when that server misbehaves.
#include "sim/sim.h"
#include "simlink/simlink.h"

#include <civetweb.h>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

using nlohmann::json;

namespace {

// The words of a text, split at blanks (test tables of JSON without blanks).
std::vector<std::string> words(const char *text) {
    std::istringstream in(text);
    std::vector<std::string> w;
    for (std::string s; in >> s;)
        w.push_back(s);
    return w;
}

TEST(NetAddress, FormsTakenAndRefused) {
    char host[64];
    int port = 0;
    auto parsed = [&](const std::string &text) {
        return sim_address_parse(text.c_str(), host, sizeof host, &port) == 0
                   ? std::string(host) + " " + std::to_string(port)
                   : "refused";
    };
    EXPECT_EQ(parsed("ws://sim-pc") + ", " + parsed("ws://10.0.0.5:65535/") + ", " +
                  parsed("ws://sim:9"),
              "sim-pc 2048, 10.0.0.5 65535, sim 9");
    for (const std::string &bad :
         words("http://sim ws:// ws://:2048 ws://sim:0 ws://sim:65536 "
               "ws://sim: ws://sim:20x ws://sim/other ws://sim// ws://s_m"))
        EXPECT_EQ(parsed(bad), "refused") << bad;
    EXPECT_EQ(parsed("ws://sim\r\nX: y") + parsed("ws://sim pc"), "refusedrefused");
    EXPECT_EQ(sim_address_parse("ws://abcdefgh", host, 8, &port), -1) << "no room for its end";

    // The command line (a bad address, or --sim without one, leaves the one before), then
    // valdora.ini (sim= alone: the local interface; no line: none taken).
    std::string got; // each call's result and the address after it
    for (auto a : std::vector<std::vector<const char *>>{{"valdora", "--sim", "ws://a:1"},
                                                         {"valdora", "--sim=ws://b"},
                                                         {"valdora", "--sim", "tcp://c"},
                                                         {"valdora", "--sim"}})
        got += std::to_string(sim_address_from_args((int)a.size(), (char **)a.data())) + " " +
               sim_address + ", ";
    for (const char *text : {"web=1\nsim=ws://c:5\r\nport=8080\n", "sim=\n", "web=1\n"}) {
        std::ofstream("net_test.ini") << text;
        got += std::to_string(sim_address_from_ini("net_test.ini")) + " " + sim_address + ", ";
    }
    EXPECT_EQ(got, "0 ws://a:1, 0 ws://b, -1 ws://b, -1 ws://b, 0 ws://c:5, 0 , -1 , ");
    remove("net_test.ini");
}

// A group as the client declares it.
int group_of(char kind, std::vector<sim_net_entry> entries, int *declared = nullptr) {
    int d;
    return sim_net_group_for(kind, entries.data(), (int)entries.size(), declared ? declared : &d);
}

json message(void (*build)(int, char *, size_t), int group) {
    static char out[65536];
    build(group, out, sizeof out);
    return json::parse(out);
}

int take(const std::string &m) {
    char why[256] = "";
    return sim_net_take(m.data(), m.size(), why, sizeof why);
}

std::string read_of(const std::string &group, const std::string &data) {
    return R"({"command":"offsets.read","name":")" + group + R"(","success":true,"data":)" + data +
           "}";
}

TEST(NetMessages, WhatValdoraSends) {
    const BYTE text[] = "Valdora V2.08 Connected";
    // Numbers by their size whatever the bytes; a text only when zeros run to its end.
    std::string types;
    const BYTE *no = NULL, *gap = (const BYTE *)"a\0b", *low = (const BYTE *)"\001a";
    const std::pair<DWORD, const BYTE *> kinds[] = {
        {1, no}, {2, no}, {4, text}, {8, no}, {3, no}, {sizeof text, text}, {3, gap}, {3, low}};
    for (auto [size, data] : kinds)
        types += sim_net_type(size, data);
    EXPECT_EQ(types, "uuuibsbb");

    sim_net_forget();
    int declared = 0;
    int r = group_of('r', {{0x034E, 2, 'u', 0, 0}, {0x1000, 3, 'b', 0, 0}}, &declared);
    EXPECT_EQ(message(sim_net_declare_message, r), json::parse(R"({"command":"offsets.declare",
        "name":"r0","offsets":[{"name":"o0","address":846,"type":"uint","size":2},
        {"name":"o1","address":4096,"type":"byteArray","size":3}]})"));
    char b1[128], b2[128];
    sim_net_barrier_message(b1, sizeof b1), sim_net_barrier_message(b2, sizeof b2);
    std::string answer = R"({"command":"about.read","success":true,"data":{},"name":)";
    EXPECT_EQ(take(answer + json::parse(b1)["name"].dump() + "}"), SIM_NET_TAKEN)
        << "an earlier pass's barrier ends nothing";
    EXPECT_EQ(take(answer + json::parse(b2)["name"].dump() + "}"), SIM_NET_BARRIER);
    EXPECT_EQ(group_of('r', {{0x034E, 2, 'u', 0, 0}, {0x1000, 3, 'b', 0, 0}}, &declared), r);
    EXPECT_EQ(declared, 0) << "the same reads: the group declared before";

    // clang-format off
    int w = group_of('w', {{0x311A, 2, 'u', 0, 0}, {0x3380, 24, 's', 0, 0}, {0x0560, 8, 'i', 0, 0},
                           {0x1000, 3, 'b', 0, 0}}, &declared);
    // clang-format on
    const BYTE data[] =
        "\x02\x18Valdora V2.08 Connected\0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x01\x02\x03";
    char out[1024];
    ASSERT_EQ(sim_net_write_message(w, data, out, sizeof out), 0);
    EXPECT_EQ(json::parse(out), json::parse(R"({"command":"offsets.write","name":"w1","offsets":[
        {"name":"o0","value":6146},{"name":"o1","value":"Valdora V2.08 Connected"},
        {"name":"o2","value":-1},{"name":"o3","value":[1,2,3]}]})"));
    EXPECT_EQ(sim_net_write_message(w, data, out, 20), -1) << "a message that does not fit";

    EXPECT_EQ(group_of('r', {}) + group_of('r', {{0, SIM_NET_CACHE + 1, 'b', 0, 0}}), -2);
    // A pass's groups fit beside those declared, or the table starts over first: one group
    // short of full, a pass needing one new group fits and one needing two does not; half the
    // entries or values each, one group fits and two do not.
    while (sim_net_group_count < SIM_NET_GROUPS - 1)
        group_of('w', {{(DWORD)sim_net_group_count, 1, 'u', 0, 0}});
    std::vector<sim_net_entry> a{{0x9000, 1, 'u', 0, 0}},
        offsets(SIM_NET_ENTRIES / 2 + 1, {0, 1, 'u', 0, 0}),
        bytes{{0, SIM_NET_CACHE / 2 + 1, 'b', 0, 0}};
    for (const auto &fill : {a, offsets, bytes}) {
        int n = (int)fill.size();
        EXPECT_EQ(10 * sim_net_pass_fits(fill.data(), n, NULL, 0) +
                      sim_net_pass_fits(fill.data(), n, fill.data(), n),
                  10)
            << n;
        sim_net_forget();
    }
}

TEST(NetReplies, HostileAnswersStoreNothing) {
    sim_net_forget();
    int g = group_of('r', {{0x034E, 2, 'u', 0, 0}, {0x0560, 8, 'i', 0, 0}, {0x1000, 3, 'b', 0, 0}});
    ASSERT_EQ(take(read_of("r0", R"({"o0":6146,"o1":-2,"o2":[1,2,255]})")), SIM_NET_TAKEN);
    const sim_net_entry *e = &sim_net_entries[sim_net_groups[g].first];
    EXPECT_EQ(sim_net_cache[e[0].cache] | sim_net_cache[e[0].cache + 1] << 8, 0x1802);
    EXPECT_EQ(sim_net_cache[e[1].cache + 7] + sim_net_cache[e[2].cache + 2], 0xFF + 255);
    std::vector<BYTE> before(sim_net_cache, sim_net_cache + 13);
    // Value lists that are no object, name what the group lacks, are of a wrong type or out of
    // range (the last beside a good one); then messages wrong as a whole.
    std::vector<std::string> bad;
    for (const std::string &data :
         words(R"([1] {"o3":1} {"o01":1} {"x":1} {"o0":"1"} {"o0":65536} {"o0":-1} {"o0":1.5}
             {"o0":true} {"o1":9223372036854775808} {"o1":1.0} {"o2":[1,2]} {"o2":[1,2,256]}
             {"o2":[1,2,-1]} {"o2":"abc"} {"o2":{"a":1,"b":2,"c":3}} {"o0":7,"o2":[1,2,300]})"))
        bad.push_back(read_of("r0", data));
    for (const std::string &m :
         words(R"({oops [1,2] {"success":true} {"command":"offsets.read","name":"r0","data":{}}
             {"command":"offsets.read","name":"r9","success":true,"data":{"o0":1}}
             {"command":"offsets.read","name":"r0","success":true}
             {"command":"offsets.declare","name":"w5","success":true})"))
        bad.push_back(m);
    bad.push_back(R"({"command":"about.read","success":true,"name":")" +
                  std::string(SIM_NET_MESSAGE_MAX, 'x') + "\"}");
    for (const std::string &m : bad)
        EXPECT_EQ(take(m), SIM_NET_BAD) << m.substr(0, 120);
    EXPECT_EQ(std::vector<BYTE>(sim_net_cache, sim_net_cache + 13), before)
        << "no bad answer stored a value, not even its good ones";
    // A part of the values (the others kept), the largest 8-byte value among them.
    EXPECT_EQ(take(read_of("r0", R"({"o0":0,"o1":9223372036854775807})")), SIM_NET_TAKEN);
    EXPECT_EQ(sim_net_cache[e[0].cache] + sim_net_cache[e[1].cache + 7] +
                  sim_net_cache[e[2].cache + 2],
              0x7F + 255);
    int m = group_of('r', std::vector<sim_net_entry>(12, {0x2000, 1, 'u', 0, 0})); // names past o9

    EXPECT_EQ(take(read_of("r" + std::to_string(m), R"({"o10":10,"o11":11})")), SIM_NET_TAKEN);
    EXPECT_EQ(sim_net_cache[sim_net_entries[sim_net_groups[m].first + 11].cache], 11);
}

void collect(void *answers, const char *text, size_t len) {
    ((std::vector<json> *)answers)->push_back(json::parse(text, text + len));
}

// The stand-in's side: what the real server answers, and what it refuses (its error code).
TEST(NetStandIn, AnswersAndRefusesAsTheServerDoes) {
    sim_net_peer *peer = sim_net_peer_new();
    std::vector<json> got;
    auto send = [&](const std::string &m) {
        got.clear();
        sim_net_handle(peer, m.data(), m.size(), collect, &got);
        return got.size() == 1 && got[0]["success"] == false ? got[0]["errorCode"].dump()
               : got.empty()                                 ? ""
                                                             : got[0].dump();
    };
    sim_reset();
    sim_set(0x311A, 2, 0x1802), sim_set(0x3124, 1, 0xFE);
    EXPECT_EQ(send(R"({"command":"offsets.declare","name":"g","offsets":[
        {"name":"com","address":12570,"type":"uint","size":2},
        {"name":"s","address":12580,"type":"int","size":1},{"name":"t","address":12570,"type":"int","size":2},
        {"name":"msg","address":13184,"type":"string","size":8},
        {"name":"arr","address":12582,"type":"byteArray","size":2}]})"),
              R"({"command":"offsets.declare","name":"g","success":true})");
    std::string read = R"({"command":"offsets.read","name":"g"})";
    EXPECT_EQ(json::parse(send(read))["data"],
              json::parse(R"({"com":6146,"s":-2,"t":6146,"msg":"","arr":[0,0]})"));
    EXPECT_EQ(send(read), "") << "nothing changed: no answer at all";
    sim_set(0x311A, 2, 0x1805), sim_set(0x3124, 1, 0x41); // a sign bit clear, the next set
    EXPECT_EQ(json::parse(send(read))["data"], json::parse(R"({"com":6149,"s":65,"t":6149})"));
    EXPECT_EQ(send(R"({"command":"offsets.write","offsets":[{"name":"com","value":1}]})"), "");
    EXPECT_EQ(sim_get(0x311A, 2), 0x1805u) << "a write without a group name is dropped";
    EXPECT_EQ(send(R"({"command":"offsets.write","name":"g","offsets":[{"name":"com","value":6144},
        {"name":"msg","value":"hello"}]})"),
              "");
    EXPECT_EQ(sim_get(0x311A, 2), 0x1800u);
    EXPECT_STREQ((char *)sim_offsets + 0x3380, "hello");
    sim_set(0x3380, 2, 0xFFC3); // no UTF-8: answered all the same
    EXPECT_EQ(json::parse(send(read))["data"]["msg"].get<std::string>().substr(6), "llo");
    // Refused, each with its error code: writes of a wrong type or range or naming what the group
    // lacks (nothing of them written, though their first value is good), declarations of a size
    // the type has not, past the offsets, of an unserved type, a name twice; the rest.
    // clang-format off
    for (const std::string &w : words(R"(
        BadRequest|{"command":"offsets.write","name":"g","offsets":[{"name":"com","value":7},{"name":"com","value":65536}]}
        BadRequest|{"command":"offsets.write","name":"g","offsets":[{"name":"com","value":7},{"name":"com","value":-1}]}
        BadRequest|{"command":"offsets.write","name":"g","offsets":[{"name":"com","value":7},{"name":"com","value":"1"}]}
        BadRequest|{"command":"offsets.write","name":"g","offsets":[{"name":"com","value":7},{"name":"s","value":128}]}
        BadRequest|{"command":"offsets.write","name":"g","offsets":[{"name":"com","value":7},{"name":"msg","value":"eight-ch"}]}
        BadRequest|{"command":"offsets.write","name":"g","offsets":[{"name":"com","value":7},{"name":"arr","value":[1,256]}]}
        BadRequest|{"command":"offsets.write","name":"g","offsets":[{"name":"com","value":7},{"name":"arr","value":[-1,1]}]}
        BadRequest|{"command":"offsets.write","name":"g","offsets":[{"name":"com","value":7},{"name":"x","value":1}]}
        BadRequest|{"command":"offsets.write","name":"g","offsets":[{"name":"com","value":7},{"name":"com"}]}
        BadRequest|{"command":"offsets.declare","name":"k","offsets":[{"name":"a","address":0,"type":"uint","size":3}]} BadRequest|{"command":"offsets.declare","name":"k","offsets":[{"name":"a","address":0,"type":"int","size":3}]}
        BadRequest|{"command":"offsets.declare","name":"k","offsets":[{"name":"a","address":65535,"type":"uint","size":2}]}
        BadRequest|{"command":"offsets.declare","name":"k","offsets":[{"name":"a","address":-1,"type":"uint","size":1}]}
        BadRequest|{"command":"offsets.declare","name":"k","offsets":[{"name":"a","type":"uint","size":1}]}
        BadRequest|{"command":"offsets.declare","name":"k","offsets":[{"name":"a","address":0,"type":"byteArray","size":32768},{"name":"b","address":0,"type":"byteArray","size":32768},{"name":"c","address":0,"type":"uint","size":1}]}
        BadRequest|{"command":"offsets.declare","name":"k","offsets":[{"name":"a","address":0,"type":"float","size":4}]} BadRequest|{"command":"offsets.declare","name":"k","offsets":[{"name":"a","address":0,"type":"string","size":257}]}
        BadRequest|{"command":"offsets.declare","name":"k","offsets":[{"name":"a","address":0,"type":"uint","size":1},{"name":"a","address":1,"type":"uint","size":1}]}
        NotDeclared|{"command":"offsets.read","name":"h"} NotSupported|{"command":"offsets.read","name":"g","interval":100}
        UnknownCommand|{"command":"vars.read","name":"g"} BadRequest|{"command":"offsets.read"} BadRequest|{nope)")) {
        size_t bar = w.find('|');
        EXPECT_EQ(send(w.substr(bar + 1)), "\"" + w.substr(0, bar) + "\"") << w;
    }
    // clang-format on
    EXPECT_EQ(sim_get(0x311A, 2), 0x1800u) << "a refused write writes nothing";
    for (std::string c : {"about.read", "offsets.stop"})
        EXPECT_EQ(json::parse(send(R"({"command":")" + c + R"(","name":"g"})"))["success"], true);
    sim_net_peer_free(peer);
}

// The client against the stand-in's server on a free loopback port.
struct Net : ::testing::Test {
    DWORD rc = 99;
    uint16_t com1 = 0x4242, com2 = 0;
    void SetUp() override {
        sim_reset();
        for (int tries = 0; tries < 20 && !sim_address[0]; tries++) {
            int port = 30000 + rand() % 20000;
            if (sim_net_serve(port) == 0)
                snprintf(sim_address, sizeof sim_address, "ws://127.0.0.1:%d", port);
        }
        ASSERT_TRUE(sim_address[0]) << "no free port";
    }
    void TearDown() override {
        FSUIPC_Close();
        sim_net_send_hook = NULL;
        sim_net_stop();
        sim_address[0] = 0;
    }
    bool read_radios() {
        return FSUIPC_Read(0x034E, 2, &com1, &rc) && FSUIPC_Read(0x311A, 2, &com2, &rc) &&
               FSUIPC_Process(&rc);
    }
};

TEST_F(Net, ReadsAndWritesThroughTheServer) {
    ASSERT_TRUE(FSUIPC_Open(0, &rc)) << rc;
    EXPECT_EQ(sim_client_lib_version, 2002u) << "the version write went over the network";
    sim_set(0x034E, 2, 0x1800);
    BYTE text[] = "Valdora V2.08 Connected";
    uint16_t standby = 0x1805;
    ASSERT_TRUE(FSUIPC_Write(0x311A, 2, &standby, &rc) &&
                FSUIPC_Write(0x3380, sizeof text, text, &rc) && read_radios())
        << rc;
    EXPECT_EQ(com1 + 0x10000 * com2, 0x1800 + 0x10000 * 0x1805) << "writes come before reads";
    EXPECT_STREQ((char *)sim_offsets + 0x3380, "Valdora V2.08 Connected");
    for (int pass = 0; pass < 2; pass++) { // unchanged: answered from the values kept
        com1 = 0;
        ASSERT_TRUE(read_radios());
        EXPECT_EQ(com1, 0x1800);
        sim_set(0x311A, 2, 0x1250);
    }
    EXPECT_EQ(com2, 0x1250);
    EXPECT_GT(sim_net_last_rtt_us, 0u);
    // Each answer in two fragments of 16-bit lengths with a ping between (answered, no message).
    sim_net_send_hook = [](void *conn, const char *text, size_t len) {
        auto part = [](char op, const char *t, size_t n) {
            return std::string{op, '\x7E', (char)(n >> 8), (char)n} + std::string(t, n);
        };
        std::string f =
            part(1, text, len / 2) + "\x89\x01p" + part('\x80', text + len / 2, len - len / 2);
        mg_write((struct mg_connection *)conn, f.data(), f.size());
    };
    sim_set(0x311A, 2, 0x1260);
    EXPECT_TRUE(read_radios() && com2 == 0x1260) << "pings are no answers";
    std::vector<BYTE> block(30000, 0xFF); // messages past 255 bytes and past 64 KiB: longer frames
    for (DWORD size : {100, 30000})
        ASSERT_TRUE(FSUIPC_Write(0x4000, size, block.data(), &rc) && read_radios()) << size;
    EXPECT_EQ(sim_offsets[0x4000] + sim_offsets[0x4000 + 29999], 2 * 0xFF);
    while (sim_net_group_count < SIM_NET_GROUPS - 1) // the table one group short of full
        group_of('w', {{(DWORD)sim_net_group_count, 1, 'u', 0, 0}});
    EXPECT_TRUE(FSUIPC_Write(0x311A, 2, &standby, &rc) && FSUIPC_Read(0x311A, 2, &com2, &rc) &&
                FSUIPC_Process(&rc) && com2 == 0x1805)
        << "a pass that fills the table keeps its groups";

    char why[128]; // the stand-in upgrades no client that asks for no subprotocol
    EXPECT_FALSE(mg_connect_websocket_client("127.0.0.1", atoi(strrchr(sim_address, ':') + 1), 0,
                                             why, sizeof why, SIM_NET_PATH, NULL, NULL, NULL,
                                             NULL));
}

std::string log_text() {
    std::ifstream in("valdora.log");
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A server of our own, for what the stand-in never does: listening on a free loopback port,
// which becomes the link's address.
int listen_here() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t n = sizeof a;
    EXPECT_EQ(bind(s, (sockaddr *)&a, n) + listen(s, 4) + getsockname(s, (sockaddr *)&a, &n), 0);
    timeval wait = {10, 0}; // a link that never connects fails the test instead of hanging it
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    snprintf(sim_address, sizeof sim_address, "ws://127.0.0.1:%d", ntohs(a.sin_port));
    return s;
}

// Takes the link's connection and answers its upgrade with reply, where "KEY" stands for the
// right accept key; the connection.
int answer_upgrade(int listener, const std::string &reply) {
    int c = accept(listener, NULL, NULL);
    char req[2048] = "", key[29];
    recv(c, req, sizeof req - 1, 0);
    const char *k = strstr(req, "Sec-WebSocket-Key: ");
    sim_net_ws_accept(k ? std::string(k + 19, 24).c_str() : "", key);
    std::string text = std::regex_replace(reply, std::regex("KEY"), key);
    send(c, text.data(), text.size(), MSG_NOSIGNAL);
    return c;
}

// Servers that answer the upgrade wrongly, at length, or not at all: no link, and the reason in
// the log; no open holds the window while the server keeps the upgrade waiting. Then the link's
// own frames: a ping is answered with a pong of its payload, one in the upgrade's answer at once
// and one a second after the last pass (no pass reads then: the reader does); the link's close
// says 1000. Each frame as the server reads it: its kind and unmasked payload.
TEST_F(Net, TheUpgradeIsJudgedAndPingsAreAnswered) {
    int quiet = listen_here();
    remove("valdora.log");
    std::string ok = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n";
    for (const auto &[reply, why] : std::vector<std::pair<std::string, const char *>>{
             {"", "the server closed the connection during the upgrade"},
             {"HTTP/1.1 200 OK\r\n\r\n", "the server refused the upgrade: HTTP/1.1 200 OK"},
             {"HTTP/1.1 101 Switching\r\nSec-WebSocket-Accept: KEY\r\n\r\n", "no upgrade"},
             {ok + "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n", "accept key"},
             {"HTTP/1.1 101 -\r\nupgrade:  WebSocket \r\nSec-WebSocket-Accept: KEY\r\n"
              "Sec-WebSocket-Protocol: json\r\n\r\n",
              "another protocol than fsuipc"},
             {ok + std::string(9000, 'x'), "an upgrade answer longer than 8192 bytes"}}) {
        EXPECT_FALSE(FSUIPC_Open(0, &rc)) << "no answer yet: the window is not held meanwhile";
        close(answer_upgrade(quiet, reply));
        Sleep(100);
        EXPECT_FALSE(FSUIPC_Open(0, &rc));
        EXPECT_NE(log_text().find(why), std::string::npos) << why << " in " << log_text();
    }

    EXPECT_NE(sim_net_connect(), 0) << "no answer yet";
    int c = answer_upgrade(quiet, ok + "Sec-WebSocket-Accept: KEY\r\n\r\n\x89\x02hi");
    Sleep(100);
    ASSERT_EQ(sim_net_connect(), 0);
    timeval wait = {3, 0};
    setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    auto next = [&] {
        unsigned char h[6] = {0};
        if (recv(c, h, 6, MSG_WAITALL) != 6 || (h[1] & 0x80) == 0)
            return std::string("nothing");
        std::string payload(h[1] & 0x7F, 0);
        recv(c, &payload[0], payload.size(), MSG_WAITALL);
        for (size_t i = 0; i < payload.size(); i++)
            payload[i] ^= h[2 + i % 4];
        return std::to_string(h[0]) + " " + payload;
    };
    EXPECT_EQ(next(), "138 hi") << "a final pong";
    send(c, "\x89\003bye", 5, MSG_NOSIGNAL);
    EXPECT_EQ(next(), "138 bye");
    // Unasked empty messages past what the inbox may keep: the link is left (1008); each is kept
    // at a cost beyond its text, so no flood of them holds memory without bound.
    std::string empty(140000, 0);
    for (size_t i = 0; i < empty.size(); i += 2)
        empty[i] = '\x81';
    send(c, empty.data(), empty.size(), MSG_NOSIGNAL);
    EXPECT_EQ(next(), "136 \x03\xF0") << "a close, 1008";
    Sleep(100); // the reader asleep by now
    DWORD start = GetTickCount();
    sim_net_disconnect();
    EXPECT_LT(GetTickCount() - start, 500u) << "the sleeping reader is woken to end";
    EXPECT_EQ(next(), "136 \x03\xE8") << "a final close, 1000";
    close(c);
    // A server that pings on and reads nothing: the reader (no pass reads) leaves it at the
    // first pong that cannot be sent, and the next pass says why.
    ASSERT_NE(sim_net_connect(), 0);
    c = answer_upgrade(quiet, ok + "Sec-WebSocket-Accept: KEY\r\n\r\n");
    Sleep(100);
    ASSERT_EQ(sim_net_connect(), 0);
    setsockopt(c, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait); // longer than a pong may wait
    std::string ping = "\x89\x7D" + std::string(125, 'p');
    while (send(c, ping.data(), ping.size(), MSG_NOSIGNAL) > 0) {
    }
    BYTE none[4] = {0};
    EXPECT_NE(sim_net_exchange(none, 0), 0);
    EXPECT_NE(log_text().find("takes nothing, not even a pong"), std::string::npos) << log_text();
    // Given up on, its pings still waiting, the link (a second reader) waits without spinning.
    auto cpu_ms = [] {
        timespec t;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return t.tv_sec * 1000 + t.tv_nsec / 1000000;
    };
    long used = cpu_ms();
    Sleep(500);
    EXPECT_LT(cpu_ms() - used, 100) << "milliseconds of processor in half a second";
    close(c);
    // A server that ends the connection without a close: the pass sees it at once.
    ASSERT_NE(sim_net_connect(), 0);
    close(answer_upgrade(quiet, ok + "Sec-WebSocket-Accept: KEY\r\n\r\n"));
    Sleep(100);
    ASSERT_EQ(sim_net_connect(), 0);
    start = GetTickCount();
    EXPECT_NE(sim_net_exchange(none, 0), 0);
    EXPECT_LT(GetTickCount() - start, 1000u) << "not held until the answer's limit";
    close(quiet);
}

std::string spoil; // what the misbehaving server sends instead of its next read's answer
int spoiled = 0;   // answers spoiled so far; a stalled server sends nothing more
bool raw(const std::string &s) { // frames' bytes as they stand, not a message
    return !s.empty() && ((unsigned char)s[0] < 0x20 || (unsigned char)s[0] >= 0x80);
}
void misbehave(void *conn, const char *text, size_t len) {
    auto c = (struct mg_connection *)conn;
    int stalled = spoiled && raw(spoil);
    if (!stalled && (spoil.empty() || !strstr(text, "\"offsets.read\"") || spoiled))
        return (void)mg_websocket_write(c, MG_WEBSOCKET_OPCODE_TEXT, text, len);
    if (spoiled++)
        return;
    if (raw(spoil))
        mg_write(c, spoil.data(), spoil.size());
    else
        mg_websocket_write(c, MG_WEBSOCKET_OPCODE_TEXT, spoil.data(), spoil.size());
}

TEST_F(Net, AMisbehavingServerIsLeftAndTriedAgain) {
    sim_net_send_hook = misbehave;
    remove("valdora.log");
    // Each with the reason the log gives. Frames refused by their header alone (the link is
    // left before their payload comes): reserved bits, kinds not defined, masked, a control
    // frame fragmented or long, a continuation of nothing, a new message inside another,
    // a claim of a byte past the longest message, and a continuation that would take a message
    // of the longest length past it. Frames that stall the server: one claiming the
    // longest message and bringing nothing of it, one promising 100 bytes that brings 5.
    const char *larger = "a message larger than 1048576 bytes";
    for (const auto &[bad, why] : std::vector<std::pair<std::string, const char *>>{
             {read_of("r2", R"({"o0":70000})"), "range for 0x034E"},
             {read_of("r2", "{}"), "first answer left out 0x034E"},
             {R"({"command":"offsets.read","success":false,"errorMessage":"no such offset"})",
              "no such offset"},
             {"\xC1\x01x", "a frame with reserved bits set"},
             {"\x83\x01x", "a frame of a kind the protocol does not define"},
             {"\x8B\x01x", "a frame of a kind the protocol does not define"},
             {"\x81\x81", "a masked frame"},
             {"\x08\x01x", "a control frame in fragments"},
             {"\x88\x7E", "a control frame longer than 125 bytes"},
             {"\x80\x01x", "a continuation of no message"},
             {"\x01\x01x\x82\x01y", "a new message before the last one ended"},
             {"\x88\x02\x03\xE9", "the server closed the connection"}, // answered, so left
             {std::string("\x81\x7F\0\0\0\0\0\x10\0\x01", 10), larger},
             {std::string("\x01\x7F\0\0\0\0\0\x10\0\0", 10) + std::string(1 << 20, ' ') +
                  "\x80\x01x",
              larger},
             {std::string("\x81\x7F\0\0\0\0\0\x10\0\0", 10), "no answer within 2000 ms"},
             {"\x81\x64{\"com", "no answer within 2000 ms"}}) {
        spoil.clear();
        ASSERT_TRUE(FSUIPC_Open(0, &rc)) << rc;
        spoil = bad, spoiled = 0;
        com1 = 0x4242;
        DWORD start = GetTickCount();
        size_t seen = log_text().size();
        EXPECT_FALSE(FSUIPC_Read(0x034E, 2, &com1, &rc) && FSUIPC_Process(&rc));
        EXPECT_LT(GetTickCount() - start, 3000u) << "a stalled server is left after 2 s";
        EXPECT_EQ(rc + 0x10000 * com1, FSUIPC_ERR_NET + 0x10000 * 0x4242) << bad.substr(0, 80);
        EXPECT_NE(log_text().find(why, seen), std::string::npos) << why << " in " << log_text();
        bool refused = raw(bad) && !strstr(why, "no answer"); // by a frame's header
        for (int wait = 0; refused && sim_net_client_count() && wait < 1000; wait++)
            Sleep(1);
        EXPECT_EQ(sim_net_client_count(), !refused)
            << "the link is left before the frame's payload" << why;
        FSUIPC_Close();
        for (int i = 0; i < 300 && sim_net_client_count(); i++)
            Sleep(10);
        EXPECT_EQ(sim_net_client_count(), 0) << "the connection left is closed";
    }
    spoil.clear();
    ASSERT_TRUE(FSUIPC_Open(0, &rc));
    sim_net_stop(); // the server gone: the pass fails, then every open (told once however often)
    EXPECT_FALSE(read_radios());
    FSUIPC_Close();
    EXPECT_FALSE(FSUIPC_Open(0, &rc) || FSUIPC_Open(0, &rc));
    EXPECT_EQ(rc, (DWORD)FSUIPC_ERR_NET);
    // The log names the server, once for each failure.
    std::string all = log_text();
    std::regex line(" network link to " + std::string(sim_address) + ": ");
    EXPECT_EQ(std::distance(std::sregex_iterator(all.begin(), all.end(), line), {}), 18) << all;
    remove("valdora.log");
}

} // namespace
