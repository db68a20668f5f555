// The simulator link over the network: addresses, the shapes of the messages sent, the reading
// of a server's answers (hostile ones among them), the stand-in's side of the protocol, and the
// client against the stand-in's server over loopback, also when that server misbehaves.
#include "sim/sim.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <civetweb.h>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <stdlib.h>
#include <string>
#include <vector>

using nlohmann::json;

namespace {

TEST(NetAddress, FormsTakenAndRefused) {
    char host[64];
    int port = 0;
    ASSERT_EQ(sim_address_parse("ws://sim-pc", host, sizeof host, &port), 0);
    EXPECT_STREQ(host, "sim-pc");
    EXPECT_EQ(port, 2048);
    ASSERT_EQ(sim_address_parse("ws://10.0.0.5:65535/", host, sizeof host, &port), 0);
    EXPECT_STREQ(host, "10.0.0.5");
    EXPECT_EQ(port, 65535);
    for (const char *bad : {"http://sim", "ws://", "ws://:2048", "ws://sim:0", "ws://sim:65536",
                            "ws://sim:", "ws://sim:20x", "ws://sim pc", "ws://sim\r\nX: y",
                            "ws://sim/other", "ws://sim//"})
        EXPECT_EQ(sim_address_parse(bad, host, sizeof host, &port), -1) << bad;
    EXPECT_EQ(sim_address_parse("ws://a-much-longer-name", host, 8, &port), -1);

    char a0[] = "valdora", a1[] = "--sim", a2[] = "ws://a:1", a3[] = "--sim=ws://b";
    char *args[] = {a0, a1, a2};
    sim_address[0] = 0;
    EXPECT_EQ(sim_address_from_args(3, args), 0);
    EXPECT_STREQ(sim_address, "ws://a:1");
    char *eq[] = {a0, a3};
    EXPECT_EQ(sim_address_from_args(2, eq), 0);
    EXPECT_STREQ(sim_address, "ws://b");
    char b2[] = "tcp://c";
    char *bad[] = {a0, a1, b2};
    EXPECT_EQ(sim_address_from_args(3, bad), -1);
    EXPECT_STREQ(sim_address, "ws://b") << "a bad address leaves the one before";
    EXPECT_EQ(sim_address_from_args(2, bad), -1) << "--sim without its address";

    std::ofstream("net_test.ini") << "web=1\nsim=ws://c:5\r\nport=8080\n";
    EXPECT_EQ(sim_address_from_ini("net_test.ini"), 0);
    EXPECT_STREQ(sim_address, "ws://c:5");
    std::ofstream("net_test.ini") << "sim=\n";
    EXPECT_EQ(sim_address_from_ini("net_test.ini"), 0);
    EXPECT_STREQ(sim_address, "") << "an empty line chooses the local interface";
    std::ofstream("net_test.ini") << "web=1\n";
    EXPECT_EQ(sim_address_from_ini("net_test.ini"), -1);
    remove("net_test.ini");
}

// A group as the client declares it, from (offset, size, type) triples.
int group_of(char kind, std::vector<sim_net_entry> entries, int *declared = nullptr) {
    int d;
    return sim_net_group_for(kind, entries.data(), (int)entries.size(), declared ? declared : &d);
}

json message(void (*build)(int, char *, size_t), int group) {
    static char out[65536];
    build(group, out, sizeof out);
    return json::parse(out);
}

TEST(NetMessages, WhatValdoraSends) {
    const BYTE text[] = "Valdora V2.08 Connected";
    EXPECT_EQ(sim_net_type(1, NULL), 'u');
    EXPECT_EQ(sim_net_type(2, NULL), 'u');
    EXPECT_EQ(sim_net_type(4, text), 'u') << "a number's size wins over its bytes";
    EXPECT_EQ(sim_net_type(8, NULL), 'i');
    EXPECT_EQ(sim_net_type(3, NULL), 'b');
    EXPECT_EQ(sim_net_type(sizeof text, text), 's');
    EXPECT_EQ(sim_net_type(3, (const BYTE *)"a\0b"), 'b') << "a text is zeros to its end";
    EXPECT_EQ(sim_net_type(3, (const BYTE *)"a\x01"), 'b');

    sim_net_forget();
    int declared = 0;
    int r = group_of('r', {{0x034E, 2, 'u', 0, 0}, {0x1000, 3, 'b', 0, 0}}, &declared);
    EXPECT_EQ(declared, 1);
    json d = message(sim_net_declare_message, r);
    EXPECT_EQ(d["command"], "offsets.declare");
    EXPECT_EQ(d["name"], "r0");
    EXPECT_EQ(d["offsets"], json::parse(R"([{"name":"o0","address":846,"type":"uint","size":2},
        {"name":"o1","address":4096,"type":"byteArray","size":3}])"));
    EXPECT_EQ(message(sim_net_read_message, r),
              json::parse(R"({"command":"offsets.read","name":"r0"})"))
        << "a read per pass: no interval";
    char barrier[128];
    sim_net_barrier_message(barrier, sizeof barrier);
    EXPECT_EQ(json::parse(barrier), json::parse(R"({"command":"about.read","name":"barrier"})"));

    EXPECT_EQ(group_of('r', {{0x034E, 2, 'u', 0, 0}, {0x1000, 3, 'b', 0, 0}}, &declared), r);
    EXPECT_EQ(declared, 0) << "the same reads: the group declared before";
    int w = group_of('w',
                     {{0x311A, 2, 'u', 0, 0},
                      {0x3380, 24, 's', 0, 0},
                      {0x0560, 8, 'i', 0, 0},
                      {0x1000, 3, 'b', 0, 0}},
                     &declared);
    EXPECT_EQ(declared, 1);
    EXPECT_EQ(message(sim_net_declare_message, w)["offsets"][1]["type"], "string");
    BYTE data[2 + 24 + 8 + 3] = {0x02, 0x18};
    memcpy(data + 2, text, sizeof text);
    memset(data + 26, 0xFF, 8);
    data[34] = 1, data[35] = 2, data[36] = 3;
    char out[1024];
    ASSERT_EQ(sim_net_write_message(w, data, out, sizeof out), 0);
    EXPECT_EQ(json::parse(out), json::parse(R"({"command":"offsets.write","name":"w1","offsets":[
        {"name":"o0","value":6146},{"name":"o1","value":"Valdora V2.08 Connected"},
        {"name":"o2","value":-1},{"name":"o3","value":[1,2,3]}]})"));
    EXPECT_EQ(sim_net_write_message(w, data, out, 20), -1) << "a message that does not fit";

