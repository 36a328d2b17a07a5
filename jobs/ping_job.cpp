// The Ping job: is the attached box still there and speaking our protocol?
#include "jobs/ping_job.h"

#include "link/kxtest.h"
#include "link/kxtest_log.h"
#include "link/panel.h"
#include "platform/udp_socket.h"
#include "texts/lang_text.h"

bool doPingJob(kx_context *ctx)
{
    Panel *panel = ctx->io.panel;
    panel->EnableButtons(false);
    kxtest_log(panel, 1, QString(), true);

    uint8_t frame[KX_SMALL_FRAME] = {};
    kxtest_build_nop(ctx, frame, KX_SMALL_FRAME - 1);
    int32_t answer = -1;
    try {
        answer = kxtest_request(ctx, frame, KX_SMALL_FRAME - 1, -1);
    } catch (const SocketError &e) {
        // The datagram could not leave the PC (no route, refused address).
        // The Ping also runs inside the serial receive event of the attach,
        // where an exception must not escape: the operator is told, and the
        // box counts as not answering.
        panel->messageBox(Panel::MsgKind::Error, QString::fromUtf8(e.what()));
    }
    kxtest_log(panel, 1, QString::asprintf("server: got NOP, result: %d", answer), true);

    const bool alive = answer == KX_NOP_ANSWER;
    if (alive) {
        panel->AddLogLine(LangText(11, QStringLiteral("Ping result: OK, box is alive and speaking to us ;-)")));
        ctx->link_state = 1;
    } else {
        panel->AddLogLine(LangText(12, QStringLiteral("Ping result: NOT OK!!!")));
        // A link the operator stopped while we waited stays stopped: setting it
        // to "not attached" would let the attach sequence's second Ping send
        // on the closed line.
        if (ctx->link_state != -1)
            ctx->link_state = 0;
    }
    panel->EnableButtons(true);
    return alive;
}
