#include "app/NoticeSender.h"

#include "rz4/StatusCode.h"

bool NoticeSender::PostUserMessage(uint32_t code, intptr_t argument) {
    if (code == NotifyData && dataNoticeWaiting_.exchange(true))
        return true;
    poster_.postNotice(code, argument);
    return true;
}

void NoticeSender::received(uint32_t code) {
    if (code == NotifyData)
        dataNoticeWaiting_.store(false);
}