    EXPECT_EQ(group_of('r', {}), -1);
    EXPECT_EQ(group_of('r', {{0, SIM_NET_CACHE + 1, 'b', 0, 0}}), -1);
    for (int i = 2; i < SIM_NET_GROUPS; i++)
        group_of('w', {{(DWORD)i, 1, 'u', 0, 0}});
    EXPECT_EQ(group_of('w', {{0x9000, 1, 'u', 0, 0}}, &declared), 0) << "full: starts over";
    EXPECT_EQ(declared, 1);
}

int take(const std::string &m, std::string *why = nullptr) {
    char w[256] = "";
    int r = sim_net_take(m.data(), m.size(), w, sizeof w);
    if (why)
        *why = w;
    return r;
}

TEST(NetReplies, HostileAnswersStoreNothing) {
    sim_net_forget();
    int g = group_of('r', {{0x034E, 2, 'u', 0, 0}, {0x0560, 8, 'i', 0, 0}, {0x1000, 3, 'b', 0, 0}});
    ASSERT_EQ(take(R"({"command":"offsets.read","name":"r0","success":true,"data":
        {"o0":6146,"o1":-2,"o2":[1,2,255]}})"),
              SIM_NET_TAKEN);
    const sim_net_entry *e = &sim_net_entries[sim_net_groups[g].first];
    EXPECT_EQ(sim_net_cache[e[0].cache] | sim_net_cache[e[0].cache + 1] << 8, 0x1802);
    EXPECT_EQ(sim_net_cache[e[1].cache + 7], 0xFF);
    EXPECT_EQ(sim_net_cache[e[2].cache + 2], 255);
    std::vector<BYTE> before(sim_net_cache, sim_net_cache + 13);
    std::string big = R"({"command":"about.read","success":true,"name":")" +
                      std::string(SIM_NET_MESSAGE_MAX, 'x') + "\"}";
    auto read_of = [](const std::string &data) {
        return R"({"command":"offsets.read","name":"r0","success":true,"data":)" + data + "}";
    };
    for (const std::string &m :
         {std::string("{oops"),
          std::string("[1,2]"),
          std::string(R"({"success":true})"),
          std::string(R"({"command":"offsets.read","name":"r0","data":{"o0":1}})"),
          std::string(R"({"command":"offsets.read","name":"r9","success":true,"data":{"o0":1}})"),
          std::string(R"({"command":"offsets.read","name":"r0","success":true})"),
          read_of("[1]"),
          read_of(R"({"o3":1})"),
          read_of(R"({"o01":1})"),
          read_of(R"({"x":1})"),
          read_of(R"({"o0":"1"})"),
          read_of(R"({"o0":65536})"),
          read_of(R"({"o0":-1})"),
          read_of(R"({"o0":1.5})"),
          read_of(R"({"o0":true})"),
          read_of(R"({"o1":9223372036854775808})"),
          read_of(R"({"o1":1.0})"),
          read_of(R"({"o2":[1,2]})"),
          read_of(R"({"o2":[1,2,256]})"),
          read_of(R"({"o2":[1,2,-1]})"),
          read_of(R"({"o2":"abc"})"),
          read_of(R"({"o0":7,"o2":[1,2,300]})"),
          big,
          std::string(R"({"command":"offsets.declare","name":"w5","success":true})")})
        EXPECT_EQ(take(m), SIM_NET_BAD) << m.substr(0, 120);
    EXPECT_EQ(std::vector<BYTE>(sim_net_cache, sim_net_cache + 13), before)
        << "no bad answer stored a value, not even its good ones";

    std::string why;
    EXPECT_EQ(take(R"({"command":"offsets.write","name":"r0","success":false,
        "errorCode":"BadRequest","errorMessage":"no such offset"})",
                   &why),
              SIM_NET_BAD);
    EXPECT_NE(why.find("no such offset"), std::string::npos) << why;
    EXPECT_EQ(take(R"({"command":"about.read","name":"barrier","success":true,"data":{}})"),
              SIM_NET_BARRIER);
    EXPECT_EQ(take(R"({"command":"about.read","name":"about","success":true})"), SIM_NET_TAKEN);
    EXPECT_EQ(take(R"({"command":"offsets.declare","name":"r0","success":true})"), SIM_NET_TAKEN);
    EXPECT_EQ(take(read_of(R"({"o0":0})")), SIM_NET_TAKEN) << "a part of the values";
    EXPECT_EQ(sim_net_cache[e[0].cache], 0);
    EXPECT_EQ(sim_net_cache[e[1].cache + 7], 0xFF) << "the others kept";
}

