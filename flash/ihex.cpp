// The Intel HEX reader of valdora-flash: the firmware file into a flash image, every record's
// checksum checked, nothing beyond the Mega's application section accepted. What editors add
// (a UTF-8 byte order mark, CR or CR LF line ends, trailing blanks) is taken; what would flash
// something else than the file says (records that overlap, records after the end) is refused.
#include "flash/flash.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define HEX_FILE_MAX (4 * 1024 * 1024) // a full 248 KiB image is about 700 KB of text

static int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Decodes n hex digit pairs into out; 0, or -1 for a character that is not a hex digit.
static int hex_bytes(const char *p, int n, uint8_t *out) {
    for (int i = 0; i < n; i++) {
        int hi = hex_digit(p[2 * i]), lo = hex_digit(p[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return -1;
        out[i] = (uint8_t)(hi << 4 | lo);
    }
    return 0;
}

static int fail(int line, const char *what) {
    snprintf(flash_error, sizeof flash_error, "line %d: %s", line, what);
    return -1;
}

int ihex_parse(const char *text, size_t len, struct flash_image *img) {
    static uint8_t given[FLASH_APP_MAX / 8]; // a bit for each byte some record gave
    memset(img->bytes, 0xFF, sizeof img->bytes);
    memset(given, 0, sizeof given);
    img->size = 0;
    uint32_t base = 0;
    int segmented = 0; // addresses from a segment record wrap within their 64 KiB
    int line = 0, ended = 0, data = 0;
    size_t pos = len >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    while (pos < len) {
        size_t end = pos;
        while (end < len && text[end] != '\n' && text[end] != '\r')
            end++;
        size_t n = end;
        while (n > pos && (text[n - 1] == ' ' || text[n - 1] == '\t'))
            n--;
        line++;
        const char *p = text + pos;
        size_t chars = n - pos;
        pos = end + (end + 1 < len && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
        if (chars == 0)
            continue;
        if (ended)
            return fail(line, "a record after the end record (two files pasted together?)");
        uint8_t rec[5 + 255];
        if (p[0] != ':' || chars < 11 || (chars - 1) % 2 != 0 || chars - 1 > 2 * sizeof rec ||
            hex_bytes(p + 1, (int)(chars - 1) / 2, rec) != 0)
            return fail(line, "not an Intel HEX record");
        int count = rec[0];
        if ((int)(chars - 1) / 2 != count + 5)
            return fail(line, "the record's length does not match its byte count");
        uint8_t sum = 0;
        for (int i = 0; i < count + 5; i++)
            sum = (uint8_t)(sum + rec[i]);
        if (sum != 0)
            return fail(line, "record checksum is wrong (the file is damaged)");
        uint32_t offset = (uint32_t)rec[1] << 8 | rec[2];
        const uint8_t *d = rec + 4;
        switch (rec[3]) {
        case 0x00: // data
            for (int i = 0; i < count; i++) {
                uint32_t a = segmented ? base + ((offset + (uint32_t)i) & 0xFFFF)
                                       : base + offset + (uint32_t)i;
                if (a >= FLASH_APP_MAX) {
                    char what[160];
                    snprintf(what, sizeof what,
                             "data at 0x%05lX reaches the bootloader's section (the image may "
                             "hold at most %d bytes)",
                             (unsigned long)a, FLASH_APP_MAX);
                    return fail(line, what);
                }
                if (given[a / 8] & (1 << a % 8)) {
                    char what[120];
                    snprintf(what, sizeof what,
                             "data at 0x%05lX was given by an earlier record (records overlap)",
                             (unsigned long)a);
                    return fail(line, what);
                }
                given[a / 8] |= (uint8_t)(1 << a % 8);
                img->bytes[a] = d[i];
                if (a + 1 > img->size)
                    img->size = a + 1;
            }
            data += count;
            break;
        case 0x01: // end of file
            ended = 1;
            break;
        case 0x02: // extended segment address: bits 4..19
        case 0x04: // extended linear address: bits 16..31
            if (count != 2)
                return fail(line, "address record of the wrong length");
            base = ((uint32_t)d[0] << 8 | d[1]) << (rec[3] == 0x02 ? 4 : 16);
            segmented = rec[3] == 0x02;
            break;
        case 0x03: // start addresses: nothing to load
        case 0x05:
            if (count != 4)
                return fail(line, "start address record of the wrong length");
            break;
        default:
            return fail(line, "unknown record type");
        }
    }
    if (!ended)
        return fail(line, "the file ends without its end record (is it cut short?)");
    if (data == 0)
        return fail(line, "the file holds no data");
    return 0;
}

int ihex_load(const char *path, struct flash_image *img) {
    FILE *f = fopen(path, "rb");
    if (!f) {
        snprintf(flash_error, sizeof flash_error, "cannot open %s", path);
        return -1;
    }
    char *text = (char *)malloc(HEX_FILE_MAX + 1);
    size_t len = text ? fread(text, 1, HEX_FILE_MAX + 1, f) : 0;
    fclose(f);
    int r = -1;
    if (!text)
        snprintf(flash_error, sizeof flash_error, "out of memory reading %s", path);
    else if (len > HEX_FILE_MAX)
        snprintf(flash_error, sizeof flash_error, "%s is too large for a Mega firmware", path);
    else if (ihex_parse(text, len, img) == 0)
        r = 0;
    else { // name the file before the line
        char line_fault[sizeof flash_error];
        memcpy(line_fault, flash_error, sizeof line_fault);
        snprintf(flash_error, sizeof flash_error, "%.80s is not a usable Intel HEX file: %.130s",
                 path, line_fault);
    }
    free(text);
    return r;
}

long image_find_trigger(const struct flash_image *img) {
    for (uint32_t a = 0; a + 3 <= img->size; a++)
        if (memcmp(img->bytes + a, FLASH_MONITOR_TRIGGER, 3) == 0)
            return (long)a;
    return -1;
}
