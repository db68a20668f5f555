// Behaviour: the simulator's message line. A client writes the text at 0x3380 and then the
// display time at 0x32FA; the time's arrival shows the message.
#include "sim/sim.h"

#include <string.h>

#define MESSAGE_TEXT 0x3380
#define MESSAGE_TEXT_SIZE 128
#define MESSAGE_TIME 0x32FA

char sim_message_text[129];
int sim_message_seconds = 0;
unsigned sim_message_count = 0;

static void message_reset(void) {
    sim_message_text[0] = '\0';
    sim_message_seconds = 0;
    sim_message_count = 0;
}

static void message_on_write(uint32_t offset, uint32_t size) {
    if (!sim_overlaps(offset, size, MESSAGE_TIME, 2))
        return;
    memcpy(sim_message_text, sim_offsets + MESSAGE_TEXT, MESSAGE_TEXT_SIZE);
    sim_message_text[MESSAGE_TEXT_SIZE] = '\0';
    sim_message_seconds = (int16_t)sim_get(MESSAGE_TIME, 2);
    sim_message_count++;
}

extern const sim_behaviour sim_message_line = {"message line", message_reset, message_on_write,
                                               NULL};