// The stand-in's answers to one client, as texts.
struct Peer : ::testing::Test {
    sim_net_peer *peer = sim_net_peer_new();
    std::vector<json> answers;
    void TearDown() override {
        sim_net_peer_free(peer);
    }
    static void collect(void *ctx, const char *text, size_t len) {
        ((std::vector<json> *)ctx)->push_back(json::parse(text, text + len));
    }
    std::vector<json> send(const std::string &m) {
        answers.clear();
        sim_net_handle(peer, m.data(), m.size(), collect, &answers);
        return answers;
    }
    std::string refusal(const std::string &m) {
        auto a = send(m);
        return a.size() == 1 && a[0]["success"] == false ? a[0]["errorCode"].get<std::string>()
                                                         : "accepted";
    }
};

TEST_F(Peer, StandInAnswersAsTheServerDoes) {
    sim_reset();
    sim_set(0x311A, 2, 0x1802);
    auto a = send(R"({"command":"offsets.declare","name":"g","offsets":[
        {"name":"com","address":12570,"type":"uint","size":2},
        {"name":"s","address":12580,"type":"int","size":1},
        {"name":"msg","address":13184,"type":"string","size":8}]})");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0]["success"], true);
    sim_set(0x3124, 1, 0xFE);
    a = send(R"({"command":"offsets.read","name":"g"})");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0]["data"]["com"], 6146) << "the first answer carries everything";
    EXPECT_EQ(a[0]["data"]["s"], -2);
    EXPECT_TRUE(a[0]["data"].contains("msg"));
    EXPECT_TRUE(send(R"({"command":"offsets.read","name":"g"})").empty()) << "nothing changed";
    sim_set(0x311A, 2, 0x1805);
    a = send(R"({"command":"offsets.read","name":"g"})");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0]["data"], json::parse(R"({"com":6149})")) << "only what changed";

    EXPECT_TRUE(
        send(R"({"command":"offsets.write","offsets":[{"name":"com","value":1}]})").empty());
    EXPECT_EQ(sim_get(0x311A, 2), 0x1805u) << "a write without a group name is dropped";
    EXPECT_TRUE(
        send(R"({"command":"offsets.write","name":"g","offsets":[{"name":"com","value":6144},
        {"name":"msg","value":"hello"}]})")
            .empty());
    EXPECT_EQ(sim_get(0x311A, 2), 0x1800u);
    EXPECT_EQ(std::string((char *)sim_offsets + 0x3380), "hello");
    for (const char *bad : {R"({"name":"com","value":65536})", R"({"name":"com","value":-1})",
                            R"({"name":"com","value":"1"})", R"({"name":"s","value":128})",
                            R"({"name":"msg","value":"eight ch"})", R"({"name":"x","value":1})",
                            R"({"name":"com"})"}) {
        std::string m =
            R"({"command":"offsets.write","name":"g","offsets":[{"name":"com","value":7},)" +
            std::string(bad) + "]}";
        EXPECT_EQ(refusal(m), "BadRequest") << bad;
        EXPECT_EQ(sim_get(0x311A, 2), 0x1800u) << "all or nothing: " << bad;
    }
    EXPECT_EQ(refusal(R"({"command":"offsets.read","name":"h"})"), "NotDeclared");
    EXPECT_EQ(refusal(R"({"command":"offsets.read","name":"g","interval":100})"), "NotSupported");
    EXPECT_EQ(refusal(R"({"command":"vars.read","name":"g"})"), "UnknownCommand");
    EXPECT_EQ(refusal(R"({"command":"offsets.read"})"), "BadRequest");
    EXPECT_EQ(refusal("{nope"), "BadRequest");
    for (const char *o : {R"({"name":"a","address":0,"type":"uint","size":3})",
                          R"({"name":"a","address":65535,"type":"uint","size":2})",
                          R"({"name":"a","address":0,"type":"float","size":4})",
                          R"({"name":"a","address":-1,"type":"uint","size":1})",
                          R"({"name":"a","type":"uint","size":1})"})
        EXPECT_EQ(refusal(R"({"command":"offsets.declare","name":"k","offsets":[)" +
                          std::string(o) + "]}"),
                  "BadRequest")
            << o;
    EXPECT_EQ(refusal(R"({"command":"offsets.declare","name":"k","offsets":[
        {"name":"a","address":0,"type":"uint","size":1},{"name":"a","address":1,"type":"uint","size":1}]})"),
              "BadRequest");
    a = send(R"({"command":"about.read","name":"x"})");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0]["success"], true);
}

