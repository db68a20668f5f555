// Reads the radios, the audio selectors and the unit's power from the simulator in one
// exchange, and turns the received words into the texts that the unit shows.
#include "rmu/rmu.h"

#include "aircraft/aircraft.h"
#include "simlink/simlink.h"

#include <stdio.h>
#include <string.h>

void rmu_decode_freq(uint16_t word, char *text) {
    // The word holds the tens, units, tenths and hundredths of MHz; the leading '1' and the
    // thousandths are not sent, so both are put back here.
    char s[16];
    snprintf(s, sizeof s, "1%04x0", (unsigned)word);
    text[0] = s[0];
    text[1] = s[1];
    text[2] = s[2];
    text[3] = '.';
    text[4] = s[3];
    text[5] = s[4];
    // 25 kHz channels end in .x25 and .x75: a hundredths digit of 2 or 7 stands for them.
    text[6] = (s[4] == '2' || s[4] == '7') ? '5' : s[5];
    text[7] = '\0';
}

void rmu_decode_xpndr(uint16_t word, char *text) {
    char s[16];
    snprintf(s, sizeof s, "%04x", (unsigned)word);
    memcpy(text, s, 4);
    text[4] = '\0';
}

void rmu_decode_adf(uint16_t main_word, uint16_t ext_word, char *text) {
    char s[16];
    snprintf(s, sizeof s, "1%03x", (unsigned)main_word);
    text[1] = s[1];
    text[2] = s[2];
    text[3] = s[3];
    text[4] = '.';
    // The extension carries the thousands digit in its high byte and the tenths in its low one.
    snprintf(s, sizeof s, "%x", (unsigned)ext_word);
    if (strlen(s) == 3) {
        text[0] = s[0];
        text[5] = s[2];
    } else {
        text[0] = '0';
        text[5] = s[0];
    }
    text[6] = '\0';
}

void rmu_decode_selectors(uint8_t bits) {
    com1_sel = (bits & 0x80) ? 1 : 0;
    com2_sel = (bits & 0x40) ? 1 : 0;
    both_sel = (bits & 0x20) ? 1 : 0;
    nav1_sel = (bits & 0x10) ? 1 : 0;
    nav2_sel = (bits & 0x08) ? 1 : 0;
    mkr_sel = (bits & 0x04) ? 1 : 0;
    dme_sel = (bits & 0x02) ? 1 : 0;
    adf1_sel = (bits & 0x01) ? 1 : 0;
}

int rmu_power_flag(uint8_t byte_a, uint8_t byte_b) {
    // Unpowered only while 0x0B6A says so and the APU bus byte 0x0B52 does not power it.
    int on = (byte_a == 1) ? 0 : 1;
    if (byte_b == 1)
        on = 1;
    return on;
}

// The fourteen reads of one radio exchange, in order.
const rmu_read rmu_reads[RMU_READS] = {
    {0x034E, 2, &read_freq1, "COM1 active"},
    {0x3118, 2, &read_freq2, "COM2 active"},
    {0x0350, 2, &read_freq3, "NAV1 active"},
    {0x0352, 2, &read_freq4, "NAV2 active"},
    {0x311A, 2, &read_freq5, "COM1 standby"},
    {0x311C, 2, &read_freq6, "COM2 standby"},
    {0x311E, 2, &read_freq7, "NAV1 standby"},
    {0x3120, 2, &read_freq8, "NAV2 standby"},
    {0x0354, 2, &read_freq9, "transponder"},
    {0x034C, 2, &read_freq10, "ADF"},
    {0x0356, 2, &read_freq11, "ADF extension"},
    {0x0B6A, 1, &power_byte_a, "radios unpowered"},
    {0x0B52, 1, &power_byte_b, "APU powers radios"},
    {0x3122, 1, &radio_audio_switches, "audio selectors"},
};

void rmu_decode_all(void) {
    rmu_decode_freq(read_freq1, com1_disp1);
    rmu_decode_freq(read_freq2, com2_disp1);
    rmu_decode_freq(read_freq3, nav1_disp1);
    rmu_decode_freq(read_freq4, nav2_disp1);
    rmu_decode_freq(read_freq5, com1_disp2);
    rmu_decode_freq(read_freq6, com2_disp2);
    rmu_decode_freq(read_freq7, nav1_disp2);
    rmu_decode_freq(read_freq8, nav2_disp2);
    rmu_decode_xpndr(read_freq9, xpndr_disp);
    rmu_decode_adf(read_freq10, read_freq11, adf_disp);
    rmu_decode_selectors(radio_audio_switches);
}

int rmu_fsuipc_read(void) {
    for (int i = 0; i < RMU_READS; i++) {
        if (!FSUIPC_Read(rmu_reads[i].offset, rmu_reads[i].size, rmu_reads[i].dest, &dwResult))
            connect_to_sim();
    }
    // Which aircraft is loaded rides in the same exchange, every half second.
    aircraft_identity_queue();
    if (!FSUIPC_Process(&dwResult)) {
        // The texts keep what they showed; only the power flag is worked out again below.
        aircraft_identity_received(0);
        connect_to_sim();
    } else {
        aircraft_identity_received(1);
        rmu_decode_all();
    }
    electrics = rmu_power_flag(power_byte_a, power_byte_b);
    return 0;
}
