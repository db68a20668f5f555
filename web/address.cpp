// The panel's address for the user: as text and as a QR code a tablet's camera can open, shown
// over the unit in the window from F2 until the next key, and put back over every picture drawn
// meanwhile.
#include "web/web.h"

#include "app/app.h"
#include "platform/net.h"
#include "rmu/rmu.h"

#include <qrcodegen/qrcodegen.hpp>
#include <stdio.h>

static int shown = 0;

int web_hosts(char hosts[][16], int max) {
    // The interface that carries outgoing traffic; on a network without a way out (an isolated
    // cockpit Wi-Fi with fixed addresses) there is none, and every address but loopback is
    // shown; on a machine with no network at all, this machine's own.
    if (max > 0 && platform_lan_address(hosts[0], 16) == 0)
        return 1;
    int n = net_addresses(hosts, max);
    if (n == 0 && max > 0) {
        snprintf(hosts[0], 16, "127.0.0.1");
        n = 1;
    }
    return n;
}

int web_url(char *out, size_t size) {
    char host[1][16];
    web_hosts(host, 1);
    return snprintf(out, size, "http://%s:%d/?code=%s", host[0], web_port, web_code);
}

// A white card with the QR code and the address under it, as large as the window allows.
static void draw_address(void) {
    char hosts[WEB_HOSTS_MAX][16], urls[WEB_HOSTS_MAX][96];
    int n = web_running ? web_hosts(hosts, WEB_HOSTS_MAX) : 1;
    for (int i = 0; i < n; i++)
        snprintf(urls[i], sizeof urls[i], "http://%s:%d/?code=%s", hosts[i], web_port, web_code);
    if (!web_running)
        snprintf(urls[0], sizeof urls[0], "start with --web for the tablet panel");
    const char *url = urls[0];
    int lines = 1 + n;
    int cw = layout_portrait() ? height + extra_border : 2 * width + gap + extra_border;
    int ch = layout_portrait() ? 2 * width + gap + extra_border : height + extra_border;
    int white = makecol(255, 255, 255), black = makecol(0, 0, 0);
    rectfill(screen, 0, 0, cw - 1, ch - 1, white);
    int text_y = ch - lines * 12 - 4;
    if (web_running) {
        qrcodegen::QrCode qr = qrcodegen::QrCode::encodeText(url, qrcodegen::QrCode::Ecc::MEDIUM);
        int n = qr.getSize() + 8; // with the quiet zone of four modules round it
        int room = cw < text_y ? cw : text_y;
        int m = room / n > 0 ? room / n : 1;
        int x0 = (cw - n * m) / 2 + 4 * m, y0 = (text_y - n * m) / 2 + 4 * m;
        for (int y = 0; y < qr.getSize(); y++)
            for (int x = 0; x < qr.getSize(); x++)
                if (qr.getModule(x, y))
                    rectfill(screen, x0 + x * m, y0 + y * m, x0 + x * m + m - 1, y0 + y * m + m - 1,
                             black);
    }
    textout_centre_ex(screen, font, "Tablet panel:", cw / 2, text_y, black, white);
    for (int i = 0; i < n; i++) // the QR code has the first; each address as text
        textout_centre_ex(screen, font, urls[i], cw / 2, text_y + 12 * (i + 1), black, white);
    window_show_drawing();
}

void web_address_show(void) {
    shown = 1;
    draw_address();
}

int web_address_hide(void) {
    if (!shown)
        return 0;
    shown = 0;
    update_bg = 1; // the card covered the background too: the main loop puts both back
    return 1;
}

int web_take_key(int code) {
    if (web_address_hide())
        return 1; // the key only takes the address away
    if (code != RMU_KEY_F2)
        return 0;
    web_address_show();
    return 1;
}

void web_address_redraw(void) {
    if (shown)
        draw_address();
}