// The client against the stand-in's server on a free loopback port.
struct Net : ::testing::Test {
    DWORD rc = 99;
    void SetUp() override {
        sim_reset();
        for (int tries = 0; tries < 20; tries++) {
            int port = 30000 + rand() % 20000;
            if (sim_net_serve(port) == 0) {
                snprintf(sim_address, sizeof sim_address, "ws://127.0.0.1:%d", port);
                return;
            }
        }
        FAIL() << "no free port";
    }
    void TearDown() override {
        FSUIPC_Close();
        sim_net_send_hook = NULL;
        sim_net_stop();
        sim_address[0] = 0;
    }
};

TEST_F(Net, ReadsAndWritesThroughTheServer) {
    ASSERT_TRUE(FSUIPC_Open(0, &rc)) << rc;
    EXPECT_EQ(FSUIPC_FS_Version, 8u);
    EXPECT_EQ(sim_client_lib_version, 2002u) << "the version write went over the network";
    sim_set(0x034E, 2, 0x1800);
    uint16_t com1 = 0, com2 = 0;
    BYTE text[] = "Valdora V2.08 Connected";
    uint16_t standby = 0x1805;
    ASSERT_TRUE(FSUIPC_Write(0x311A, 2, &standby, &rc));
    ASSERT_TRUE(FSUIPC_Write(0x3380, sizeof text, text, &rc));
    ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
    ASSERT_TRUE(FSUIPC_Read(0x311A, 2, &com2, &rc));
    ASSERT_TRUE(FSUIPC_Process(&rc)) << rc;
    EXPECT_EQ(com1, 0x1800);
    EXPECT_EQ(com2, 0x1805) << "the pass's writes come before its reads";
    EXPECT_STREQ((char *)sim_offsets + 0x3380, "Valdora V2.08 Connected");
    for (int pass = 0; pass < 2; pass++) { // unchanged: answered from the values kept
        com1 = 0;
        ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
        ASSERT_TRUE(FSUIPC_Read(0x311A, 2, &com2, &rc));
        ASSERT_TRUE(FSUIPC_Process(&rc));
        EXPECT_EQ(com1, 0x1800);
        sim_set(0x311A, 2, 0x1250);
    }
    EXPECT_EQ(com2, 0x1250);
    EXPECT_GT(sim_net_last_rtt_us, 0u);

    sim_net_stop();
    com1 = 0x4242;
    ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
    EXPECT_FALSE(FSUIPC_Process(&rc));
    EXPECT_EQ(rc, (DWORD)FSUIPC_ERR_NET);
    EXPECT_EQ(com1, 0x4242);
    FSUIPC_Close();
    EXPECT_FALSE(FSUIPC_Open(0, &rc)) << "no server: refused";
    EXPECT_EQ(rc, (DWORD)FSUIPC_ERR_NET);
}

std::string spoil; // what the misbehaving server sends instead of its next read's answer
int spoiled = 0;   // answers spoiled so far; a silent or stalled server sends nothing more
void misbehave(void *conn, const char *text, size_t len) {
    auto c = (struct mg_connection *)conn;
    int stalled = spoiled && (spoil == "silent" || spoil == "half");
    if (!stalled && (spoil.empty() || !strstr(text, "\"offsets.read\"") || spoiled))
        return (void)mg_websocket_write(c, MG_WEBSOCKET_OPCODE_TEXT, text, len);
    if (spoiled++ || spoil == "silent")
        return;
    if (spoil == "half") // a frame that promises 100 bytes and brings 5
        mg_write(c, "\x81\x64{\"com", 7);
    else
        mg_websocket_write(c, MG_WEBSOCKET_OPCODE_TEXT, spoil.data(), spoil.size());
}

TEST_F(Net, AMisbehavingServerIsLeftAndTriedAgain) {
    sim_net_send_hook = misbehave;
    std::string big =
        "{\"command\":\"offsets.read\",\"name\":\"r2\",\"success\":true,\"data\":{\"o0\":\"" +
        std::string(SIM_NET_MESSAGE_MAX, '1') + "\"}}";
    for (const std::string &bad :
         {std::string("{\"command\":\"offsets.read\",\"name\":\"r2\",\"success\":true,\"data\":{"
                      "\"o0\":70000}}"),
          std::string("{\"command\":\"offsets.read\",\"name\":\"r7\",\"success\":true,\"data\":{"
                      "\"o0\":1}}"),
          std::string(
              "{\"command\":\"offsets.read\",\"name\":\"r2\",\"success\":true,\"data\":{}}"),
          std::string("not json"), big, std::string("silent"), std::string("half")}) {
        spoil.clear();
        ASSERT_TRUE(FSUIPC_Open(0, &rc)) << rc;
        spoil = bad, spoiled = 0;
        sim_set(0x034E, 2, 0x1800);
        uint16_t com1 = 0x4242;
        ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
        DWORD start = GetTickCount();
        EXPECT_FALSE(FSUIPC_Process(&rc)) << bad.substr(0, 80);
        EXPECT_LT(GetTickCount() - start, 3000u) << "a stalled server is left after 2 s";
        EXPECT_EQ(rc, (DWORD)FSUIPC_ERR_NET);
        EXPECT_EQ(com1, 0x4242) << "nothing delivered from " << bad.substr(0, 80);
        FSUIPC_Close();
    }
}

} // namespace
